// Feeds arbitrary bytes to the comma- and tab-separated text reader: anything but a
// SpreadsheetError (a crash, a leak, a hang, another exception) is a bug.

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/common/error.h"
#include "engine/io/csv/delimited_text_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace plyfold::engine;
    std::string bytes(reinterpret_cast<const char*>(data), size);
    // The last byte picks the reading, so every one is explored: its bits (after an XOR
    // that makes a final line feed pick the defaults, where the guesses run) choose the
    // default delimiter (bit 0), a given delimiter (bits 1-2: none, ';', '|', TAB), the
    // decimal mark (bits 3-4) and the date order (bits 5-6).
    const unsigned last = static_cast<unsigned char>(bytes.empty() ? '\n' : bytes.back()) ^ 0x0Au;
    const char delimiter = (last & 1) ? '\t' : ',';
    TextDialect dialect;
    dialect.delimiter = "\0;|\t"[(last >> 1) & 3];
    dialect.decimal = static_cast<DecimalSeparator>(((last >> 3) & 3) % 3);
    dialect.dateOrder = static_cast<DateOrder>((last >> 5) & 3);
    try {
        auto workbook = csv::readDelimitedTextFromMemory(bytes, "fuzz.csv", delimiter, dialect);
        (void)workbook->sheet(0).usedRange();
    } catch (const plyfold::SpreadsheetError&) {
    }
    return 0;
}
