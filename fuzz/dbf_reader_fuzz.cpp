// Feeds arbitrary bytes to the dBase reader, as the table and as its memo file: anything
// but a SpreadsheetError (a crash, a leak, a hang, another exception) is a bug.

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/common/error.h"
#include "engine/io/dbf/dbf_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    plyfold::engine::dbf::DbfCompanions companions;
    companions.memo = bytes;  // random memo pointers then land somewhere in random data
    if (size > 0 && (data[size - 1] & 1)) {
        companions.codePageText = bytes.substr(0, 16);
    }
    try {
        auto workbook =
            plyfold::engine::dbf::readDbfFromMemory(bytes, "fuzz.dbf", std::move(companions));
        (void)workbook->sheet(0).usedRange();
    } catch (const plyfold::SpreadsheetError&) {
    }
    return 0;
}
