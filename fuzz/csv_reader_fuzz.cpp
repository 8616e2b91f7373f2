// Feeds arbitrary bytes to the comma- and tab-separated text reader: anything but a
// SpreadsheetError (a crash, a leak, a hang, another exception) is a bug.

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/common/error.h"
#include "engine/io/csv/delimited_text_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    // The last byte picks the delimiter, so both readings are explored.
    char delimiter = !bytes.empty() && (bytes.back() & 1) ? '\t' : ',';
    try {
        auto workbook =
            plyfold::engine::csv::readDelimitedTextFromMemory(bytes, "fuzz.csv", delimiter);
        (void)workbook->sheet(0).usedRange();
    } catch (const plyfold::SpreadsheetError&) {
    }
    return 0;
}
