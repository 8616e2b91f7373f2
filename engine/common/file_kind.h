#pragma once

#include <string_view>

namespace plyfold::files {

// The kinds of file the program reads or writes, as their names say.
enum class FileType { Xls, Xlsx, Xlsm, Xltx, Xltm, Csv, Text, Dbf, Other };

// The type of a file by the extension of its name: the text after the last "." of the last
// path component, without regard to case. A name without one is Other.
FileType fileTypeOfName(std::string_view path);

// The same for an extension alone, without its ".".
FileType fileTypeOfExtension(std::string_view extension);

// Workbooks of a spreadsheet program: .xls, .xlsx and .xlsm.
bool isWorkbookType(FileType type);

}  // namespace plyfold::files
