// Our own reader of BIFF workbook streams.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "engine/common/error.h"
#include "engine/common/text.h"
#include "engine/io/compound/compound_file.h"
#include "engine/io/workbook_io.h"
#include "engine/io/xls/xls_reader.h"
#include "engine/model/cell_ref.h"
#include "engine/ops/number_format.h"
#include "tests/engine/formats/biff_bytes.h"
#include "tests/support/golden_cells.h"
#include "tests/support/temp_dir.h"

namespace plyfold::engine::xls {
namespace {

using namespace biff_bytes;

const std::string kCorpus = PLYFOLD_CORPUS_DIR;

std::string cellHeader(uint16_t row, uint16_t column, uint16_t xf = 0) {
    return u16le(row) + u16le(column) + u16le(xf);
}

// A BIFF8 string of one-byte characters with a 16-bit count.
std::string shortString(const std::string& latin1) {
    return u16le(static_cast<uint32_t>(latin1.size())) + '\0' + latin1;
}

std::string formulaRecord(uint16_t row, uint16_t column, const std::string& result,
                          uint16_t xf = 0) {
    return record(0x0006, cellHeader(row, column, xf) + result + u16le(0) + u32le(0) + u16le(0));
}

// A formula result that is not a number: kind 0 text, 1 boolean, 2 error, 3 empty text.
std::string specialResult(uint8_t kind, uint8_t value) {
    return std::string{static_cast<char>(kind), '\0', static_cast<char>(value), '\0', '\0', '\0'} +
           u16le(0xFFFF);
}

struct SheetSpec {
    std::string name;  // bytes as the file holds them
    std::string records;
    uint8_t type = 0;
    uint8_t visibility = 0;
};

// A workbook stream: globals (BOF, head, a BOUNDSHEET for each sheet, tail, EOF), then each
// sheet's substream.
std::string workbookStream(bool biff8, const std::vector<SheetSpec>& sheets,
                           const std::string& head = {}, const std::string& tail = {}) {
    const std::string bof = u16le(biff8 ? 0x0600 : 0x0500) + u16le(0x0005) + std::string(12, '\0');
    auto globals = [&](const std::vector<uint32_t>& positions) {
        std::string out = record(0x0809, bof) + head;
        for (size_t i = 0; i < sheets.size(); ++i) {
            std::string data = u32le(positions[i]);
            data += static_cast<char>(sheets[i].visibility);
            data += static_cast<char>(sheets[i].type);
            data += static_cast<char>(sheets[i].name.size());
            if (biff8) {
                data += '\0';
            }
            out += record(0x0085, data + sheets[i].name);
        }
        return out + tail + record(0x000A, {});
    };
    std::vector<uint32_t> positions(sheets.size());
    uint32_t at = static_cast<uint32_t>(globals(positions).size());
    std::string substreams;
    const std::string sheetBof =
        u16le(biff8 ? 0x0600 : 0x0500) + u16le(0x0010) + std::string(12, '\0');
    for (size_t i = 0; i < sheets.size(); ++i) {
        positions[i] = at + static_cast<uint32_t>(substreams.size());
        substreams += record(0x0809, sheetBof) + sheets[i].records + record(0x000A, {});
    }
    return globals(positions) + substreams;
}

std::string xfRecord(uint16_t format) {
    return record(0x00E0, u16le(0) + u16le(format) + std::string(16, '\0'));
}

std::vector<std::string> problemsWith(const Workbook& workbook, const std::string& cells) {
    return test::compareWithDumpText(workbook, cells);
}

// The description of the error that opening and loading every sheet gives; empty when none.
std::string streamError(const std::string& stream) {
    try {
        auto workbook = readBiffStream(stream, "hostile.xls");
        for (int32_t i = 0; i < workbook->sheetCount(); ++i) {
            workbook->sheet(i).rows();
        }
    } catch (const SpreadsheetError& error) {
        return error.description();
    }
    return {};
}

std::string everyKindOfCellStream() {
    // XF 1 shows a built-in date format, XF 2 a time format of the file's own.
    const std::string head = record(0x0042, u16le(1200)) + record(0x0022, u16le(1)) +
                             record(0x041E, u16le(164) + u16le(5) + '\0' + "hh:mm") + xfRecord(0) +
                             xfRecord(14) + xfRecord(164);
    const std::string sst =
        record(0x00FC, u32le(3) + u32le(2) + shortString("shared one") + shortString("shared two"));
    std::string cells;
    cells += record(0x00FD, cellHeader(0, 0) + u32le(1));
    cells += record(0x0204, cellHeader(0, 1) + shortString("label"));
    cells += record(0x00D6, cellHeader(0, 2) + shortString("rich") + u16le(1) + u32le(0));
    cells += record(0x0203, cellHeader(1, 0) + f64le(1.5));
    cells += record(0x027E, cellHeader(1, 1) + u32le(42u << 2 | 2));     // integer
    cells += record(0x027E, cellHeader(1, 2) + u32le(1234u << 2 | 3));   // integer / 100
    cells += record(0x027E, cellHeader(1, 3) + u32le(0x3FF80000u | 1));  // 1.5 / 100
    cells += record(0x00BD, u16le(2) + u16le(0) + u16le(1) + u32le(45000u << 2 | 2) + u16le(2) +
                                u32le(0x3FE00000u) + u16le(1));  // a date and a time
    cells += record(0x0201, cellHeader(2, 2));                   // blank
    cells += record(0x00BE, u16le(2) + u16le(3) + u16le(0) + u16le(0) + u16le(4));
    cells += record(0x0205, cellHeader(3, 0) + std::string("\x01\x00", 2));
    cells += record(0x0205, cellHeader(3, 1) + std::string("\x2A\x01", 2));
    cells += formulaRecord(4, 0, f64le(3.0));
    cells += formulaRecord(4, 1, specialResult(0, 0));
    cells += record(0x04BC, std::string(10, '\0'));  // the shared formula comes first
    cells += record(0x0207, shortString("shared result"));
    cells += formulaRecord(4, 2, specialResult(1, 0));
    cells += formulaRecord(4, 3, specialResult(2, 0x07));
    cells += formulaRecord(4, 4, specialResult(3, 0));
    cells += formulaRecord(4, 5, specialResult(0, 0));  // its STRING record is missing
    // A chart embedded in the sheet: its records are not the sheet's cells.
    cells += record(0x0809, u16le(0x0600) + u16le(0x0020) + std::string(12, '\0'));
    cells += record(0x0203, cellHeader(9, 9) + f64le(99));
    cells += record(0x000A, {});
    cells += record(0x0203, cellHeader(6, 0) + f64le(7));  // before row 5, and then overwritten
    cells += record(0x0203, cellHeader(5, 0) + f64le(6));
    cells += record(0x0204, cellHeader(6, 0) + shortString("later"));
    return workbookStream(true,
                          {{"Cells", cells},
                           {"Macros", record(0x0203, cellHeader(0, 0) + f64le(1)), 1},
                           {"Chart", {}, 2, 1},
                           {"Hidden", {}, 0, 2}},
                          head, sst);
}

TEST(BiffReader, ReadsEveryKindOfCellRecord) {
    auto workbook = readBiffStream(everyKindOfCellStream(), "cells.xls");
    EXPECT_TRUE(workbook->isDate1904());
    ASSERT_EQ(workbook->sheetCount(), 3);  // the macro sheet holds no worksheet data
    EXPECT_EQ(workbook->sheet(1).name(), "Chart");
    EXPECT_FALSE(workbook->sheet(1).isWorksheet());
    EXPECT_EQ(workbook->sheet(1).visibility(), SheetVisibility::Hidden);
    EXPECT_EQ(workbook->sheet(2).visibility(), SheetVisibility::VeryHidden);
    EXPECT_FALSE(workbook->sheet(0).isLoaded());
    auto problems = problemsWith(*workbook,
                                 "Cells!A1\tt\tshared two\n"
                                 "Cells!B1\tt\tlabel\n"
                                 "Cells!C1\tt\trich\n"
                                 "Cells!A2\tn\t1.5\n"
                                 "Cells!B2\tn\t42\n"
                                 "Cells!C2\tn\t12.34\n"
                                 "Cells!D2\tn\t0.015\n"
                                 "Cells!A3\tn\t45000\tdate\n"
                                 "Cells!B3\tn\t0.5\tdate\n"
                                 "Cells!A4\tb\tTRUE\n"
                                 "Cells!B4\te\t#N/A\n"
                                 "Cells!A5\tn\t3\n"
                                 "Cells!B5\tt\tshared result\n"
                                 "Cells!C5\tb\tFALSE\n"
                                 "Cells!D5\te\t#DIV/0!\n"
                                 "Cells!A6\tn\t6\n"
                                 "Cells!A7\tt\tlater\n");
    EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);
}

TEST(BiffReader, Biff5TextsAreReadInTheWorkbooksCodePage) {
    struct Case {
        uint16_t codePage;
        std::string bytes;
        const char* utf8;
    };
    const Case cases[] = {
        {10000, "Bl\x8Atter", "Bl\xC3\xA4tter"},  // Mac Roman
        {32768, "Bl\x8Atter", "Bl\xC3\xA4tter"},
        {1252, "Bl\xE4tter", "Bl\xC3\xA4tter"},
        {32769, "Bl\xE4tter", "Bl\xC3\xA4tter"},
        {1251, "\xE4\xE0", "\xD0\xB4\xD0\xB0"},
        // Vietnamese composes a letter with the mark after it: the last letter is kept too.
        {1258, "Format", "Format"},
        {1258, "Vi\xEA\xF2t", "Vi\xE1\xBB\x87t"},
        {1258, "ca\xEC", "c\xC3\xA1"},
    };
    for (const Case& c : cases) {
        std::string text = u16le(static_cast<uint32_t>(c.bytes.size())) + c.bytes;
        std::string cells = record(0x0204, cellHeader(0, 0) + text) +
                            formulaRecord(1, 0, specialResult(0, 0)) + record(0x0207, text) +
                            record(0x0203, cellHeader(2, 0, 1) + f64le(36526));
        std::string stream =
            workbookStream(false, {{c.bytes, cells}},
                           record(0x0042, u16le(c.codePage)) + xfRecord(0) + xfRecord(15));
        auto workbook = readBiffStream(stream, "biff5.xls");
        ASSERT_EQ(workbook->sheetCount(), 1);
        EXPECT_EQ(workbook->sheet(0).name(), c.utf8) << c.codePage;
        std::string expected = std::string(c.utf8) + "!A1\tt\t" + c.utf8 + "\n" + c.utf8 +
                               "!A2\tt\t" + c.utf8 + "\n" + c.utf8 + "!A3\tn\t36526\tdate\n";
        auto problems = problemsWith(*workbook, expected);
        EXPECT_TRUE(problems.empty()) << c.codePage << ::testing::PrintToString(problems);
    }
}

// The shared strings of one sheet's LABELSST cells 0..count-1 in column A.
std::vector<std::string> sharedStringsOf(const std::string& sstAndContinues, uint32_t count) {
    std::string cells;
    for (uint32_t i = 0; i < count; ++i) {
        cells += record(0x00FD, cellHeader(static_cast<uint16_t>(i), 0) + u32le(i));
    }
    auto workbook =
        readBiffStream(workbookStream(true, {{"S", cells}}, {}, sstAndContinues), "sst.xls");
    std::vector<std::string> texts;
    for (uint32_t i = 0; i < count; ++i) {
        const Cell* cell = workbook->sheet(0).findCell({static_cast<int32_t>(i), 0});
        texts.push_back(cell && cell->type == CellType::Text
                            ? std::string(workbook->strings().text(cell->value.text))
                            : "<none>");
    }
    return texts;
}

std::string wide(std::u16string_view text) {
    std::string out;
    for (char16_t unit : text) {
        out += u16le(unit);
    }
    return out;
}

TEST(BiffReader, SharedStringsGoOnInContinueRecords) {
    const std::string sstHead = u32le(2) + u32le(2);
    const std::string omega = "\xCE\xA9";  // U+03A9
    struct Case {
        const char* what;
        std::vector<std::string> segments;  // the SST data, then each CONTINUE's
        std::vector<std::string> texts;
    };
    const Case cases[] = {
        {"one-byte characters go on one byte wide",
         {sstHead + u16le(6) + '\0' + "abc", std::string("\0def", 4) + shortString("x")},
         {"abcdef", "x"}},
        {"one-byte characters go on two bytes wide",
         {sstHead + u16le(4) + '\0' + "ab", "\x01" + wide(u"\u03A9c") + shortString("x")},
         {"ab" + omega + "c", "x"}},
        {"two-byte characters go on one byte wide",
         {sstHead + u16le(3) + '\x01' + wide(u"\u03A9"), std::string("\0bc", 3) + shortString("x")},
         {omega + "bc", "x"}},
        {"the characters begin in the CONTINUE record",
         {sstHead + u16le(2) + '\0', std::string("\0ab", 3) + shortString("x")},
         {"ab", "x"}},
        {"a string begins the CONTINUE record, without an option byte of its own",
         {sstHead + shortString("ab"), shortString("cd")},
         {"ab", "cd"}},
        {"a surrogate pair is split between the records",
         {sstHead + u16le(2) + '\x01' + wide(u"\xD83D"),
          "\x01" + wide(u"\xDE00") + shortString("x")},
         {"\xF0\x9F\x98\x80", "x"}},
        {"formatting runs and extended data are skipped, split or not",
         {sstHead + u16le(2) + '\x0C' + u16le(2) + u32le(3) + "ab" + u32le(0) +
              std::string("\x01\x00", 2),
          std::string("\x02\x00", 2) + "xyz" + u16le(1) + "\x08" + u16le(1) + "y" + u32le(7)},
         {"ab", "y"}},
    };
    for (const Case& c : cases) {
        std::string records = record(0x00FC, c.segments[0]);
        for (size_t i = 1; i < c.segments.size(); ++i) {
            records += record(0x003C, c.segments[i]);
        }
        EXPECT_EQ(sharedStringsOf(records, 2), c.texts) << c.what;
    }
}

TEST(BiffReader, HostileCountsAndPlacesFailClearly) {
    const std::string oneString = record(0x00FC, u32le(1) + u32le(0xFFFFFFFF) + shortString("a"));
    // A table that claims four billion strings and holds one: the one is read.
    EXPECT_EQ(sharedStringsOf(oneString, 1), std::vector<std::string>{"a"});
    auto labelSst = [](uint32_t index) { return record(0x00FD, cellHeader(0, 0) + u32le(index)); };
    std::string longText(40000, 'x');
    std::string stringRecord = record(0x0207, u16le(40000) + '\0' + longText.substr(0, 8000));
    for (size_t at = 8000; at < longText.size(); at += 8000) {
        stringRecord += record(0x003C, '\0' + longText.substr(at, 8000));
    }
    // Worksheets whose sheet records point at one sheet's records (and a chart, which is never
    // read, at the same place).
    const std::string sharedBody = [] {
        const std::string bof = u16le(0x0600) + u16le(0x0005) + std::string(12, '\0');
        auto boundSheet = [](uint32_t at, char type, const std::string& name) {
            return record(0x0085,
                          u32le(at) + '\0' + type + static_cast<char>(name.size()) + '\0' + name);
        };
        const auto at = static_cast<uint32_t>(record(0x0809, bof).size() +
                                              3 * boundSheet(0, 0, "A").size() + 4);
        return record(0x0809, bof) + boundSheet(at, 2, "C") + boundSheet(at, 0, "A") +
               boundSheet(at, 0, "B") + record(0x000A, {}) +
               record(0x0809, u16le(0x0600) + u16le(0x0010) + std::string(12, '\0')) +
               record(0x0203, cellHeader(0, 0) + f64le(1)) + record(0x000A, {});
    }();
    struct Case {
        const char* what;
        std::string stream;
        const char* error;
    };
    const Case cases[] = {
        {"two sheets on one sheet's records", sharedBody,
         "is damaged: its sheets 'A' and 'B' take their cells from the same place in the file"},
        {"a string longer than the table",
         workbookStream(true, {{"S", labelSst(0)}}, {},
                        record(0x00FC, u32le(1) + u32le(1) + u16le(65535) + '\0' + "abc")),
         "its table of shared texts is broken"},
        {"a shared string that is not there",
         workbookStream(true, {{"S", labelSst(1)}}, {}, oneString),
         "its table of shared texts is broken"},
        {"a cell beyond the last column",
         workbookStream(true, {{"S", record(0x0203, cellHeader(0, 16384) + f64le(1))}}),
         "a cell lies outside its sheet"},
        {"a formula text longer than a cell holds",
         workbookStream(true, {{"S", formulaRecord(0, 0, specialResult(0, 0)) + stringRecord}}),
         "holds more than 32,767 characters"},
        {"a number record cut short",
         workbookStream(true, {{"S", record(0x0203, cellHeader(0, 0) + "\x01")}}),
         "a cell of the sheet 'S' cannot be read"},
        {"a MULRK with no room for its columns",
         workbookStream(true, {{"S", record(0x00BD, u16le(0) + u16le(0))}}),
         "a cell of the sheet 'S' cannot be read"},
        {"a LABEL whose text runs past its record",
         workbookStream(true, {{"S", record(0x0204, cellHeader(0, 0) + u16le(500) + '\0' + "ab")}}),
         "a cell of the sheet 'S' cannot be read"},
        {"a sheet that begins past the end of the stream",
         record(0x0809, u16le(0x0600) + std::string(14, '\0')) +
             record(0x0085, u32le(10000) + std::string("\0\0\x01\0S", 5)) + record(0x000A, {}),
         "the sheet 'S' cannot be found"},
        {"no BOF record", record(0x000A, {}), "does not begin as it should"},
        {"no sheets", workbookStream(true, {}), "it lists no sheets"},
    };
    for (const Case& c : cases) {
        std::string error = streamError(c.stream);
        EXPECT_NE(error.find("'hostile.xls' "), std::string::npos) << c.what << ": " << error;
        EXPECT_NE(error.find(c.error), std::string::npos) << c.what << ": " << error;
    }
}

// A worksheet stream of Excel 2, 3 or 4 (version 2, 3 or 4): BOF, head, cells, EOF.
std::string earlyStream(int version, const std::string& head, const std::string& cells,
                        uint16_t sheetType = 0x0010) {
    const uint16_t bof = version == 2 ? 0x0009 : version == 3 ? 0x0209 : 0x0409;
    std::string data = u16le(version == 2 ? 2 : 0) + u16le(sheetType);
    if (version > 2) {
        data += u16le(0);
    }
    return record(bof, data) + head + cells + record(0x000A, {});
}

// Records of one early version, whose cells differ in layout: BIFF2 cells carry 3 bytes of
// attributes (the XF index in the low 6 bits of the first), later ones a 16-bit XF index.
struct EarlyRecords {
    int version;

    std::string header(uint16_t row, uint16_t column, uint16_t xf) const {
        return version == 2 ? u16le(row) + u16le(column) + static_cast<char>(xf) + '\0' + '\0'
                            : cellHeader(row, column, xf);
    }
    std::string bytes(const std::string& text) const {
        return (version == 2 ? std::string(1, static_cast<char>(text.size()))
                             : u16le(static_cast<uint32_t>(text.size()))) +
               text;
    }
    std::string format(const std::string& code) const {
        return record(0x001E, (version == 4 ? u16le(0) : std::string()) +
                                  static_cast<char>(code.size()) + code);
    }
    std::string xf(uint8_t format) const {
        if (version == 2) {
            return record(0x0043, std::string{'\0', '\0', static_cast<char>(format), '\0'});
        }
        return record(version == 3 ? 0x0243 : 0x0443,
                      std::string{'\0', static_cast<char>(format)} + std::string(10, '\0'));
    }
    std::string label(uint16_t row, uint16_t column, const std::string& text) const {
        return record(version == 2 ? 0x0004 : 0x0204, header(row, column, 0) + bytes(text));
    }
    std::string number(uint16_t row, uint16_t column, double value, uint16_t xf = 0) const {
        return record(version == 2 ? 0x0003 : 0x0203, header(row, column, xf) + f64le(value));
    }
    // BIFF2's INTEGER, the RK of later versions.
    std::string integer(uint16_t row, uint16_t column, uint16_t value) const {
        return version == 2 ? record(0x0002, header(row, column, 0) + u16le(value))
                            : record(0x027E, header(row, column, 0) + u32le(value << 2 | 2));
    }
    std::string boolErr(uint16_t row, uint16_t column, uint8_t value, bool error) const {
        return record(version == 2 ? 0x0005 : 0x0205,
                      header(row, column, 0) + static_cast<char>(value) + static_cast<char>(error));
    }
    std::string formula(uint16_t row, uint16_t column, const std::string& result,
                        uint16_t xf = 0) const {
        const uint16_t type = version == 2 ? 0x0006 : version == 3 ? 0x0206 : 0x0406;
        const std::string tail = version == 2 ? std::string(2, '\0') : u16le(0) + u16le(0);
        return record(type, header(row, column, xf) + result + tail);
    }
    std::string string(const std::string& text) const {
        return record(version == 2 ? 0x0007 : 0x0207, bytes(text));
    }
};

std::string everyKindOfEarlyCellStream(int version) {
    const EarlyRecords r{version};
    // XF 1 shows a date, XF 2 a time; formats are numbered in the order of their records.
    const std::string head = record(0x0042, u16le(1251)) + record(0x0022, u16le(1)) +
                             r.format("General") + r.format("m/d/yyyy") + r.format("h:mm") +
                             r.xf(0) + r.xf(1) + r.xf(2);
    std::string cells = r.label(0, 0, "\xE4\xE0") + r.number(0, 1, 1.5) + r.integer(0, 2, 42) +
                        r.number(1, 0, 45000, 1) + r.number(1, 1, 0.5, 2) + r.number(1, 2, 7) +
                        r.boolErr(2, 0, 1, false) + r.boolErr(2, 1, 0x07, true) +
                        r.formula(3, 0, f64le(3)) + r.formula(3, 1, specialResult(0, 0)) +
                        r.string("result") + r.formula(3, 2, specialResult(1, 0)) +
                        r.formula(3, 3, specialResult(2, 0x2A)) + r.formula(3, 4, f64le(45001), 1) +
                        r.formula(3, 5, specialResult(0, 0));  // its STRING record is missing
    // A chart embedded in the sheet: its records are not the sheet's cells.
    cells += earlyStream(version, {}, r.number(9, 9, 99), 0x0020);
    if (version == 2) {
        // XF index 63 asks for the index of the IXFE record before the cell.
        cells += record(0x0044, u16le(1)) + r.number(4, 0, 45002, 63);
    }
    return earlyStream(version, head, cells);
}

TEST(BiffReader, ReadsEveryKindOfCellRecordOfExcel2To4) {
    for (int version : {2, 3, 4}) {
        SCOPED_TRACE(version);
        auto workbook = readBiffStream(everyKindOfEarlyCellStream(version), "early.xls");
        EXPECT_TRUE(workbook->isDate1904());
        ASSERT_EQ(workbook->sheetCount(), 1);
        EXPECT_EQ(workbook->sheet(0).name(), "Worksheet");
        std::string expected =
            "Worksheet!A1\tt\t\xD0\xB4\xD0\xB0\n"
            "Worksheet!B1\tn\t1.5\n"
            "Worksheet!C1\tn\t42\n"
            "Worksheet!A2\tn\t45000\tdate\n"
            "Worksheet!B2\tn\t0.5\tdate\n"
            "Worksheet!C2\tn\t7\n"
            "Worksheet!A3\tb\tTRUE\n"
            "Worksheet!B3\te\t#DIV/0!\n"
            "Worksheet!A4\tn\t3\n"
            "Worksheet!B4\tt\tresult\n"
            "Worksheet!C4\tb\tFALSE\n"
            "Worksheet!D4\te\t#N/A\n"
            "Worksheet!E4\tn\t45001\tdate\n";
        if (version == 2) {
            expected += "Worksheet!A5\tn\t45002\tdate\n";
        }
        auto problems = problemsWith(*workbook, expected);
        EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);
    }
}

TEST(BiffReader, EarlyStreamsThatHoldNoWorksheetOrAreDamagedFailClearly) {
    const EarlyRecords biff2{2};
    const EarlyRecords biff4{4};
    struct Case {
        const char* what;
        std::string stream;
        const char* error;
    };
    const Case cases[] = {
        {"a workbook of Excel 4", earlyStream(4, {}, {}, 0x0100), "is an Excel 4 workbook"},
        {"a chart of its own", earlyStream(3, {}, {}, 0x0020), "holds no worksheet"},
        {"a BIFF2 number cut short",
         earlyStream(2, {}, record(0x0003, biff2.header(0, 0, 0) + "\x01")),
         "a cell of the sheet 'Worksheet' cannot be read"},
        {"a BIFF2 label whose text runs past its record",
         earlyStream(2, {}, record(0x0004, biff2.header(0, 0, 0) + "\x09" + "ab")),
         "a cell of the sheet 'Worksheet' cannot be read"},
        {"a BIFF2 formula cut short",
         earlyStream(2, {}, record(0x0006, biff2.header(0, 0, 0) + "\x01\x02")),
         "a cell of the sheet 'Worksheet' cannot be read"},
        {"a BIFF4 formula text that runs past its record",
         earlyStream(4, {},
                     biff4.formula(0, 0, specialResult(0, 0)) + record(0x0207, u16le(300) + "ab")),
         "a cell of the sheet 'Worksheet' cannot be read"},
        {"no EOF record", earlyStream(2, {}, biff2.number(0, 0, 1)).substr(0, 8 + 19),
         "the file ends before its contents do"},
        {"a password", earlyStream(3, record(0x002F, u16le(1)), {}), "protected by a password"},
    };
    for (const Case& c : cases) {
        std::string error = streamError(c.stream);
        EXPECT_NE(error.find("'hostile.xls' "), std::string::npos) << c.what << ": " << error;
        EXPECT_NE(error.find(c.error), std::string::npos) << c.what << ": " << error;
    }
}

size_t cellCount(const Workbook& workbook) {
    size_t count = 0;
    for (int32_t i = 0; i < workbook.sheetCount(); ++i) {
        count += workbook.sheet(i).cellCount();
    }
    return count;
}

std::string workbookStreamOf(const std::string& file) {
    std::string bytes = test::readFile(kCorpus + "/" + file);
    auto stream = compound::CompoundFile(bytes).readStream({"Workbook", "Book"});
    return stream ? *stream : std::string();
}

TEST(BiffReader, AStreamCutShortAnywhereFailsClearlyOrReadsInFull) {
    for (const std::string& stream :
         {everyKindOfCellStream(), everyKindOfEarlyCellStream(2), everyKindOfEarlyCellStream(3),
          everyKindOfEarlyCellStream(4), workbookStreamOf("sheetjs__minimal_112.xls"),
          workbookStreamOf("sheetjs__artifacts__quattro__write_57.xls")}) {
        ASSERT_FALSE(stream.empty());
        const size_t full = cellCount(*readBiffStream(stream, "full.xls"));
        for (size_t keep = 0; keep < stream.size(); ++keep) {
            std::string cut = stream.substr(0, keep);
            std::string error = streamError(cut);
            if (error.empty()) {
                EXPECT_EQ(cellCount(*readBiffStream(cut, "cut.xls")), full) << keep;
            } else {
                EXPECT_EQ(error.rfind("'hostile.xls' is damaged", 0), 0u) << keep << ": " << error;
            }
        }
    }
}

TEST(BiffReader, AWorkbookStreamWithoutItsContainerGivesTheSameCells) {
    const test::GoldenCase golden = test::goldenCase("xls", "typed_cells");
    auto stream = compound::CompoundFile(test::readFile(golden.input)).readStream({"Workbook"});
    ASSERT_TRUE(stream);
    test::TempDir files;
    test::writeFile(files.file("bare.xls"), *stream);
    auto problems = test::compareWithDump(*openWorkbook(files.file("bare.xls")), golden.dump());
    EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);
}

TEST(BiffReader, CorpusFilesGiveTheCellsWrittenDown) {
    // Texts of tens of thousands of characters, split over many CONTINUE records.
    struct LongText {
        const char* cell;
        size_t utf16Length;
        uint64_t fnv1a;  // of the UTF-8 text
    };
    auto workbook = openWorkbook(kCorpus + "/poi__StringContinueRecords.xls");
    for (const LongText& t : {LongText{"file load sequence!AO143", 24732, 0x8d7352dfcf8fdd9aull},
                              LongText{"Param!S9", 24509, 0x9134c9e11daec160ull},
                              LongText{"Param!S12", 24320, 0x863ce9ff36af74d1ull},
                              LongText{"Param!S11", 21454, 0x5fb77bc42551b84cull},
                              LongText{"file load sequence!AO220", 10298, 0x48b51623b453f688ull},
                              LongText{"Param!S4", 10069, 0xedd6f3552efffb08ull}}) {
        std::string_view name(t.cell);
        const Sheet* sheet = workbook->findSheet(std::string(name.substr(0, name.find('!'))));
        ASSERT_TRUE(sheet) << t.cell;
        const Cell* cell = sheet->findCell(*parseCellName(name.substr(name.find('!') + 1)));
        ASSERT_TRUE(cell && cell->type == CellType::Text) << t.cell;
        std::string_view text = workbook->strings().text(cell->value.text);
        uint64_t hash = 0xcbf29ce484222325ull;
        for (char c : text) {
            hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
        }
        EXPECT_EQ(utf16Length(text), t.utf16Length) << t.cell;
        EXPECT_EQ(hash, t.fnv1a) << t.cell;
    }

    // Sheets without cells, and a stream named in capitals.
    workbook = openWorkbook(kCorpus + "/calamine__misc_biff5_parsing.xls");
    ASSERT_EQ(workbook->sheetCount(), 11);
    EXPECT_EQ(workbook->sheet(10).name(), "Sheet11");
    EXPECT_EQ(cellCount(*workbook), 0u);
    workbook = openWorkbook(kCorpus + "/calamine__capitalized_wbook_stream.xls");
    ASSERT_EQ(workbook->sheetCount(), 1);
    EXPECT_EQ(workbook->sheet(0).name(), "Sheet1");

    // A fuzzed file whose workbook stream is whole: it opens with the sheets the stream lists.
    workbook = openWorkbook(kCorpus + "/calamine__OOM_alloc.xls");
    ASSERT_EQ(workbook->sheetCount(), 10);
    int hidden = 0;
    for (int32_t i = 0; i < workbook->sheetCount(); ++i) {
        hidden += workbook->sheet(i).visibility() == SheetVisibility::Hidden;
    }
    EXPECT_EQ(hidden, 9);

    // A file whose last sector is not padded out: its last cells are there.
    workbook = openWorkbook(kCorpus + "/poi__47245_test.xls");
    ASSERT_EQ(workbook->sheetCount(), 4);
    const Cell* last = workbook->sheet(3).findCell(*parseCellName("D520"));
    ASSERT_TRUE(last && last->type == CellType::Text);
    EXPECT_EQ(workbook->strings().text(last->value.text),
              "For further information, please call the Derivatives Market & Product "
              "Development at (603) 2034 7000");
    size_t values = 0;
    for (int32_t i = 0; i < workbook->sheetCount(); ++i) {
        for (const Row& row : workbook->sheet(i).rows()) {
            values += std::count_if(row.cells.begin(), row.cells.end(),
                                    [](const Cell& cell) { return cell.type != CellType::Blank; });
        }
    }
    EXPECT_EQ(values, 10330u);  // and blank cells that hold a border or a fill
}

}  // namespace
}  // namespace plyfold::engine::xls
