#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "engine/model/workbook.h"

namespace plyfold::engine {

// Opens a workbook of any supported format, the format told by files::detectFormat. Only the
// sheet list is read; the cells of a sheet are parsed the first time they are needed. Throws
// SpreadsheetError with a description naming the file and what is wrong.
std::unique_ptr<Workbook> openWorkbook(const std::string& path);

// Writes the workbook as an Office Open XML package (.xlsx): first to a temporary file
// beside the target, then renamed over it, so a failure never leaves half a file.
void saveWorkbook(const Workbook& workbook, const std::string& path);

// Writes one sheet as comma-separated text (UTF-8, CR LF), values as they are displayed.
void saveSheetAsCsv(const Sheet& sheet, const std::string& path);

}  // namespace plyfold::engine
