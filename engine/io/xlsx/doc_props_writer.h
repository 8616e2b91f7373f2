#pragma once

#include "engine/io/xlsx/xlsx_writer_plan.h"
#include "engine/io/xlsx/zip_writer.h"

namespace plyfold::engine::xlsx {

// docProps/app.xml: the application and the sheet names.
void writeAppProperties(ZipWriter& zip, const PackagePlan& plan);
// docProps/core.xml: creation and modification times (both the plan's creation time).
void writeCoreProperties(ZipWriter& zip, const PackagePlan& plan);

}  // namespace plyfold::engine::xlsx
