// The formula tokens of .xls workbooks read back as formula text.

#include <gtest/gtest.h>

#include <cstring>

#include "engine/io/xls/biff_formula.h"
#include "tests/engine/formats/biff_bytes.h"

namespace plyfold::engine::xls {
namespace {

using namespace biff_bytes;

// Tokens of BIFF8.
std::string integer(uint16_t value) {
    return byte(0x1E) + u16le(value);
}
std::string number(double value) {
    return byte(0x1F) + f64le(value);
}
std::string text(const std::string& latin1) {
    return byte(0x17) + byte(static_cast<uint8_t>(latin1.size())) + byte(0) + latin1;
}
// A cell reference; the flags of relative row and column go with the column.
std::string ref(uint16_t row, uint16_t column, bool relativeRow = true, bool relativeColumn = true,
                uint8_t ptg = 0x44) {
    return byte(ptg) + u16le(row) +
           u16le(column | (relativeRow ? 0x8000u : 0u) | (relativeColumn ? 0x4000u : 0u));
}
std::string area(uint16_t firstRow, uint16_t lastRow, uint16_t firstColumn, uint16_t lastColumn,
                 uint8_t ptg = 0x25) {
    return byte(ptg) + u16le(firstRow) + u16le(lastRow) + u16le(firstColumn | 0xC000) +
           u16le(lastColumn | 0xC000);
}
std::string func(uint16_t index) {
    return byte(0x41) + u16le(index);
}
std::string funcVar(uint8_t count, uint16_t index) {
    return byte(0x42) + byte(count) + u16le(index);
}
std::string op(uint8_t ptg) {
    return byte(ptg);
}
std::string ref3d(uint16_t run, uint16_t row, uint16_t column) {
    return byte(0x3A) + u16le(run) + u16le(row) + u16le(column | 0xC000);
}
std::string attr(uint8_t kind, uint16_t data) {
    return byte(0x19) + byte(kind) + u16le(data);
}

BiffFormulaLinks sampleLinks() {
    BiffFormulaLinks links;
    links.sheetNames = {"Data", "My Sheet", "North", "South"};
    BiffFormulaLinks::Book self;
    self.kind = BiffFormulaLinks::Book::Kind::Self;
    BiffFormulaLinks::Book addIn;
    addIn.kind = BiffFormulaLinks::Book::Kind::AddIn;
    addIn.names = {"EDATE"};
    BiffFormulaLinks::Book other;
    other.kind = BiffFormulaLinks::Book::Kind::External;
    other.externalIndex = 1;
    other.sheets = {"Prices", "Old rates"};
    other.names = {"Rate"};
    links.books = {self, addIn, other};
    links.sheetRuns = {{0, 0, 0}, {0, 1, 1}, {0, 2, 3},           {1, 0xFFFE, 0xFFFE},
                       {2, 0, 0}, {2, 1, 1}, {0, 0xFFFF, 0xFFFF}, {0, 1, 3}};
    links.names = {"Total", "_xlnm.Print_Area", "_xlfn.IFERROR", "_xlfn.STDEV.S", "Local"};
    links.nameSheets = {-1, 0, -1, -1, 1};
    return links;
}

struct Case {
    const char* what;
    std::string tokens;
    std::string expected;
    std::string extra = {};
};

void expectCases(const std::vector<Case>& cases, const BiffFormulaLinks& links,
                 CellRef at = {4, 4}) {
    for (const Case& c : cases) {
        std::optional<std::string> got = decompileBiffFormula(c.tokens, c.extra, at, links);
        ASSERT_TRUE(got.has_value()) << c.what;
        EXPECT_EQ(*got, c.expected) << c.what;
    }
}

TEST(BiffFormula, OperatorsKeepTheirOrderWithOrWithoutParenthesisTokens) {
    expectCases(
        {
            {"sum of a product", integer(1) + integer(2) + integer(3) + op(0x05) + op(0x03),
             "1+2*3"},
            {"product of a sum, no parenthesis token",
             integer(1) + integer(2) + op(0x03) + integer(3) + op(0x05), "(1+2)*3"},
            {"parenthesis token kept", integer(1) + integer(2) + op(0x03) + op(0x15), "(1+2)"},
            {"right operand of equal precedence",
             integer(1) + integer(2) + integer(3) + op(0x04) + op(0x04), "1-(2-3)"},
            {"left operand of equal precedence",
             integer(1) + integer(2) + op(0x04) + integer(3) + op(0x04), "1-2-3"},
            {"power is read from the left",
             integer(2) + integer(3) + integer(2) + op(0x07) + op(0x07), "2^(3^2)"},
            {"negation of a sum", integer(1) + integer(2) + op(0x03) + op(0x13), "-(1+2)"},
            {"unary plus and percent", ref(0, 0) + op(0x12) + op(0x14), "+A1%"},
            {"comparison and concatenation",
             text("a") + text("b") + op(0x08) + text("ab") + op(0x0B), "\"a\"&\"b\"=\"ab\""},
            {"every comparison", ref(0, 0) + ref(0, 1) + op(0x09) + ref(0, 2) + op(0x0E),
             "A1<B1<>C1"},
            {"range, union and intersection",
             ref(0, 0) + ref(1, 1) + op(0x11) + ref(2, 2) + op(0x10) + ref(3, 3) + op(0x0F),
             "(A1:B2,C3) D4"},
            {"a union as an argument is parenthesised",
             ref(0, 0) + ref(1, 1) + op(0x10) + funcVar(1, 4), "SUM((A1,B2))"},
            {"a negative number", number(-2.5), "-2.5"},
        },
        sampleLinks());
}

TEST(BiffFormula, ReferencesAreRelativeAbsoluteOrReadFromTheCell) {
    // Read at E5 (row 4, column 4): the N tokens of shared formulas are distances from it.
    expectCases(
        {
            {"relative", ref(6, 1), "B7"},
            {"absolute", ref(6, 1, false, false), "$B$7"},
            {"absolute column", ref(6, 1, true, false), "$B7"},
            {"absolute row", ref(6, 1, false, true), "B$7"},
            {"last row and column", ref(65535, 255, false, false), "$IV$65536"},
            {"area", area(0, 9, 0, 2), "A1:C10"},
            {"every row is whole columns", area(0, 65535, 25, 26), "Z:AA"},
            {"every column is whole rows", area(2, 4, 0, 255), "3:5"},
            {"absolute whole columns", byte(0x25) + u16le(0) + u16le(65535) + u16le(1) + u16le(2),
             "$B:$C"},
            {"distance up and left", ref(0xFFFF, 0xFF, true, true, 0x4C), "D4"},
            {"distance down", ref(2, 0, true, true, 0x4C), "E7"},
            {"absolute parts of a distance token are places", ref(2, 1, false, true, 0x4C), "F$3"},
            {"a distance past the first column wraps round", ref(0, 0xFB, true, true, 0x4C), "IV5"},
            {"area of distances",
             byte(0x2D) + u16le(0xFFFF) + u16le(1) + u16le(0xC000) + u16le(0xC001), "E4:F6"},
            {"cell made invalid", byte(0x2A) + u16le(0) + u16le(0), "#REF!"},
            {"area made invalid", byte(0x2B) + u16le(0) + u16le(0) + u16le(0) + u16le(0), "#REF!"},
        },
        sampleLinks());
}

TEST(BiffFormula, ReferencesToOtherSheetsAndBooksNameThem) {
    expectCases(
        {
            {"plain sheet name", ref3d(0, 0, 0), "Data!A1"},
            {"quoted sheet name", ref3d(1, 1, 1), "'My Sheet'!B2"},
            {"run of sheets", ref3d(2, 0, 0), "North:South!A1"},
            {"run whose first sheet needs quotes", ref3d(7, 0, 0), "'My Sheet:South'!A1"},
            {"another book", ref3d(4, 2, 2), "[2]Prices!C3"},
            {"another book's quoted sheet", ref3d(5, 0, 0), "'[2]Old rates'!A1"},
            {"area on another sheet",
             byte(0x3B) + u16le(1) + u16le(0) + u16le(1) + u16le(0xC000) + u16le(0xC000),
             "'My Sheet'!A1:A2"},
            {"a deleted sheet", ref3d(6, 0, 0), "#REF!"},
            {"a cell made invalid on another sheet", byte(0x3C) + u16le(0) + u16le(0) + u16le(0),
             "#REF!"},
        },
        sampleLinks());
}

TEST(BiffFormula, FunctionsNamesAndConstants) {
    const std::string arrayTokens = byte(0x60) + std::string(7, '\0');
    const std::string arrayValues = byte(1) + u16le(1) +  // 2 x 2
                                    byte(0x01) + f64le(1) + byte(0x02) + u16le(2) + byte(0) + "ab" +
                                    byte(0x04) + byte(1) + std::string(7, '\0') +  //
                                    byte(0x10) + byte(0x2A) + std::string(7, '\0');
    expectCases(
        {
            {"fixed arguments", number(2.5) + integer(0) + func(27), "ROUND(2.5,0)"},
            {"no arguments", func(19), "PI()"},
            {"counted arguments", ref(0, 0) + ref(0, 1) + integer(3) + funcVar(3, 4),
             "SUM(A1,B1,3)"},
            {"missing argument", ref(0, 0) + op(0x16) + integer(1) + funcVar(3, 1), "IF(A1,,1)"},
            {"IF with its jumps",
             ref(0, 0) + attr(0x02, 7) + integer(1) + attr(0x08, 3) + integer(2) + attr(0x08, 3) +
                 funcVar(3, 1),
             "IF(A1,1,2)"},
            {"CHOOSE with its table of jumps",
             integer(2) + attr(0x04, 1) + u16le(4) + u16le(8) + text("x") + text("y") +
                 funcVar(3, 100),
             "CHOOSE(2,\"x\",\"y\")"},
            {"SUM of one area as an attribute", area(0, 3, 0, 0) + attr(0x10, 0), "SUM(A1:A4)"},
            {"volatile mark and spaces change nothing",
             attr(0x01, 0) + attr(0x40, 0x0100) + func(74), "NOW()"},
            {"add-in function through another book's name",
             byte(0x39) + u16le(3) + u32le(1) + ref(0, 0) + integer(1) + funcVar(3, 0xFF),
             "EDATE(A1,1)"},
            {"function named by a name of the workbook",
             byte(0x23) + u32le(1) + ref(0, 0) + funcVar(2, 0xFF), "Total(A1)"},
            {"defined name", byte(0x23) + u32le(1) + integer(2) + op(0x05), "Total*2"},
            {"built-in name of a sheet", byte(0x23) + u32le(2), "Data!_xlnm.Print_Area"},
            {"name of another book", byte(0x39) + u16le(4) + u32le(1), "[2]!Rate"},
            {"newer function written without its prefix",
             byte(0x23) + u32le(3) + integer(1) + integer(2) + funcVar(3, 0xFF), "IFERROR(1,2)"},
            {"newer function that keeps its prefix",
             byte(0x23) + u32le(4) + ref(0, 0) + funcVar(2, 0xFF), "_xlfn.STDEV.S(A1)"},
            {"text with quotes", text("say \"hi\""), "\"say \"\"hi\"\"\""},
            {"wide text", byte(0x17) + byte(2) + byte(1) + u16le(0x00C4) + u16le(0x20AC), "\"Ä€\""},
            {"logical constants", byte(0x1D) + byte(1) + byte(0x1D) + byte(0) + funcVar(2, 36),
             "AND(TRUE,FALSE)"},
            {"error constant", byte(0x1C) + byte(0x07), "#DIV/0!"},
            {"array constant", arrayTokens + func(2), "ISNA({1,\"ab\";TRUE,#N/A})", arrayValues},
        },
        sampleLinks());
}

TEST(BiffFormula, ANameOfAnotherSheetIsWrittenWithItsSheet) {
    const BiffFormulaLinks links = sampleLinks();
    const std::string local = byte(0x23) + u32le(5);
    const std::string viaBook = byte(0x39) + u16le(0) + u32le(5);  // through the book itself
    const struct {
        std::string tokens;
        int32_t sheet;
        const char* expected;
    } cases[] = {
        {local, 1, "Local"},
        {local, 0, "'My Sheet'!Local"},
        {local, -1, "'My Sheet'!Local"},
        {viaBook, 1, "Local"},
        {viaBook, 2, "'My Sheet'!Local"},
        {byte(0x23) + u32le(1), 2, "Total"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(decompileBiffFormula(c.tokens, {}, CellRef{}, links, c.sheet), c.expected)
            << c.sheet;
    }
}

TEST(BiffFormula, ASheetOutsideTheTableIsTheSheetOfANameScopedToIt) {
    const BiffFormulaLinks links = sampleLinks();
    const std::string rows =
        byte(0x3B) + u16le(0xFFFF) + u16le(0) + u16le(2) + u16le(0) + u16le(255);
    EXPECT_EQ(decompileBiffFormula(rows, {}, CellRef{}, links, 2), "North!$1:$3");
    EXPECT_EQ(decompileBiffFormula(rows, {}, CellRef{}, links, -1), std::nullopt);
    EXPECT_EQ(decompileBiffFormula(byte(0x3A) + u16le(0xFFFE) + u16le(0) + u16le(0), {}, CellRef{},
                                   links, 2),
              std::nullopt);
}

TEST(BiffFormula, NumbersAreWrittenAsTheyAreTyped) {
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {0.0, "0"},
        {1000000.0, "1000000"},
        {0.0022374, "0.0022374"},
        {0.1, "0.1"},
        {123.456, "123.456"},
        {1e15, "1E+15"},
        {1.5e100, "1.5E+100"},
        {1e-7, "1E-07"},
        {0.00001, "0.00001"},
        {-42.0, "-42"},
        {99999999999999.0, "99999999999999"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formulaNumberText(c.value), c.text) << c.value;
    }
}

TEST(BiffFormula, TokensThatDoNotFormOneFormulaAreRefused) {
    const BiffFormulaLinks links = sampleLinks();
    const Case cases[] = {
        {"unknown token", byte(0x18) + u16le(0), ""},
        {"operator without operands", integer(1) + op(0x03), ""},
        {"two values left over", integer(1) + integer(2), ""},
        {"token cut short", byte(0x1F) + std::string(4, '\0'), ""},
        {"text cut short", byte(0x17) + byte(5) + byte(0) + "ab", ""},
        {"unknown function", integer(1) + func(0x7000), ""},
        {"fixed function given as counted of unknown count", funcVar(0, 0x7000), ""},
        {"macro command", funcVar(0, 0x8001), ""},
        {"too few arguments on the stack", integer(1) + func(27), ""},
        {"name past the table", byte(0x23) + u32le(9), ""},
        {"name number zero", byte(0x23) + u32le(0), ""},
        {"sheet run past the table", ref3d(40, 0, 0), ""},
        {"add-in function without its name", integer(1) + funcVar(1, 0xFF), ""},
        {"array constant missing", byte(0x60) + std::string(7, '\0'), ""},
        {"control token inside a formula", integer(1) + byte(0x01) + u16le(0) + u16le(0), ""},
        {"nothing", "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(decompileBiffFormula(c.tokens, c.extra, CellRef{}, links), std::nullopt)
            << c.what;
    }
    BiffFormulaLinks unread = links;
    unread.readable = false;
    EXPECT_FALSE(decompileBiffFormula(integer(1), {}, CellRef{}, unread).has_value())
        << "formulas of BIFF2 to BIFF4 are not read";
}

TEST(BiffFormula, Biff5KeepsRelativeFlagsWithTheRowAndTextsInItsCodePage) {
    BiffFormulaLinks links = sampleLinks();
    links.biff8 = false;
    links.codePage = "CP1251";
    auto ref5 = [](uint16_t row, uint8_t column, uint16_t flags, uint8_t ptg = 0x44) {
        return byte(ptg) + u16le(row | flags) + byte(column);
    };
    expectCases(
        {
            {"relative", ref5(6, 1, 0xC000), "B7"},
            {"absolute", ref5(6, 1, 0), "$B$7"},
            {"absolute column", ref5(6, 1, 0x8000), "$B7"},
            {"distance up", ref5(0x3FFF, 0, 0xC000, 0x4C), "E4"},
            {"area", byte(0x25) + u16le(0xC000) + u16le(0xC003) + byte(0) + byte(1), "A1:B4"},
            {"text in the code page", byte(0x17) + byte(2) + "\xE0\xE1", "\"аб\""},
            {"name", byte(0x23) + u16le(1) + std::string(12, '\0'), "Total"},
            {"own sheets by index",
             byte(0x3A) + u16le(0xFFFF) + std::string(8, '\0') + u16le(2) + u16le(3) +
                 u16le(0xC000) + byte(0),
             "North:South!A1"},
            {"whole columns of its shorter sheets",
             byte(0x25) + u16le(0xC000) + u16le(0xFFFF) + byte(0) + byte(0), "A:A"},
            {"a sheet that is gone",
             byte(0x3A) + u16le(0xFFFF) + std::string(8, '\0') + u16le(0xFFFF) + u16le(0xFFFF) +
                 u16le(0) + byte(0),
             "#REF!"},
        },
        links);
    EXPECT_FALSE(decompileBiffFormula(
        byte(0x3A) + u16le(1) + std::string(8, '\0') + u16le(0) + u16le(0) + u16le(0) + byte(0), {},
        CellRef{}, links))
        << "a BIFF5 reference into another book is not read";
}

}  // namespace
}  // namespace plyfold::engine::xls
