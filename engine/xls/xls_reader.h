#pragma once

#include <memory>
#include <string>

#include "engine/workbook.h"

namespace plyfold::engine::xls {

// Reads a BIFF workbook (.xls of Excel 2 to 2003) through FreeXL. Opening reads the sheet list
// (worksheets only, with their visibility); the cells are read the first time a sheet is
// needed. Throws SpreadsheetError naming the file and what is wrong (password protection,
// damage, a format version FreeXL cannot read).
std::unique_ptr<Workbook> readXls(const std::string& path);

// The same from bytes in memory, for tests and fuzzing: FreeXL reads only files, so the bytes
// go to a temporary file that lives as long as the workbook.
std::unique_ptr<Workbook> readXlsFromMemory(const std::string& bytes,
                                            const std::string& displayName);

}  // namespace plyfold::engine::xls
