#pragma once

#include "engine/xlsx/xlsx_writer_plan.h"
#include "engine/xlsx/zip_writer.h"

namespace plyfold::engine::xlsx {

// xl/workbook.xml: the date system, the active sheet and the sheets in order with their
// names and visibility.
void writeWorkbookPart(ZipWriter& zip, const PackagePlan& plan);

}  // namespace plyfold::engine::xlsx
