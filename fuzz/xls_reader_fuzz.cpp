// Feeds arbitrary bytes to the .xls reader (as a compound file, or as a bare BIFF2 to BIFF8
// stream), reading every sheet: anything but a SpreadsheetError is a bug.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/common/error.h"
#include "engine/io/xls/xls_reader.h"

namespace {

void readEverySheet(const std::unique_ptr<plyfold::engine::Workbook>& workbook) {
    for (int32_t i = 0; i < workbook->sheetCount(); ++i) {
        try {
            (void)workbook->sheet(i).usedRange();
        } catch (const plyfold::SpreadsheetError&) {
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    try {
        readEverySheet(plyfold::engine::xls::readXlsFromMemory(bytes, "fuzz.xls"));
    } catch (const plyfold::SpreadsheetError&) {
    }
    return 0;
}
