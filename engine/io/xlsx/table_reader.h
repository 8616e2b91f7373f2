#pragma once

#include <string>
#include <vector>

#include "engine/common/memory_budget.h"
#include "engine/io/xlsx/zip_package.h"
#include "engine/model/table.h"

namespace plyfold::engine::xlsx_read {

// The tables of a worksheet: the table parts its relationships name, each read once, in the
// order of the relationships. A table whose part is missing, or whose range is not a range of
// the sheet, is left out (spreadsheet programs drop it too). part says which part was being
// read when a ReadFailure is thrown (for a damaged part). Each table is counted in memory
// as it is read (MemoryLimitReached past the budget, with nothing left counted).
std::vector<Table> readSheetTables(ZipPackage& package, const std::string& sheetPart,
                                   std::string& part, MemoryAccount& memory);

// One table part (xl/tables/table1.xml); nullopt when it is not a usable table.
std::optional<Table> readTablePart(ZipPackage& package, const std::string& storedName);

}  // namespace plyfold::engine::xlsx_read
