#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "engine/common/text_dialect.h"
#include "engine/model/workbook.h"

namespace plyfold::engine::csv {

// Reads a text file of fields separated by delimiter (',' for .csv, '\t' for .txt; the
// dialect may name or guess another) as a workbook of one worksheet named after the file.
// Opening reads nothing; the cells are read the first time they are needed. Throws
// SpreadsheetError naming the file.
std::unique_ptr<Workbook> readDelimitedText(const std::string& path, char delimiter,
                                            const TextDialect& dialect = {});

// The same from bytes in memory; displayName stands for the file (and names the sheet).
std::unique_ptr<Workbook> readDelimitedTextFromMemory(std::string bytes,
                                                      const std::string& displayName,
                                                      char delimiter);

// Fills an empty sheet with the fields of a text file's bytes (any supported encoding).
// Quoted fields may hold delimiters, doubled quotes and line breaks; CR LF, LF and CR end a
// line. Empty fields make no cell. Throws SpreadsheetError naming displayName when the text
// does not fit in a sheet (rows, columns or characters of a cell).
void parseDelimitedText(std::string_view bytes, char delimiter, Sheet& sheet,
                        const std::string& displayName);

}  // namespace plyfold::engine::csv
