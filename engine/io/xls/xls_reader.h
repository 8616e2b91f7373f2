#pragma once

#include <memory>
#include <string>

#include "engine/model/workbook.h"

namespace plyfold::files {
class InputFile;
}

namespace plyfold::engine::xls {

// Reads a BIFF workbook (.xls of Excel 2 to 2003): a compound file holding a BIFF5 or BIFF8
// workbook stream, or a bare BIFF2 to BIFF8 stream (a worksheet of Excel 2 to 4 is one sheet).
// Opening reads the sheet list (worksheets and chart sheets, with their visibility); the cells
// are read the first time a sheet is needed, each with the style of its cell format (font,
// fill, borders, alignment, protection and number format; number formats alone for Excel 2
// to 4), blank cells that hold a style among them, and texts formatted in parts with their
// runs. Throws SpreadsheetError naming the file and what
// is wrong (password protection, damage, a kind of file that cannot be read).
std::unique_ptr<Workbook> readXls(const std::string& path);
// The same from a file already open; all of it is read now.
std::unique_ptr<Workbook> readXls(const files::InputFile& file);

// The same from bytes in memory, for tests and fuzzing.
std::unique_ptr<Workbook> readXlsFromMemory(const std::string& bytes,
                                            const std::string& displayName);

// A workbook stream already taken out of its compound file (the BIFF records alone): for
// tests and fuzzing.
std::unique_ptr<Workbook> readBiffStream(const std::string& stream, const std::string& displayName);

}  // namespace plyfold::engine::xls
