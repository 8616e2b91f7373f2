#include <gtest/gtest.h>

#include <random>
#include <set>

#include "engine/common/text.h"
#include "engine/ops/formula_lexer.h"
#include "engine/ops/formula_refs.h"

namespace plyfold::engine {
namespace {

struct ShiftCase {
    const char* formula;
    int32_t rows;
    int32_t columns;
    const char* expected;
};

TEST(ShiftFormula, MovesRelativePartsOnly) {
    const ShiftCase cases[] = {
        {"A1+B1", 4, 2, "C5+D5"},
        {"$A$1+A$1+$A1", 2, 3, "$A$1+D$1+$A3"},
        {"SUM(A1:B2)", 1, 1, "SUM(B2:C3)"},
        {"SUM($A$1:B2)", 1, 1, "SUM($A$1:C3)"},
        {"SUM(A:A)", 5, 1, "SUM(B:B)"},
        {"SUM($A:B)", 0, 2, "SUM($A:D)"},
        {"SUM(3:5)", 2, 7, "SUM(5:7)"},
        {"SUM($3:5)", 2, 0, "SUM($3:7)"},
        {"a1+$b$2", 1, 0, "A2+$B$2"},
        {"SUM(A1 B1)", 1, 0, "SUM(A2 B2)"},
        {"-A1%", 1, 0, "-A2%"},
        {"A1:B2 C3", 0, 1, "B1:C2 D3"},
        {"XFC1", 0, 1, "XFD1"},
        {"A1048575", 1, 0, "A1048576"},
        {"C3", -2, -2, "A1"},
    };
    for (const ShiftCase& c : cases) {
        EXPECT_EQ(shiftFormula(c.formula, c.rows, c.columns), c.expected)
            << c.formula << " by " << c.rows << "," << c.columns;
    }
}

TEST(ShiftFormula, SheetPrefixesAndOffSheetReferences) {
    const ShiftCase cases[] = {
        {"Sheet2!A1", 1, 1, "Sheet2!B2"},
        {"'My Sheet'!A1+'It''s'!B2", 1, 1, "'My Sheet'!B2+'It''s'!C3"},
        {"Sheet1:Sheet3!A1", 1, 0, "Sheet1:Sheet3!A2"},
        {"'Jan 1:Mar 1'!A1", 1, 0, "'Jan 1:Mar 1'!A2"},
        {"[1]Sheet1!A1", 0, 1, "[1]Sheet1!B1"},
        {"'[Book.xlsx]Data'!$A1", 3, 3, "'[Book.xlsx]Data'!$A4"},
        {"'2019'!A1", 1, 0, "'2019'!A2"},
        {"Überblick!A1", 1, 0, "Überblick!A2"},
        // Pushed off the sheet: the reference, or the whole range, becomes #REF!.
        {"A1", -1, 0, "#REF!"},
        {"A1+B5", -1, 0, "#REF!+B4"},
        {"Sheet2!A1", 0, -1, "Sheet2!#REF!"},
        {"SUM(A1:B2)", 0, -1, "SUM(#REF!)"},
        {"SUM(A2:B2)", -1, 0, "SUM(A1:B1)"},
        {"A1048576", 1, 0, "#REF!"},
        {"XFD1", 0, 1, "#REF!"},
        {"SUM(A1:A1048576)", 1, 0, "SUM(#REF!)"},
        {"SUM(A:XFD)", 0, 1, "SUM(#REF!)"},
        {"SUM(B:B)", -5, 0, "SUM(B:B)"},
        {"SUM(1:1)", 0, -5, "SUM(1:1)"},
        {"$A$1", -5, -5, "$A$1"},
    };
    for (const ShiftCase& c : cases) {
        EXPECT_EQ(shiftFormula(c.formula, c.rows, c.columns), c.expected)
            << c.formula << " by " << c.rows << "," << c.columns;
    }
}

TEST(ShiftFormula, LeavesEverythingButReferencesAlone) {
    const ShiftCase cases[] = {
        {"\"A1\"&A1", 1, 0, "\"A1\"&A2"},
        {"\"say \"\"B2\"\"\"&B2", 1, 0, "\"say \"\"B2\"\"\"&B3"},
        {"LOG10(A1)+ATAN2(A1,B1)", 1, 0, "LOG10(A2)+ATAN2(A2,B2)"},
        {"A1B+TRUE+FALSE+A1", 1, 0, "A1B+TRUE+FALSE+A2"},
        {"R1C1+RC+A1", 1, 0, "R1C1+RC+A2"},
        {"Table1[Col]+A1", 1, 0, "Table1[Col]+A2"},
        {"Table1[[#This Row],[B2]]*[@A1]", 1, 0, "Table1[[#This Row],[B2]]*[@A1]"},
        {"{1,2;3,4}+A1", 1, 0, "{1,2;3,4}+A2"},
        {"SUM({\"A1\",2})", 1, 0, "SUM({\"A1\",2})"},
        {"#REF!+#N/A+#DIV/0!+A1", 1, 0, "#REF!+#N/A+#DIV/0!+A2"},
        {"1.5E+3*A1+2E5", 1, 0, "1.5E+3*A2+2E5"},
        {"60A63+1E+5B2+.5C3+A1", 1, 0, "60A63+1E+5B2+.5C3+A2"},  // digits running into a name
        {"_xlfn.XLOOKUP(A1,B:B,C:C)", 0, 1, "_xlfn.XLOOKUP(B1,C:C,D:D)"},
        {"Sheet1!Total+Total+A1", 1, 0, "Sheet1!Total+Total+A2"},
        {"TaxRate*A1", 1, 0, "TaxRate*A2"},
        {"IF(A1>0,\"yes\",\"no\")", 2, 0, "IF(A3>0,\"yes\",\"no\")"},
        {"A1234567", 1, 0, "A1234567"},  // past the last row: a name, not a cell
        {"XFE1+A1", 1, 0, "XFE1+A2"},    // past the last column: a name too
    };
    for (const ShiftCase& c : cases) {
        EXPECT_EQ(shiftFormula(c.formula, c.rows, c.columns), c.expected) << c.formula;
    }
}

struct DeleteCase {
    const char* formula;
    const char* formulaSheet;
    const char* expected;
};

TEST(FormulaAfterDeletingRows, MovesShrinksAndBreaksReferences) {
    // Rows 3 and 4 (1-based) of the sheet "Data" are deleted.
    const DeleteCase cases[] = {
        {"A1+A2", "Data", "A1+A2"},
        {"A3", "Data", "#REF!"},
        {"A4", "Data", "#REF!"},
        {"A5+$A$5+A$6", "Data", "A3+$A$3+A$4"},
        {"SUM(A1:A10)", "Data", "SUM(A1:A8)"},
        {"SUM(A3:A4)", "Data", "SUM(#REF!)"},
        {"SUM(A4:B6)", "Data", "SUM(A3:B4)"},
        {"SUM(A1:A3)", "Data", "SUM(A1:A2)"},
        {"SUM(A2:A5)", "Data", "SUM(A2:A3)"},
        {"SUM(A6:A1)", "Data", "SUM(A1:A4)"},
        {"SUM(2:5)", "Data", "SUM(2:3)"},
        {"SUM(3:4)", "Data", "SUM(#REF!)"},
        {"SUM(B:B)", "Data", "SUM(B:B)"},
        {"Data!A5", "Data", "Data!A3"},
        {"data!A5+'DATA'!A6", "Data", "data!A3+'DATA'!A4"},
        {"Other!A5", "Data", "Other!A5"},
        // A formula on another sheet: only references naming the edited sheet change.
        {"A5", "Other", "A5"},
        {"Data!A5+A5", "Other", "Data!A3+A5"},
        {"Data!A3", "Other", "Data!#REF!"},
        {"Data:Other!A5", "Other", "Data:Other!A5"},
        {"[1]Data!A5", "Other", "[1]Data!A5"},
        {"\"Data!A5\"", "Other", "\"Data!A5\""},
    };
    for (const DeleteCase& c : cases) {
        EXPECT_EQ(formulaAfterDeletingRows(c.formula, 2, 2, {"Data", c.formulaSheet}), c.expected)
            << c.formula << " on " << c.formulaSheet;
    }
}

TEST(FormulaAfterDeletingColumns, MovesShrinksAndBreaksReferences) {
    // Column B of the sheet "Data" is deleted.
    const DeleteCase cases[] = {
        {"A1+B1+C1", "Data", "A1+#REF!+B1"},
        {"SUM(A1:C1)", "Data", "SUM(A1:B1)"},
        {"SUM(B1:B9)", "Data", "SUM(#REF!)"},
        {"SUM(B:B)", "Data", "SUM(#REF!)"},
        {"SUM(A:C)+SUM(C:D)", "Data", "SUM(A:B)+SUM(B:C)"},
        {"SUM(1:3)", "Data", "SUM(1:3)"},
        {"$D$4", "Data", "$C$4"},
        {"Data!C1+C1", "Summary", "Data!B1+C1"},
    };
    for (const DeleteCase& c : cases) {
        EXPECT_EQ(formulaAfterDeletingColumns(c.formula, 1, 1, {"Data", c.formulaSheet}),
                  c.expected)
            << c.formula << " on " << c.formulaSheet;
    }
}

TEST(FormulaWithMissingSheetsAsRef, BreaksOnlyReferencesToMissingSheets) {
    const std::set<std::string> present = {"data", "summary"};
    auto exists = [&](std::string_view name) { return present.count(asciiLower(name)) > 0; };
    const std::pair<const char*, const char*> cases[] = {
        {"Data!A1+Gone!B2", "Data!A1+#REF!"},
        {"SUM('Gone Sheet'!A1:B2)", "SUM(#REF!)"},
        {"SUM(Data:Gone!A1)", "SUM(#REF!)"},
        {"SUM(Data:Summary!A1)", "SUM(Data:Summary!A1)"},
        {"Gone!Total*2", "#REF!*2"},
        {"[1]Gone!A1", "[1]Gone!A1"},
        {"A1+\"Gone!A1\"", "A1+\"Gone!A1\""},
        {"DATA!A1+'summary'!B:B", "DATA!A1+'summary'!B:B"},
        {"Gone!#REF!", "#REF!"},
    };
    for (const auto& [formula, expected] : cases) {
        EXPECT_EQ(formulaWithMissingSheetsAsRef(formula, exists), expected) << formula;
    }
}

TEST(FormulaWithSheetRenamed, RenamesReferencesToTheSheet) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"Sheet1!A1+Sheet2!A1", "Sheet1 (2)", "'Sheet1 (2)'!A1+Sheet2!A1"},
        {"'sheet1'!A1:B2", "Sheet1 (2)", "'Sheet1 (2)'!A1:B2"},
        {"SUM(Sheet1:Sheet3!A1)", "Sheet1 (2)", "SUM('Sheet1 (2):Sheet3'!A1)"},
        {"SUM(Sheet0:Sheet1!A1)", "Plain", "SUM(Sheet0:Plain!A1)"},
        {"Sheet1!A1", "It's", "'It''s'!A1"},
        {"[1]Sheet1!A1", "Other", "[1]Sheet1!A1"},
        {"A1+\"Sheet1!A1\"", "Other", "A1+\"Sheet1!A1\""},
    };
    for (const auto& [formula, newName, expected] : cases) {
        EXPECT_EQ(formulaWithSheetRenamed(formula, "Sheet1", newName), expected) << formula;
    }
}

TEST(QuotedSheetName, QuotesWhatIsNotAPlainWord) {
    const std::pair<const char*, const char*> cases[] = {
        {"Data", "Data"},
        {"Q1_2024", "Q1_2024"},
        {"Überblick", "Überblick"},
        {"My Sheet", "'My Sheet'"},
        {"It's", "'It''s'"},
        {"2019", "'2019'"},
        {"A1", "'A1'"},
        {"R2C3", "'R2C3'"},
        {"TRUE", "'TRUE'"},
        {"Sheet-1", "'Sheet-1'"},
        {"Data (2)", "'Data (2)'"},
    };
    for (const auto& [name, expected] : cases) {
        EXPECT_EQ(formula::quotedSheetName(name), expected) << name;
    }
}

TEST(FormulaLexer, ReadsReferenceParts) {
    auto only = [](std::string_view text) {
        std::vector<formula::Reference> refs;
        for (const auto& token : formula::tokenize(text)) {
            if (token.kind == formula::TokenKind::Reference) {
                refs.push_back(token.ref);
            }
        }
        return refs;
    };
    auto refs = only("'It''s'!$B$7+Jan:Mar!C:D+[2]Ext!3:4");
    ASSERT_EQ(refs.size(), 3u);
    EXPECT_EQ(refs[0].firstSheet, "It's");
    EXPECT_EQ(refs[0].kind, formula::RefKind::Cell);
    EXPECT_TRUE(refs[0].first.absoluteRow && refs[0].first.absoluteColumn);
    EXPECT_EQ(refs[0].first.row, 6);
    EXPECT_EQ(refs[0].first.column, 1);
    EXPECT_EQ(refs[1].firstSheet, "Jan");
    EXPECT_EQ(refs[1].lastSheet, "Mar");
    EXPECT_EQ(refs[1].kind, formula::RefKind::Columns);
    EXPECT_TRUE(refs[2].external);
    EXPECT_EQ(refs[2].firstSheet, "Ext");
    EXPECT_EQ(refs[2].kind, formula::RefKind::Rows);
    EXPECT_EQ(refs[2].last.row, 3);
}

TEST(FormulaLexer, GivesEveryInputBackWhole) {
    // Broken and odd formulas must neither crash the lexer nor lose a character.
    std::vector<std::string> inputs = {
        "",    "\"unterminated", "'Sheet", "'Sheet'", "[1",   "SUM(",     "{1,2",
        "A1:", "Sheet1!",        "#",      "==",      "'a'!", "[1]!Name", "A1:B",
        "$",   "$$A1",           "1:",     ":1",      "A:",   "E+",       "\"\"\"",
    };
    std::mt19937 random(1234);
    const std::string alphabet = "A1$:!'\"[]{}#(),;. Zz9_\\-+";
    for (int n = 0; n < 2000; ++n) {
        std::string text;
        const int length = static_cast<int>(random() % 24);
        for (int k = 0; k < length; ++k) {
            text.push_back(alphabet[random() % alphabet.size()]);
        }
        inputs.push_back(text);
    }
    for (const std::string& input : inputs) {
        std::string joined;
        for (const auto& token : formula::tokenize(input)) {
            joined += token.text;
        }
        ASSERT_EQ(joined, input);
        // Shifting there and back gives the same references wherever nothing fell off.
        const std::string moved = shiftFormula(input, 3, 2);
        if (moved.find("#REF!") == std::string::npos && input.find("#REF!") == std::string::npos) {
            EXPECT_EQ(asciiLower(shiftFormula(moved, -3, -2)), asciiLower(input)) << input;
        }
    }
}

}  // namespace
}  // namespace plyfold::engine
