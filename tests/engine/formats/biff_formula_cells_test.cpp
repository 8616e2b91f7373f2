// Formula cells, shared and array formulas, defined names and other books of .xls workbooks.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "engine/io/xls/biff_formula_globals.h"
#include "engine/io/xls/xls_reader.h"
#include "engine/model/workbook.h"
#include "tests/engine/formats/biff_bytes.h"
#include "tests/support/golden_cells.h"

namespace plyfold::engine::xls {
namespace {

using namespace biff_bytes;

// A BIFF8 workbook stream of worksheets: globals (BOF, BOUNDSHEETs, tail, EOF), then each
// sheet's substream.
std::string workbookStream(const std::vector<std::pair<std::string, std::string>>& sheets,
                           const std::string& tail) {
    const std::string bof = u16le(0x0600) + u16le(0x0005) + std::string(12, '\0');
    auto globals = [&](const std::vector<uint32_t>& positions) {
        std::string out = record(0x0809, bof);
        for (size_t i = 0; i < sheets.size(); ++i) {
            out += record(0x0085, u32le(positions[i]) + byte(0) + byte(0) +
                                      byte(static_cast<uint8_t>(sheets[i].first.size())) + byte(0) +
                                      sheets[i].first);
        }
        return out + tail + record(0x000A, {});
    };
    std::vector<uint32_t> positions(sheets.size());
    const auto at = static_cast<uint32_t>(globals(positions).size());
    std::string substreams;
    const std::string sheetBof = u16le(0x0600) + u16le(0x0010) + std::string(12, '\0');
    for (size_t i = 0; i < sheets.size(); ++i) {
        positions[i] = at + static_cast<uint32_t>(substreams.size());
        substreams += record(0x0809, sheetBof) + sheets[i].second + record(0x000A, {});
    }
    return globals(positions) + substreams;
}

std::string numberResult(double value) {
    return f64le(value);
}
// A result that is not a number: kind 0 text, 1 boolean, 2 error, 3 empty text.
std::string specialResult(uint8_t kind, uint8_t value = 0) {
    return byte(kind) + byte(0) + byte(value) + std::string(3, '\0') + u16le(0xFFFF);
}
std::string formula(uint16_t row, uint16_t column, const std::string& result,
                    const std::string& tokens, const std::string& extra = {}) {
    return record(0x0006, u16le(row) + u16le(column) + u16le(0) + result + u16le(0) + u32le(0) +
                              u16le(static_cast<uint32_t>(tokens.size())) + tokens + extra);
}
std::string exp(uint16_t row, uint16_t column) {
    return byte(0x01) + u16le(row) + u16le(column);
}
std::string ref(uint16_t row, uint16_t column, uint8_t ptg = 0x44) {
    return byte(ptg) + u16le(row) + u16le(column | 0xC000);
}
std::string integer(uint16_t value) {
    return byte(0x1E) + u16le(value);
}
std::string unicode(const std::string& latin1) {
    return u16le(static_cast<uint32_t>(latin1.size())) + byte(0) + latin1;
}

const Cell* cellAt(const Workbook& workbook, const char* sheet, CellRef at) {
    const Sheet* found = const_cast<Workbook&>(workbook).findSheet(sheet);
    return found ? found->findCell(at) : nullptr;
}

TEST(BiffFormulaCells, FormulasKeepTheirCachedResultsOrNone) {
    const std::string cells =
        record(0x0203, u16le(0) + u16le(0) + u16le(0) + f64le(2)) +              // A1 2
        formula(0, 1, numberResult(4), ref(0, 0) + integer(2) + byte(0x05)) +    // B1
        formula(0, 2, specialResult(0), byte(0x17) + byte(1) + byte(0) + "x") +  // C1
        record(0x0207, unicode("x")) +                                           //
        formula(0, 3, specialResult(3), byte(0x17) + byte(0) + byte(0)) +        // D1
        formula(0, 4, specialResult(0), ref(0, 3)) +                             // E1, no text
        record(0x0203, u16le(0) + u16le(5) + u16le(0) + f64le(7)) +              // F1 7
        formula(1, 0, numberResult(5), byte(0x18) + u16le(0)) +                  // A2 unknown
        formula(1, 1, numberResult(6), byte(0x02) + u16le(1) + u16le(1)) +       // B2 table
        formula(1, 2, specialResult(1, 1), byte(0x1D) + byte(1)) +               // C2
        formula(1, 3, specialResult(2, 0x07), integer(1) + integer(0) + byte(0x06)) +  // D2
        formula(1, 4, specialResult(0), ref(0, 2));  // E2: its text is the sheet's last record
    auto workbook = readBiffStream(workbookStream({{"Data", cells}}, {}), "formulas.xls");
    const std::vector<std::string> problems = test::compareWithDumpText(*workbook,
                                                                        "Data\tsheet\tvisible\n"
                                                                        "Data!A1\tn\t2\n"
                                                                        "Data!B1\tf\tA1*2\n"
                                                                        "Data!B1\tn\t4\n"
                                                                        "Data!C1\tf\t\"x\"\n"
                                                                        "Data!C1\tt\tx\n"
                                                                        "Data!D1\tf\t\"\"\n"
                                                                        "Data!E1\tf\tD1\n"
                                                                        "Data!F1\tn\t7\n"
                                                                        "Data!A2\tn\t5\n"
                                                                        "Data!B2\tn\t6\n"
                                                                        "Data!C2\tf\tTRUE\n"
                                                                        "Data!C2\tb\tTRUE\n"
                                                                        "Data!D2\tf\t1/0\n"
                                                                        "Data!D2\te\t#DIV/0!\n"
                                                                        "Data!E2\tf\tC1\n");
    EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);
    EXPECT_EQ(workbook->sheet(0).uncarried().list(),
              std::vector<std::string>{"formulas kept as values (1 cell)"});
}

TEST(BiffFormulaCells, SharedAndArrayFormulasAreStoredAsTheModelHoldsThem) {
    // A3:C3 share "the cell two rows up"; A4:B4 hold one array formula; A6 names a group
    // that no record defines.
    const std::string sharedTokens = byte(0x4C) + u16le(0xFFFE) + u16le(0xC000);
    const std::string shared =
        record(0x04BC, u16le(2) + u16le(2) + byte(0) + byte(2) + byte(0) + byte(3) +
                           u16le(static_cast<uint32_t>(sharedTokens.size())) + sharedTokens);
    const std::string arrayTokens =
        byte(0x65) + u16le(0) + u16le(0) + u16le(0xC000) + u16le(0xC001) + integer(2) + byte(0x05);
    const std::string array =
        record(0x0221, u16le(3) + u16le(3) + byte(0) + byte(1) + u16le(0) + u32le(0) +
                           u16le(static_cast<uint32_t>(arrayTokens.size())) + arrayTokens);
    const std::string cells =
        record(0x0203, u16le(0) + u16le(0) + u16le(0) + f64le(1)) +
        record(0x0203, u16le(0) + u16le(1) + u16le(0) + f64le(2)) +
        record(0x0203, u16le(0) + u16le(2) + u16le(0) + f64le(3)) +
        formula(2, 0, numberResult(1), exp(2, 0)) + shared +
        formula(2, 1, numberResult(2), exp(2, 0)) + formula(2, 2, numberResult(3), exp(2, 0)) +
        formula(3, 0, numberResult(2), exp(3, 0)) + array +
        formula(3, 1, numberResult(4), exp(3, 0)) + formula(5, 0, numberResult(9), exp(4, 4)) +
        formula(3, 0, numberResult(2), exp(3, 0));  // the anchor given twice
    auto workbook = readBiffStream(workbookStream({{"Data", cells}}, {}), "shared.xls");
    const std::vector<std::string> problems = test::compareWithDumpText(*workbook,
                                                                        "Data\tsheet\tvisible\n"
                                                                        "Data!A1\tn\t1\n"
                                                                        "Data!B1\tn\t2\n"
                                                                        "Data!C1\tn\t3\n"
                                                                        "Data!A3\tf\tA1\n"
                                                                        "Data!A3\tn\t1\n"
                                                                        "Data!B3\tf\tB1\n"
                                                                        "Data!B3\tn\t2\n"
                                                                        "Data!C3\tf\tC1\n"
                                                                        "Data!C3\tn\t3\n"
                                                                        "Data!A4\tf\tA1:B1*2\n"
                                                                        "Data!A4\tn\t2\n"
                                                                        "Data!B4\tn\t4\n"
                                                                        "Data!A6\tn\t9\n");
    EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);
    const Cell* b3 = cellAt(*workbook, "Data", {2, 1});
    ASSERT_NE(b3, nullptr);
    EXPECT_TRUE(b3->hasSharedFormula());
    const Cell* a4 = cellAt(*workbook, "Data", {3, 0});
    ASSERT_NE(a4, nullptr);
    EXPECT_TRUE(a4->flags & kArrayFormula);
    const Sheet& sheet = workbook->sheet(0);
    ASSERT_EQ(sheet.arrayFormulas().size(), 1u);
    EXPECT_EQ(sheet.arrayFormulas()[0].range, (CellRange{{3, 0}, {3, 1}}));
    EXPECT_EQ(sheet.uncarried().list(),
              std::vector<std::string>{"formulas kept as values (1 cell)"});
}

// A NAME record: options, its sheet (1-based, 0 for the workbook), its name and its tokens.
std::string nameRecord(uint16_t options, uint16_t sheet, const std::string& name,
                       const std::string& tokens) {
    return record(0x0018, u16le(options) + byte(0) + byte(static_cast<uint8_t>(name.size())) +
                              u16le(static_cast<uint32_t>(tokens.size())) + u16le(0) +
                              u16le(sheet) + u32le(0) + byte(0) + name + tokens);
}
std::string area3d(uint16_t run, uint16_t firstRow, uint16_t lastRow, uint16_t firstColumn,
                   uint16_t lastColumn) {
    return byte(0x3B) + u16le(run) + u16le(firstRow) + u16le(lastRow) + u16le(firstColumn) +
           u16le(lastColumn);
}

TEST(BiffFormulaCells, NamesAndOtherBooksReachTheModel) {
    const std::string path = std::string("\x01") + "Cbooks\x03prices.xls";
    const std::string globals =
        record(0x01AE, u16le(2) + u16le(0x0401)) +  // itself
        record(0x01AE, u16le(1) + u16le(static_cast<uint32_t>(path.size())) + byte(0) + path +
                           unicode("Prices")) +                                        // a file
        record(0x0023, u16le(0) + u32le(0) + byte(4) + byte(0) + "Rate" + u16le(0)) +  //
        record(0x0059, u16le(1) + u16le(0)) +                                          // XCT
        record(0x005A, byte(2) + byte(1) + u16le(1) + byte(1) + f64le(1.5) + byte(0x02) +
                           unicode("top")) +                                            // B2:C2
        record(0x01AE, u16le(1) + u16le(0x3A01)) +                                      // add-ins
        record(0x0023, u16le(0) + u32le(0) + byte(5) + byte(0) + "EDATE" + u16le(0)) +  //
        record(0x0017, u16le(4) + u16le(0) + u16le(0) + u16le(0) + u16le(0) + u16le(1) + u16le(1) +
                           u16le(1) + u16le(0) + u16le(0) + u16le(2) + u16le(0xFFFE) +
                           u16le(0xFFFE)) +
        nameRecord(0, 0, "Total", area3d(0, 0, 2, 0, 0)) +
        nameRecord(0, 2, "Local", byte(0x3A) + u16le(1) + u16le(0) + u16le(1)) +
        nameRecord(0x0021, 1, "\x06", area3d(0, 0, 1, 0, 1)) +         // hidden print area of Data
        nameRecord(0, 1, "_xlnm.Print_Area", area3d(0, 0, 1, 0, 1)) +  // the same spelled out
        nameRecord(0x000E, 0, "Macro", integer(1)) +                   // a macro's command
        nameRecord(0, 0, "Empty", {}) +                                // stands for nothing
        nameRecord(0, 0, "Broken", byte(0x18) + u16le(0));
    const std::string cells =
        formula(0, 1, numberResult(3),
                byte(0x3A) + u16le(2) + u16le(1) + u16le(0xC001) + integer(2) + byte(0x05)) +
        formula(0, 2, numberResult(1),
                byte(0x39) + u16le(3) + u32le(1) + integer(1) + integer(2) + byte(0x42) + byte(3) +
                    u16le(0xFF)) +
        formula(0, 3, numberResult(1), byte(0x39) + u16le(2) + u32le(1)) +
        formula(0, 4, numberResult(6), byte(0x23) + u32le(1) + byte(0x42) + byte(1) + u16le(4));
    auto workbook =
        readBiffStream(workbookStream({{"Data", cells}, {"Other", {}}}, globals), "names.xls");
    const std::vector<std::string> problems =
        test::compareWithDumpText(*workbook,
                                  "Data\tsheet\tvisible\nOther\tsheet\tvisible\n"
                                  "Data!B1\tf\t[1]Prices!B2*2\nData!B1\tn\t3\n"
                                  "Data!C1\tf\tEDATE(1,2)\nData!C1\tn\t1\n"
                                  "Data!D1\tf\t[1]!Rate\nData!D1\tn\t1\n"
                                  "Data!E1\tf\tSUM(Total)\nData!E1\tn\t6\n");
    EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);

    ASSERT_EQ(workbook->externalBooks().size(), 1u);
    const ExternalBook& book = workbook->externalBooks()[0];
    EXPECT_EQ(book.path, "C:/books/prices.xls");
    ASSERT_EQ(book.sheets.size(), 1u);
    EXPECT_EQ(book.sheets[0].name, "Prices");
    ASSERT_EQ(book.sheets[0].cells.size(), 2u);
    EXPECT_EQ(book.sheets[0].cells.at({1, 1}).number, 1.5);
    EXPECT_EQ(book.sheets[0].cells.at({1, 2}).text, "top");
    ASSERT_EQ(book.names.size(), 1u);
    EXPECT_EQ(book.names[0].name, "Rate");

    ASSERT_EQ(workbook->definedNames().size(), 1u);
    EXPECT_EQ(workbook->definedNames()[0].name, "Total");
    EXPECT_EQ(workbook->definedNames()[0].formula, "Data!$A$1:$A$3");
    const auto& dataNames = workbook->sheet(0).definedNames();
    ASSERT_EQ(dataNames.size(), 1u);
    EXPECT_EQ(dataNames[0].name, "_xlnm.Print_Area");
    EXPECT_EQ(dataNames[0].formula, "Data!$A$1:$B$2");
    EXPECT_TRUE(dataNames[0].hidden);
    const auto& otherNames = workbook->sheet(1).definedNames();
    ASSERT_EQ(otherNames.size(), 1u);
    EXPECT_EQ(otherNames[0].name, "Local");
    EXPECT_EQ(otherNames[0].formula, "Other!$B$1");
    EXPECT_EQ(workbook->uncarried().list(),
              std::vector<std::string>{"defined name Broken (its formula cannot be read)"});
}

TEST(BiffFormulaCells, PathsOfOtherBooksAreDecoded) {
    const struct {
        std::string encoded;
        const char* path;
    } cases[] = {
        {"\x01"
         "Cdata\x03"
         "a.xls",
         "C:/data/a.xls"},
        {"\x01@server\x03share\x03"
         "a.xls",
         "//server/share/a.xls"},
        {"\x01\x02top\x03"
         "a.xls",
         "/top/a.xls"},
        {"sub\x03"
         "a.xls",
         "/work/books/sub/a.xls"},
        {"\x01\x04\x04"
         "a.xls",
         "/a.xls"},
        {"\x01\x04"
         "a.xls",
         "/work/a.xls"},
        {"a.xls", "/work/books/a.xls"},
    };
    for (const auto& c : cases) {
        const std::string globals =
            record(0x01AE, u16le(1) + u16le(static_cast<uint32_t>(c.encoded.size())) + byte(0) +
                               c.encoded + unicode("S"));
        auto workbook =
            readBiffStream(workbookStream({{"Data", {}}}, globals), "/work/books/links.xls");
        ASSERT_EQ(workbook->externalBooks().size(), 1u) << c.path;
        EXPECT_EQ(workbook->externalBooks()[0].path, c.path);
    }
}

TEST(BiffFormulaCells, ARecordCutShortLeavesTheOthersRead) {
    // The first book's record ends inside its path; the second book keeps its place.
    const std::string globals =
        record(0x01AE, u16le(1) + u16le(40) + byte(0) + "short") +
        record(0x01AE, u16le(1) + u16le(5) + byte(0) + "b.xls" + unicode("S")) +
        record(0x0017, u16le(1) + u16le(1) + u16le(0) + u16le(0)) +
        nameRecord(0, 0, "Far", byte(0x3A) + u16le(0) + u16le(0) + u16le(0));
    auto workbook = readBiffStream(workbookStream({{"Data", {}}}, globals), "/w/cut.xls");
    ASSERT_EQ(workbook->definedNames().size(), 1u);
    EXPECT_EQ(workbook->definedNames()[0].formula, "[1]S!$A$1");
    ASSERT_EQ(workbook->externalBooks().size(), 1u);
    EXPECT_EQ(workbook->externalBooks()[0].path, "/w/b.xls");
}

TEST(BiffFormulaCells, BuiltInNamesAreSpelledAsNewerFilesSpellThem) {
    const struct {
        std::string stored;
        const char* name;
    } cases[] = {
        {"\x06", "_xlnm.Print_Area"},
        {"\x07", "_xlnm.Print_Titles"},
        {"\x0D", "_xlnm._FilterDatabase"},
        {"\x0C", "_xlnm.Sheet_Title"},
        {"\x01", "Auto_Open"},
        {"\x04", "Database"},
        {"\x01"
         "Book",
         "Auto_OpenBook"},
        {"\x0E", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(builtInName(c.stored), c.name) << c.name;
    }
}

TEST(BiffFormulaCells, ANameKeepsItsDescription) {
    // A name whose formula holds an array (its constants follow the tokens), then a menu
    // text and the description.
    const std::string tokens = byte(0x60) + std::string(7, '\0');
    const std::string constants = byte(0) + u16le(0) + byte(0x01) + f64le(4);
    const std::string data = u16le(0) + byte(0) + byte(4) +
                             u16le(static_cast<uint32_t>(tokens.size())) + u16le(0) + u16le(0) +
                             byte(3) + byte(8) + byte(0) + byte(0) + byte(0) + "Four" + tokens +
                             constants + byte(0) + "tip" + byte(0) + "The four";
    auto workbook =
        readBiffStream(workbookStream({{"Data", {}}}, record(0x0018, data)), "described.xls");
    ASSERT_EQ(workbook->definedNames().size(), 1u);
    EXPECT_EQ(workbook->definedNames()[0].formula, "{4}");
    EXPECT_EQ(workbook->definedNames()[0].comment, "The four");
}

// The case LibreOffice wrote (tests/data/xls/formulas): its names, each once.
TEST(BiffFormulaCells, NamesOfAWorkbookLibreOfficeWrote) {
    auto workbook = readXls(test::goldenCase("xls", "formulas").input);
    ASSERT_EQ(workbook->definedNames().size(), 1u);
    EXPECT_EQ(workbook->definedNames()[0].name, "Total");
    EXPECT_EQ(workbook->definedNames()[0].formula, "SUM(Data!$A$1:$A$5)");
    const Sheet* calc = workbook->findSheet("Calc");
    ASSERT_NE(calc, nullptr);
    std::vector<std::pair<std::string, std::string>> names;
    for (const DefinedName& name : calc->definedNames()) {
        names.emplace_back(name.name, name.formula);
    }
    const std::vector<std::pair<std::string, std::string>> expected{
        {"Rate", "Calc!$A$11"}, {"_xlnm.Print_Area", "Calc!$A$1:$C$25"}};
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, expected);
    EXPECT_TRUE(workbook->uncarried().empty());
}

}  // namespace
}  // namespace plyfold::engine::xls
