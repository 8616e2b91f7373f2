#pragma once

#include "engine/io/xlsx/xlsx_writer_plan.h"
#include "engine/io/xlsx/zip_writer.h"

namespace plyfold::engine::xlsx {

// [Content_Types].xml: the content type of every part of the package.
void writeContentTypes(ZipWriter& zip, const PackagePlan& plan);

}  // namespace plyfold::engine::xlsx
