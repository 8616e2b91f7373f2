#pragma once

#include <memory>
#include <optional>
#include <string>

#include "engine/model/workbook.h"

namespace plyfold::engine::dbf {

// Reads a dBase table (dBase II to 7, FoxPro, Visual FoxPro) as a workbook of one worksheet
// named after the file: a first row of field names, then one row per record that is not
// deleted. Memo texts come from the .dbt or .fpt beside the file; a .cpg beside it names the
// code page when the header does not. Cells are read the first time they are needed.
std::unique_ptr<Workbook> readDbf(const std::string& path);

// What the reader needs besides the table itself.
struct DbfCompanions {
    std::optional<std::string> memo;          // the .dbt/.fpt bytes
    std::optional<std::string> codePageText;  // the .cpg text
};

// The same from bytes in memory; displayName stands for the file.
std::unique_ptr<Workbook> readDbfFromMemory(std::string bytes, const std::string& displayName,
                                            DbfCompanions companions = {});

}  // namespace plyfold::engine::dbf
