#pragma once

#include "engine/io/xlsx/xlsx_writer_plan.h"
#include "engine/io/xlsx/zip_writer.h"

namespace plyfold::engine::xlsx {

// _rels/.rels: the workbook and the document properties.
void writePackageRelationships(ZipWriter& zip);
// xl/_rels/workbook.xml.rels: the sheets as rId1..rIdN in sheet order, the external books
// after them, then the theme, the styles and the shared strings.
void writeWorkbookRelationships(ZipWriter& zip, const PackagePlan& plan);

}  // namespace plyfold::engine::xlsx
