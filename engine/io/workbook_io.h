#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "engine/common/memory_budget.h"
#include "engine/common/text_dialect.h"
#include "engine/model/workbook.h"

namespace plyfold::engine {

// Opens a workbook of any supported format, the format told by files::detectFormat. Only the
// sheet list is read; the cells of a sheet are parsed the first time they are needed. Throws
// SpreadsheetError with a description naming the file and what is wrong. What the workbook
// holds is counted against budget when one is given, and reading what would not fit in it
// fails with a message naming the file (and the sheet). A .csv or .txt file is read in the
// dialect given (by default guessed from the file).
std::unique_ptr<Workbook> openWorkbook(const std::string& path,
                                       std::shared_ptr<MemoryBudget> budget = nullptr,
                                       const TextDialect& dialect = {});

// Writes the workbook as an Office Open XML package (.xlsx): first to a temporary file
// beside the target, then renamed over it, so a failure never leaves half a file.
void saveWorkbook(const Workbook& workbook, const std::string& path);

// Whether the file is an Office Open XML package whose document properties mark it as a
// merge's result (one that saveWorkbook wrote for a workbook marked setMergeResult). Reads
// only the zip directory and the core properties. False for anything else, unreadable files
// included. Never fails.
bool isMergeResultFile(const std::string& path);

// Writes one sheet as comma-separated text (UTF-8, CR LF).
void saveSheetAsCsv(const Sheet& sheet, const std::string& path,
                    CsvValues values = CsvValues::Shown);

}  // namespace plyfold::engine
