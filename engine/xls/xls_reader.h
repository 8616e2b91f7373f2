#pragma once

#include <memory>
#include <string>

#include "engine/workbook.h"

namespace plyfold::engine::xls {

// Reads a BIFF workbook (.xls of Excel 2 to 2003) through FreeXL, and BIFF5 and BIFF8
// workbooks that FreeXL refuses through our own reader. Opening reads the sheet list
// (worksheets only, with their visibility); the cells are read the first time a sheet is
// needed. Throws SpreadsheetError naming the file and what is wrong (password protection,
// damage, a format version neither reader can read).
std::unique_ptr<Workbook> readXls(const std::string& path);

// The same from bytes in memory, for tests and fuzzing: FreeXL reads only files, so the bytes
// go to a temporary file that lives as long as the workbook.
std::unique_ptr<Workbook> readXlsFromMemory(const std::string& bytes,
                                            const std::string& displayName);

// Our own reader over a workbook stream already taken out of its compound file (the BIFF
// records alone), without FreeXL: for tests and fuzzing.
std::unique_ptr<Workbook> readBiffStream(const std::string& stream, const std::string& displayName);

}  // namespace plyfold::engine::xls
