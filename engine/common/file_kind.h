#pragma once

#include <cstddef>
#include <string_view>

// What kind a file is: by its name (the type a listing or a save goes by) and by its content
// (the format a reader must use). Every rule of either lives here.
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

// What a file holds, as a reader sees it. WebPage and XmlSpreadsheet are formats some
// programs save under a spreadsheet extension that Plyfold cannot read, told apart so that
// the user hears what the file is.
enum class FileFormat { Xlsx, Xls, Csv, TabText, Dbf, WebPage, XmlSpreadsheet, Unknown };

// How many first bytes of a file detectFormat needs: enough to tell every format, and the
// first lines of a text file.
inline constexpr size_t kFormatSniffBytes = 8192;

// The format of a file judged by its first bytes and, where the bytes allow several, its
// name. The content wins over the name: a .xls that holds a zip archive is read as Office
// Open XML, a .csv that holds a compound file as a binary workbook. Text is read by its
// name: .csv as comma-separated, .txt as tab-separated, and .xls (as some programs "export
// to Excel") by the separator its first lines show.
FileFormat detectFormat(std::string_view firstBytes, std::string_view path);

}  // namespace plyfold::files
