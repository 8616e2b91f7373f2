#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/io/xls/biff_records.h"

namespace plyfold::engine::xls {

// What the workbook globals of a BIFF stream say about the sheets, in the order of the file.
struct BiffSheetInfo {
    enum class Type : uint8_t { Worksheet, MacroSheet, Chart, VisualBasicModule, Other };
    Type type = Type::Worksheet;
    uint8_t visibility = 0;  // 0 visible, 1 hidden, 2 very hidden
    uint32_t position = 0;   // offset of the sheet's BOF record in the stream
    std::string name;        // UTF-8
};

// The fields of a FONT record of BIFF5 or BIFF8.
struct BiffFont {
    double points = 10.0;
    bool bold = false;
    bool italic = false;
    bool strike = false;
    uint8_t underline = 0;  // 0 none, 1 single, 2 double, 0x21 and 0x22 the accounting ones
    uint8_t family = 0;
    uint8_t charset = 0;
    std::string name;  // UTF-8
};

struct BiffGlobals {
    bool isBiff5Or8 = false;  // the stream begins with a BIFF5 or BIFF8 BOF record
    // 2, 3 or 4 for the stream of a single worksheet of Excel 2 to 4 (its own globals and
    // cells in one substream, the sheet at position 0); 0 otherwise.
    int earlyVersion = 0;
    bool isEarlyWorkbook = false;  // a BIFF4 workbook (sheets bound in one file): not read
    bool complete = false;         // the globals' EOF record was reached
    bool encrypted = false;        // a FILEPASS record: the rest of the stream is scrambled
    bool biff8 = true;             // two-byte texts; false for BIFF2 to BIFF5
    bool date1904 = false;
    uint16_t codePage = 1252;  // of 8-bit texts (BIFF5)
    std::vector<BiffSheetInfo> sheets;
    std::vector<bool> xfIsDate;             // per cell format: does its number format show a date
    std::vector<std::string> xfFormatCode;  // per cell format: its number format code, UTF-8
    std::optional<size_t> sharedStringsAt;  // offset of the SST record
};

// Reads the globals up to their EOF record; stops quietly at damage (what was read stays).
BiffGlobals scanBiffGlobals(std::string_view stream);

// The same for a stream that begins with the BOF record of BIFF2, BIFF3 or BIFF4: the formats,
// code page and date system of its one worksheet, read up to the EOF record.
BiffGlobals scanEarlyBiffGlobals(std::string_view stream);

// The shared strings (SST and its CONTINUE records) as UTF-8, in order; empty when the
// workbook has none. Throws BiffDamage when the table is cut short or malformed. With runs,
// the formatting runs of each string too (an empty list for a string without).
std::vector<std::string> readSharedStrings(std::string_view stream, const BiffGlobals& globals,
                                           std::vector<std::vector<BiffTextRun>>* runs = nullptr);

}  // namespace plyfold::engine::xls
