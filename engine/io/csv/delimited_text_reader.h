#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "engine/common/text_dialect.h"
#include "engine/model/workbook.h"

namespace plyfold::engine::csv {

// Reads a text file of fields separated by delimiter (',' for .csv, '\t' for .txt) as a
// workbook of one worksheet named after the file. The dialect's delimiter wins over it; when
// the dialect names none and delimiter is ',', a semicolon, tab or pipe the file's first
// lines are consistently separated by is used (guessDelimiter).
// Opening reads nothing; the cells are read the first time they are needed. Throws
// SpreadsheetError naming the file.
std::unique_ptr<Workbook> readDelimitedText(const std::string& path, char delimiter,
                                            const TextDialect& dialect = {});

// The same from bytes in memory; displayName stands for the file (and names the sheet).
std::unique_ptr<Workbook> readDelimitedTextFromMemory(std::string bytes,
                                                      const std::string& displayName,
                                                      char delimiter,
                                                      const TextDialect& dialect = {});

// Fills an empty sheet with the fields of a text file's bytes (any supported encoding).
// Quoted fields may hold delimiters, doubled quotes and line breaks; CR LF, LF and CR end a
// line. Empty fields make no cell. Throws SpreadsheetError naming displayName when the text
// does not fit in a sheet (rows, columns or characters of a cell).
// The dialect decides the delimiter as readDelimitedText says, and how numbers and dates read:
// - a decimal comma when asked for, or, automatically, in a semicolon-separated file whose
//   numbers are written so (writesDecimalCommas);
// - dates written like 31.01.2026, 31/01/2026 or 31-01-2026 (and 2026/01/31 for the
//   year-month-day order), in the order given, or automatically by column: day-first when
//   every such field of the column is a valid day-first date and one has a day above 12,
//   month-first likewise; otherwise they stay text.
void parseDelimitedText(std::string_view bytes, char delimiter, Sheet& sheet,
                        const std::string& displayName, const TextDialect& dialect = {});

}  // namespace plyfold::engine::csv
