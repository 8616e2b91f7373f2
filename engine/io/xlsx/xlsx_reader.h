#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "engine/model/workbook.h"

namespace plyfold::files {
class InputFile;
}

namespace plyfold::engine {

// Reads an Office Open XML workbook (.xlsx, .xlsm; transitional or strict). Only the package
// structure and the sheet list are read here; shared strings, styles and each sheet's cells
// are parsed when a sheet is first loaded. Throws SpreadsheetError naming the file and what
// is wrong.
std::unique_ptr<Workbook> readXlsx(const std::string& path);
// The same through a file already open; the workbook keeps it for the sheets read later.
std::unique_ptr<Workbook> readXlsx(std::shared_ptr<const files::InputFile> file);

// The same from bytes in memory (kept alive by the workbook), for tests and fuzzing;
// displayName stands for the file in messages.
std::unique_ptr<Workbook> readXlsxFromMemory(std::string bytes, const std::string& displayName);

}  // namespace plyfold::engine
