#pragma once

#include <string_view>

#include "engine/io/xlsx/xlsx_writer_plan.h"
#include "engine/io/xlsx/zip_writer.h"

namespace plyfold::engine::xlsx {

// docProps/app.xml: the application and the sheet names.
void writeAppProperties(ZipWriter& zip, const PackagePlan& plan);
// The description in the core properties that marks a merge's result.
inline constexpr std::string_view kMergeResultDescription = "Merged by Plyfold";

// docProps/core.xml: creation and modification times (both the plan's creation time), and
// the mark of a merge's result.
void writeCoreProperties(ZipWriter& zip, const PackagePlan& plan);

}  // namespace plyfold::engine::xlsx
