#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/io/xlsx/zip_package.h"
#include "engine/model/string_pool.h"

namespace plyfold {
class MemoryAccount;
}

namespace plyfold::engine::xlsx_read {

// Reads the shared strings part into the pool and returns the pool id of each string, in
// the part's order. Rich text keeps the text of its runs; phonetic runs are left out. The
// list of ids is counted in memory (the texts are counted by the pool).
std::vector<uint32_t> readSharedStrings(ZipPackage& package, const std::string& storedName,
                                        StringPool& strings, MemoryAccount& memory);

}  // namespace plyfold::engine::xlsx_read
