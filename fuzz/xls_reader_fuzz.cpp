// Feeds arbitrary bytes to the .xls reader (our compound-file and BIFF scan, then FreeXL)
// and reads every sheet: anything but a SpreadsheetError is a bug.

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/error.h"
#include "engine/xls/xls_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        auto workbook = plyfold::engine::xls::readXlsFromMemory(
            std::string(reinterpret_cast<const char*>(data), size), "fuzz.xls");
        for (int32_t i = 0; i < workbook->sheetCount(); ++i) {
            try {
                (void)workbook->sheet(i).usedRange();
            } catch (const plyfold::SpreadsheetError&) {
            }
        }
    } catch (const plyfold::SpreadsheetError&) {
    }
    return 0;
}
