#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/io/xlsx/rich_text_reader.h"
#include "engine/io/xlsx/zip_package.h"
#include "engine/model/string_pool.h"

namespace plyfold {
class MemoryAccount;
}

namespace plyfold::engine {
class Workbook;
}

namespace plyfold::engine::xlsx_read {

// What the formatted runs of shared strings become: rich texts of the workbook, named by
// richIds (by index in the part, a Cell::richText value, 0 for a plain string; empty while
// no string has runs).
struct SharedStringRuns {
    RunFonts& fonts;
    Workbook& workbook;
    std::vector<uint32_t> richIds;
};

// Reads the shared strings part into the pool and returns the pool id of each string, in
// the part's order. Rich text keeps the text of its runs, and their formatting where runs is
// given; phonetic runs are left out. The list of ids is counted in memory (the texts are
// counted by the pool, the runs by the workbook).
std::vector<uint32_t> readSharedStrings(ZipPackage& package, const std::string& storedName,
                                        StringPool& strings, MemoryAccount& memory,
                                        SharedStringRuns* runs = nullptr);

}  // namespace plyfold::engine::xlsx_read
