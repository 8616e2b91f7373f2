#pragma once

#include "engine/io/xlsx/xlsx_writer_plan.h"
#include "engine/io/xlsx/zip_writer.h"

namespace plyfold::engine::xlsx {

// xl/styles.xml: the workbook's style table, cell format N as xf N of cellXfs so cells keep
// their style ids, with the one cell style "Normal" spreadsheet programs expect.
void writeStyles(ZipWriter& zip, const PackagePlan& plan);

class XmlStreamWriter;
// The children of a <font>, or of a run's <rPr> with nameElement "rFont".
void writeFontChildren(XmlStreamWriter& out, const Font& font, std::string_view nameElement);

}  // namespace plyfold::engine::xlsx
