#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/io/xlsx/xlsx_writer_plan.h"
#include "engine/io/xlsx/xml_stream_writer.h"
#include "engine/io/xlsx/zip_writer.h"

namespace plyfold::engine::xlsx {

// "xl/externalLinks/externalLink1.xml", ... for the workbook's external books in order.
std::string externalLinkPartName(int32_t index);

// xl/externalLinks/externalLinkN.xml for each external book (the sheet names, the names and
// the cached values of the cells formulas read) with its relationship to the other file.
void writeExternalLinks(ZipWriter& zip, const PackagePlan& plan);

// The file location written as the target of an external book's relationship: a file URL for
// an absolute path, the text as it is otherwise.
std::string externalLinkTarget(std::string_view path);

// <externalReferences> and <definedNames> of xl/workbook.xml; firstRelationship is the number
// of the workbook relationship of the first external book.
void writeExternalReferences(XmlStreamWriter& out, const PackagePlan& plan,
                             int32_t firstRelationship);
void writeDefinedNames(XmlStreamWriter& out, const PackagePlan& plan);

}  // namespace plyfold::engine::xlsx
