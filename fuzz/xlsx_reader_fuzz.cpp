// Feeds arbitrary bytes to the .xlsx reader and reads every sheet and its tables: anything but a
// SpreadsheetError (a crash, a leak, a hang, another exception) is a bug.

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/common/error.h"
#include "engine/io/xlsx/xlsx_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        auto workbook = plyfold::engine::readXlsxFromMemory(
            std::string(reinterpret_cast<const char*>(data), size), "fuzz.xlsx");
        for (int32_t i = 0; i < workbook->sheetCount(); ++i) {
            const plyfold::engine::Sheet& sheet = workbook->sheet(i);
            try {
                sheet.ensureLoaded();
                (void)sheet.usedRange();
            } catch (const plyfold::SpreadsheetError&) {
            }
            try {
                (void)sheet.tables();
            } catch (const plyfold::SpreadsheetError&) {
            }
        }
    } catch (const plyfold::SpreadsheetError&) {
    }
    return 0;
}
