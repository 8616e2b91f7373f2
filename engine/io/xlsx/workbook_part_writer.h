#pragma once

#include "engine/io/xlsx/xlsx_writer_plan.h"
#include "engine/io/xlsx/zip_writer.h"

namespace plyfold::engine::xlsx {

// xl/workbook.xml: the date system, the active sheet and the sheets in order with their
// names and visibility.
void writeWorkbookPart(ZipWriter& zip, const PackagePlan& plan);

}  // namespace plyfold::engine::xlsx
