#pragma once

#include "engine/io/xlsx/xlsx_writer_plan.h"
#include "engine/io/xlsx/zip_writer.h"

namespace plyfold::engine::xlsx {

// xl/sharedStrings.xml: each text the cells use, once, in the order of the plan's table.
void writeSharedStrings(ZipWriter& zip, const PackagePlan& plan);

}  // namespace plyfold::engine::xlsx
