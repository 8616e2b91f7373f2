#include <gtest/gtest.h>

#include "engine/model/workbook.h"
#include "engine/ops/formula_lexer.h"
#include "engine/ops/formula_refs.h"
#include "engine/ops/shared_formula.h"
#include "engine/ops/sheet_ops.h"
#include "engine/ops/workbook_links.h"

namespace plyfold::engine {
namespace {

CellRef at(std::string_view name) {
    return *parseCellName(name);
}

void putNumber(Sheet& sheet, std::string_view ref, double value) {
    Cell& cell = sheet.cellAt(at(ref));
    cell.type = CellType::Number;
    cell.value.number = value;
}

void putText(Sheet& sheet, std::string_view ref, std::string_view text) {
    Cell& cell = sheet.cellAt(at(ref));
    cell.type = CellType::Text;
    cell.value.text = sheet.workbook().strings().intern(text);
}

void putFormula(Sheet& sheet, std::string_view ref, std::string_view formula) {
    Cell& cell = sheet.cellAt(at(ref));
    cell.type = CellType::Number;
    cell.formula = sheet.workbook().formulas().intern(formula) + 1;
}

std::string formulaAt(const Sheet& sheet, std::string_view ref) {
    const Cell* cell = sheet.findCell(at(ref));
    if (!cell || !cell->hasFormula()) {
        return "<none>";
    }
    return cellFormula(sheet.workbook(), *cell, at(ref));
}

// The value an external book keeps for a cell, as text: "<none>" when it keeps none.
std::string cached(const Workbook& book, int32_t index, std::string_view sheet,
                   std::string_view ref) {
    const ExternalBook& external = book.externalBooks().at(static_cast<size_t>(index));
    const int32_t s = external.sheetIndex(sheet);
    if (s < 0) {
        return "<no sheet>";
    }
    const CellRef where = at(ref);
    const auto& cells = external.sheets[static_cast<size_t>(s)].cells;
    auto it = cells.find({where.row, where.column});
    if (it == cells.end()) {
        return "<none>";
    }
    if (it->second.type == CellType::Text) {
        return it->second.text;
    }
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", it->second.number);
    return buffer;
}

const DefinedName* nameIn(const std::vector<DefinedName>& names, std::string_view name) {
    return findDefinedName(names, name);
}

// A source workbook of a monthly report: Sales (regions and amounts) and Summary, names Rate
// (a cell of Summary) and TaxRate (a constant), read from the file at path.
struct MonthBook {
    explicit MonthBook(const std::string& path, double rate = 0.1, double north = 100) {
        book.setPath(path);
        Sheet& summary = book.addSheet("Summary");
        Sheet& sales = book.addSheet("Sales");
        book.addSheet("My Data");
        putText(sales, "A1", "Region");
        putText(sales, "A2", "North");
        putNumber(sales, "B2", north);
        putText(sales, "A3", "South");
        putNumber(sales, "B3", 50);
        putNumber(sales, "C9", 9);
        putText(summary, "A2", "North");
        putNumber(summary, "F1", rate);
        book.definedNames().push_back({"Rate", "Summary!$F$1", "", false});
        book.definedNames().push_back({"TaxRate", std::to_string(rate * 2), "", false});
        summary.definedNames().push_back({"_xlnm.Print_Area", "Summary!$A$1:$F$3", "", true});
    }
    Workbook book;
    Sheet& summary() { return *book.findSheet("Summary"); }
    Sheet& sales() { return *book.findSheet("Sales"); }
};

TEST(FormulaLexer, ReadsNamesAndBookNumbers) {
    struct Case {
        const char* formula;
        std::vector<std::string> names;  // the bare names found, in order
        int32_t bookIndex;               // of the first external reference, or -1
    };
    const Case cases[] = {
        {"Rate*A2", {"Rate"}, -1},
        {"SUM(Sales[Qty])+TRUE+FALSE", {}, -1},
        {"_Total+\\back+n.x", {"_Total", "\\back", "n.x"}, -1},
        {"[12]Sales!B:B+'[3]My Data'!A1", {}, 12},
        {"'[2]Jan:Mar'!A1", {}, 2},
        {"[4]Jan:Mar!A1+Jan:Mar!A1", {}, 4},
        {"'C:\\x\\[Book.xlsx]Data'!A1", {}, -1},
        {"\"Rate\"&LEN(x)", {"x"}, -1},
        {"$A1+A$1+XFD1", {}, -1},
    };
    for (const Case& c : cases) {
        std::vector<std::string> names;
        int32_t bookIndex = -1;
        bool seenExternal = false;
        for (const auto& token : formula::tokenize(c.formula)) {
            if (token.kind != formula::TokenKind::Reference) {
                continue;
            }
            if (token.ref.kind == formula::RefKind::Name && !token.ref.hasSheet()) {
                names.emplace_back(token.ref.body);
            }
            if (token.ref.external && !seenExternal) {
                seenExternal = true;
                bookIndex = token.ref.externalIndex;
            }
        }
        EXPECT_EQ(names, c.names) << c.formula;
        EXPECT_EQ(bookIndex, c.bookIndex) << c.formula;
    }
    for (const char* text : {"'[2]Jan:Mar'!A1", "[2]Jan:Mar!A1"}) {
        auto refs = formula::tokenize(text);
        ASSERT_EQ(refs.size(), 1u) << text;
        EXPECT_TRUE(refs[0].ref.external) << text;
        EXPECT_EQ(refs[0].ref.firstSheet, "Jan") << text;
        EXPECT_EQ(refs[0].ref.lastSheet, "Mar") << text;
    }
}

TEST(ShiftLocalReferences, LeavesOtherWorkbooksAlone) {
    const std::pair<const char*, const char*> cases[] = {
        {"A1+[1]Sales!A1", "B3+[1]Sales!A1"},
        {"SUM('[2]My Data'!A1:B2)*$C1", "SUM('[2]My Data'!A1:B2)*$C3"},
        {"Rate*A1", "Rate*B3"},
        {"Other!A1", "Other!B3"},
    };
    for (const auto& [formula, expected] : cases) {
        EXPECT_EQ(shiftLocalReferences(formula, 2, 1), expected) << formula;
    }
}

TEST(PasteIntoAnotherWorkbook, OtherSheetsBecomeExternalWithCachedValues) {
    MonthBook jan("/data/jan.xlsx");
    struct Case {
        const char* source;  // on Summary!B2, pasted to D12 of the result
        const char* expected;
    };
    const Case cases[] = {
        {"SUMIF(Sales!A:A,A2,Sales!B:B)", "SUMIF([1]Sales!A:A,C12,[1]Sales!B:B)"},
        {"Sales!B2+B3", "[1]Sales!B2+D13"},
        {"'My Data'!A1", "'[1]My Data'!A1"},
        {"Summary!$F$1*2", "[1]Summary!$F$1*2"},
        {"Sales:Summary!A1", "[1]Sales:Summary!A1"},
        {"Gone!A1+1", "#REF!+1"},
        {"[0]Sales!B2+'[0]My Data'!A1", "[1]Sales!B2+'[1]My Data'!A1"},
        {"\"Sales!B2\"&A1", "\"Sales!B2\"&C11"},
    };
    for (const Case& c : cases) {
        putFormula(jan.summary(), "B2", c.source);
        Workbook result;
        Sheet& target = result.addSheet("Sheet1");
        pasteBlock(jan.summary(), CellRange{at("A1"), at("C3")}, target, at("C11"));
        EXPECT_EQ(formulaAt(target, "D12"), c.expected) << c.source;
        const bool external = std::string_view(c.expected).find("[1]") != std::string_view::npos;
        EXPECT_EQ(result.externalBooks().size(), external ? 1u : 0u) << c.source;
    }
    putFormula(jan.summary(), "B2", "SUMIF(Sales!A:A,A2,Sales!B:B)+Sales!C9");
    Workbook result;
    Sheet& target = result.addSheet("Sheet1");
    pasteBlock(jan.summary(), CellRange{at("A1"), at("C3")}, target, at("A1"));
    ASSERT_EQ(result.externalBooks().size(), 1u);
    EXPECT_EQ(result.externalBooks()[0].path, "/data/jan.xlsx");
    // Every cell the formula reads, and only those.
    EXPECT_EQ(cached(result, 0, "Sales", "A2"), "North");
    EXPECT_EQ(cached(result, 0, "Sales", "B2"), "100");
    EXPECT_EQ(cached(result, 0, "Sales", "B3"), "50");
    EXPECT_EQ(cached(result, 0, "Sales", "C9"), "9");
    EXPECT_EQ(cached(result, 0, "Sales", "C8"), "<none>");
    EXPECT_EQ(cached(result, 0, "My Data", "A1"), "<no sheet>");
}

TEST(PasteIntoAnotherWorkbook, ReferencesMoveWithTheBlockOrReadTheSource) {
    MonthBook jan("/data/jan.xlsx");
    putNumber(jan.summary(), "A1", 7);
    struct Case {
        const char* source;  // on Summary!C3; B2:D5 is pasted to F11
        const char* expected;
    };
    const Case cases[] = {
        {"B3+$B$3+B$2+$D5", "F12+$F$12+F$11+$H14"},
        {"SUM(B2:D5)", "SUM(F11:H14)"},
        {"SUM($B$2:$D$5)", "SUM($F$11:$H$14)"},
        // What lies beyond the block in the result is not what lay beyond it in the source.
        {"A1+SUM(B2:D6)", "[1]Summary!A1+SUM([1]Summary!B2:D6)"},
        {"SUM(B:B)+SUM(3:3)", "SUM([1]Summary!B:B)+SUM([1]Summary!3:3)"},
        {"Summary!B3", "[1]Summary!B3"},
    };
    for (const Case& c : cases) {
        putFormula(jan.summary(), "C3", c.source);
        Workbook result;
        Sheet& target = result.addSheet("Sheet1");
        pasteBlock(jan.summary(), *parseRangeName("B2:D5"), target, at("F11"));
        EXPECT_EQ(formulaAt(target, "G12"), c.expected) << c.source;
        if (std::string_view(c.expected).find('[') != std::string_view::npos) {
            ASSERT_EQ(result.externalBooks().size(), 1u) << c.source;
        } else {
            EXPECT_TRUE(result.externalBooks().empty()) << c.source;
        }
    }
    putFormula(jan.summary(), "C3", "A1+F1");
    Workbook result;
    Sheet& target = result.addSheet("Sheet1");
    pasteBlock(jan.summary(), *parseRangeName("B2:D5"), target, at("F11"));
    EXPECT_EQ(cached(result, 0, "Summary", "A1"), "7");
    EXPECT_EQ(cached(result, 0, "Summary", "F1"), "0.1");
}

TEST(PasteIntoAnotherWorkbook, DroppedLinesOfTheBlockAreReadFromTheSource) {
    MonthBook jan("/data/jan.xlsx");
    Sheet& data = jan.sales();
    putNumber(data, "D1", 3);
    putFormula(data, "B4", "$D$1*A4+SUM(B1:B3)");
    putFormula(data, "C4", "B4+A3");
    struct Case {
        bool columns;
        const char* expectedB4;  // where each lands after the paste to B10 and the deletion
        const char* expectedC4;
    };
    const Case cases[] = {
        {false, "[1]Sales!$D$1*B12+SUM([1]Sales!B1:B3)", "C12+B11"},
        {true, "$D$10*[1]Sales!A4+SUM(B10:B12)", "B13+[1]Sales!A3"},
    };
    for (const Case& c : cases) {
        Workbook result;
        Sheet& target = result.addSheet("Sheet1");
        const CellRange block = *parseRangeName("A1:D4");
        pasteBlock(data, block, target, at("B10"));
        readPastedLinesFromSource(data, block, target, at("B10"), c.columns ? 1 : 9, 1, c.columns);
        if (c.columns) {
            deleteColumns(target, 1, 1);
            EXPECT_EQ(formulaAt(target, "B13"), c.expectedB4);
            EXPECT_EQ(formulaAt(target, "C13"), c.expectedC4);
        } else {
            deleteRows(target, 9, 1);
            EXPECT_EQ(formulaAt(target, "C12"), c.expectedB4);
            EXPECT_EQ(formulaAt(target, "D12"), c.expectedC4);
        }
        EXPECT_EQ(cached(result, 0, "Sales", c.columns ? "A3" : "D1"), c.columns ? "South" : "3");
    }
}

TEST(PasteIntoAnotherWorkbook, NamesComeAlongAndAConflictGetsItsOwnName) {
    MonthBook jan("/data/jan.xlsx", 0.1);
    MonthBook feb("/data/feb.xlsx", 0.2);
    MonthBook janAgain("/data/jan.xlsx", 0.1);
    for (MonthBook* month : {&jan, &feb, &janAgain}) {
        putFormula(month->summary(), "B2", "Rate*A2+TaxRate+LEN(NotAName)");
    }
    Workbook result;
    Sheet& target = result.addSheet("Sheet1");
    pasteBlock(jan.summary(), CellRange{at("A1"), at("B2")}, target, at("A1"));
    pasteBlock(feb.summary(), CellRange{at("A1"), at("B2")}, target, at("A4"));
    pasteBlock(janAgain.summary(), CellRange{at("A1"), at("B2")}, target, at("A7"));
    EXPECT_EQ(formulaAt(target, "B2"), "Rate*A2+TaxRate+LEN(NotAName)");
    EXPECT_EQ(formulaAt(target, "B5"), "Rate_2*A5+TaxRate_2+LEN(NotAName)");
    // The same file again means the same names.
    EXPECT_EQ(formulaAt(target, "B8"), "Rate*A8+TaxRate+LEN(NotAName)");
    const auto& names = result.definedNames();
    ASSERT_EQ(names.size(), 4u);
    EXPECT_EQ(nameIn(names, "Rate")->formula, "[1]Summary!$F$1");
    EXPECT_EQ(nameIn(names, "Rate_2")->formula, "[2]Summary!$F$1");
    EXPECT_EQ(nameIn(names, "TaxRate_2")->formula, std::to_string(0.4));
    EXPECT_EQ(cached(result, 1, "Summary", "F1"), "0.2");
    // A print area is a name of the sheet, not of the cells: a paste leaves it.
    EXPECT_EQ(nameIn(names, "_xlnm.Print_Area"), nullptr);
    EXPECT_TRUE(target.definedNames().empty());
}

TEST(PasteIntoAnotherWorkbook, SharedFormulasReadTheSameExternalCellsInEveryCell) {
    MonthBook jan("/data/jan.xlsx");
    Workbook& book = jan.book;
    for (int r = 2; r <= 9; ++r) {
        putNumber(jan.sales(), "D" + std::to_string(r), r * 10);
    }
    const uint32_t shared = addSharedFormula(book, "Sales!D2+A2", at("C2"));
    for (int r = 2; r <= 9; ++r) {
        Cell& cell = jan.summary().cellAt(at("C" + std::to_string(r)));
        cell.type = CellType::Number;
        cell.formula = shared + 1;
        cell.flags = kSharedFormula;
    }
    struct Paste {
        const char* block;
        const char* to;
        bool staysShared;  // false where the group's anchor would land off the sheet
    };
    for (const Paste& p :
         {Paste{"A2:C9", "B5", true}, Paste{"A4:C9", "A1", false}, Paste{"A1:C9", "E1", true}}) {
        Workbook result;
        Sheet& target = result.addSheet("Sheet1");
        const CellRange block = *parseRangeName(p.block);
        const CellRef to = at(p.to);
        pasteBlock(jan.summary(), block, target, to);
        for (int32_t row = std::max(block.first.row, 1); row <= block.last.row; ++row) {
            const CellRef landed{row + to.row - block.first.row,
                                 2 + to.column - block.first.column};
            const std::string expected = "[1]Sales!D" + std::to_string(row + 1) + "+" +
                                         cellName({landed.row, landed.column - 2});
            EXPECT_EQ(formulaAt(target, cellName(landed)), expected) << p.block << " to " << p.to;
            EXPECT_EQ(target.findCell(landed)->hasSharedFormula(), p.staysShared) << p.block;
            EXPECT_EQ(cached(result, 0, "Sales", "D" + std::to_string(row + 1)),
                      std::to_string((row + 1) * 10))
                << p.block;
        }
    }
}

TEST(PasteIntoAnotherWorkbook, ASharedFormulaReadingAcrossTheBlockEdgeSplitsInTwo) {
    MonthBook jan("/data/jan.xlsx");
    const uint32_t shared = addSharedFormula(jan.book, "B1*2+$A$1", at("C2"));
    for (int r = 2; r <= 5; ++r) {
        Cell& cell = jan.summary().cellAt(at("C" + std::to_string(r)));
        cell.type = CellType::Number;
        cell.formula = shared + 1;
        cell.flags = kSharedFormula;
    }
    Workbook result;
    Sheet& target = result.addSheet("Sheet1");
    pasteBlock(jan.summary(), *parseRangeName("A2:C5"), target, at("A11"));
    // C2 read B1, above the block; the cells below read cells of the block.
    EXPECT_EQ(formulaAt(target, "C11"), "[1]Summary!B1*2+[1]Summary!$A$1");
    EXPECT_EQ(formulaAt(target, "C12"), "B11*2+[1]Summary!$A$1");
    EXPECT_EQ(formulaAt(target, "C14"), "B13*2+[1]Summary!$A$1");
    // Those that read alike still share one formula.
    EXPECT_TRUE(target.findCell(at("C12"))->hasSharedFormula());
    EXPECT_EQ(target.findCell(at("C12"))->formula, target.findCell(at("C14"))->formula);
    EXPECT_NE(target.findCell(at("C11"))->formula, target.findCell(at("C12"))->formula);
}

TEST(CopySheetIntoAnotherWorkbook, NamesTravelAndConflictsBecomeScopedToTheCopy) {
    MonthBook jan("/data/jan.xlsx", 0.1);
    MonthBook feb("/data/feb.xlsx", 0.2);
    for (MonthBook* month : {&jan, &feb}) {
        putFormula(month->summary(), "B2", "Rate*SUMIF(Sales!A:A,A2,Sales!B:B)+Summary!F1");
    }
    Workbook result;
    result.addSheet("Placeholder");
    Sheet& janCopy = copySheet(jan.summary(), result, 1);
    Sheet& febCopy = copySheet(feb.summary(), result, 2);
    EXPECT_EQ(febCopy.name(), "Summary (2)");
    EXPECT_EQ(formulaAt(janCopy, "B2"), "Rate*SUMIF([1]Sales!A:A,A2,[1]Sales!B:B)+Summary!F1");
    EXPECT_EQ(formulaAt(febCopy, "B2"),
              "Rate*SUMIF([2]Sales!A:A,A2,[2]Sales!B:B)+'Summary (2)'!F1");
    ASSERT_NE(nameIn(result.definedNames(), "Rate"), nullptr);
    EXPECT_EQ(nameIn(result.definedNames(), "Rate")->formula, "Summary!$F$1");
    EXPECT_EQ(nameIn(result.definedNames(), "TaxRate"), nullptr);  // no cell uses it
    // A name pointing into a sheet goes with a copy of that sheet, even when no cell uses it.
    jan.book.definedNames().push_back({"Amounts", "Sales!$B$2:$B$3", "", false});
    EXPECT_EQ(nameIn(result.definedNames(), "Amounts"), nullptr);
    const Sheet& salesCopy = copySheet(jan.sales(), result, 3);
    EXPECT_EQ(nameIn(result.definedNames(), "Amounts")->formula, "Sales!$B$2:$B$3");
    EXPECT_EQ(salesCopy.name(), "Sales");
    ASSERT_NE(nameIn(febCopy.definedNames(), "Rate"), nullptr);
    EXPECT_EQ(nameIn(febCopy.definedNames(), "Rate")->formula, "'Summary (2)'!$F$1");
    EXPECT_EQ(nameIn(janCopy.definedNames(), "Rate"), nullptr);
    // The print area goes with each copy, pointing at it.
    EXPECT_EQ(nameIn(janCopy.definedNames(), "_xlnm.Print_Area")->formula, "Summary!$A$1:$F$3");
    EXPECT_EQ(nameIn(febCopy.definedNames(), "_xlnm.Print_Area")->formula,
              "'Summary (2)'!$A$1:$F$3");
    EXPECT_TRUE(nameIn(febCopy.definedNames(), "_xlnm.Print_Area")->hidden);
    ASSERT_TRUE(febCopy.origin());
    EXPECT_EQ(febCopy.origin()->path, "/data/feb.xlsx");
    EXPECT_EQ(febCopy.origin()->sheet, "Summary");
    EXPECT_EQ(cached(result, 1, "Sales", "B2"), "100");
}

TEST(CopySheetIntoAnotherWorkbook, TheSourcesOwnExternalReferencesAreRenumbered) {
    MonthBook jan("/data/jan.xlsx");
    ExternalBook prices{"/data/prices.xlsx", {}, {}};
    prices.addSheet("List");
    prices.sheets[0].cells[{0, 0}] = ExternalValue{CellType::Number, 4.5, ErrorValue::Ref, ""};
    jan.book.externalBooks().push_back(ExternalBook{"/data/other.xlsx", {}, {}});
    jan.book.externalBooks().push_back(prices);
    putFormula(jan.summary(), "B2", "[2]List!A1*Sales!B2+[7]X!A1");
    Workbook result;
    result.addSheet("Sheet1");
    Sheet& copy = copySheet(jan.summary(), result, 1);
    // The source's second book is the result's first; the file itself comes second; a
    // number the source has no book for is left to the writer.
    EXPECT_EQ(formulaAt(copy, "B2"), "[1]List!A1*[2]Sales!B2+[7]X!A1");
    ASSERT_EQ(result.externalBooks().size(), 2u);
    EXPECT_EQ(result.externalBooks()[0].path, "/data/prices.xlsx");
    EXPECT_EQ(cached(result, 0, "List", "A1"), "4.5");
    EXPECT_EQ(formulaWithMissingBooksAsRef("[1]List!A1*[2]Sales!B2+[7]X!A1", 2),
              "[1]List!A1*[2]Sales!B2+#REF!");
}

TEST(RelinkToCopies, ReferencesFollowTheCopiesWhateverTheOrder) {
    MonthBook jan("/data/jan.xlsx", 0.1);
    MonthBook feb("/data/feb.xlsx", 0.2, 200);
    for (MonthBook* month : {&jan, &feb}) {
        putFormula(month->summary(), "B2", "Rate*SUMIF(Sales!A:A,A2,Sales!B:B)+'My Data'!A1");
    }
    Workbook result;
    result.addSheet("Placeholder");
    // The summaries first, their details after; feb's detail before jan's.
    copySheet(jan.summary(), result, 1);
    copySheet(feb.summary(), result, 2);
    copySheet(feb.sales(), result, 3);
    copySheet(jan.sales(), result, 4);
    ASSERT_EQ(result.externalBooks().size(), 2u);
    relinkToCopies(result);
    const Sheet& janSummary = *result.findSheet("Summary");
    const Sheet& febSummary = *result.findSheet("Summary (2)");
    EXPECT_EQ(result.findSheet("Sales (2)")->origin()->path, "/data/jan.xlsx");
    EXPECT_EQ(formulaAt(janSummary, "B2"),
              "Rate*SUMIF('Sales (2)'!A:A,A2,'Sales (2)'!B:B)+'[1]My Data'!A1");
    EXPECT_EQ(formulaAt(febSummary, "B2"), "Rate*SUMIF(Sales!A:A,A2,Sales!B:B)+'[2]My Data'!A1");
    EXPECT_EQ(nameIn(febSummary.definedNames(), "Rate")->formula, "'Summary (2)'!$F$1");

    // Once "My Data" is copied too, nothing reads the books any more and they go.
    copySheet(*jan.book.findSheet("My Data"), result, 5);
    relinkToCopies(result);
    EXPECT_EQ(formulaAt(janSummary, "B2"),
              "Rate*SUMIF('Sales (2)'!A:A,A2,'Sales (2)'!B:B)+'My Data'!A1");
    ASSERT_EQ(result.externalBooks().size(), 1u);
    EXPECT_EQ(result.externalBooks()[0].path, "/data/feb.xlsx");
    EXPECT_EQ(formulaAt(febSummary, "B2"), "Rate*SUMIF(Sales!A:A,A2,Sales!B:B)+'[1]My Data'!A1");
}

TEST(RelinkToCopies, SharedFormulasAndNamesAreRelinkedToo) {
    MonthBook jan("/data/jan.xlsx");
    const uint32_t shared = addSharedFormula(jan.book, "Sales!B2*Rate", at("C2"));
    for (const char* ref : {"C2", "C3"}) {
        Cell& cell = jan.summary().cellAt(at(ref));
        cell.type = CellType::Number;
        cell.formula = shared + 1;
        cell.flags = kSharedFormula;
    }
    jan.book.definedNames().push_back({"Total", "SUM(Sales!$B:$B)", "", false});
    putFormula(jan.summary(), "D2", "Total");
    Workbook result;
    result.addSheet("Sheet1");
    const Sheet& copy = copySheet(jan.summary(), result, 1);
    EXPECT_EQ(formulaAt(copy, "C3"), "[1]Sales!B3*Rate");
    EXPECT_EQ(nameIn(result.definedNames(), "Total")->formula, "SUM([1]Sales!$B:$B)");
    copySheet(jan.sales(), result, 2);
    relinkToCopies(result);
    EXPECT_EQ(formulaAt(copy, "C2"), "Sales!B2*Rate");
    EXPECT_EQ(formulaAt(copy, "C3"), "Sales!B3*Rate");
    EXPECT_EQ(nameIn(result.definedNames(), "Total")->formula, "SUM(Sales!$B:$B)");
    EXPECT_TRUE(result.externalBooks().empty());
}

TEST(CopySheetIntoAnotherWorkbook, ASourceWithoutAFileKeepsItsReferencesAsWritten) {
    Workbook source;
    Sheet& data = source.addSheet("Data");
    source.addSheet("Other");
    putFormula(data, "A1", "Other!A1+Data!B1");
    Workbook result;
    result.addSheet("Data");
    const Sheet& copy = copySheet(data, result, 1);
    EXPECT_EQ(formulaAt(copy, "A1"), "Other!A1+'Data (2)'!B1");
    EXPECT_TRUE(result.externalBooks().empty());
    EXPECT_FALSE(copy.origin());
}

TEST(ExternalSheetPrefix, QuotesWhatNeedsIt) {
    EXPECT_EQ(externalSheetPrefix(0, "Sales"), "[1]Sales");
    EXPECT_EQ(externalSheetPrefix(1, "My Data"), "'[2]My Data'");
    EXPECT_EQ(externalSheetPrefix(0, "Jan", "Mar"), "[1]Jan:Mar");
    EXPECT_EQ(externalSheetPrefix(0, "It's", "Mar"), "'[1]It''s:Mar'");
    EXPECT_EQ(externalSheetPrefix(2, "A1"), "'[3]A1'");
}

}  // namespace
}  // namespace plyfold::engine

namespace plyfold::engine {
namespace {

TEST(CopySheetIntoAnotherWorkbook, AFailedCopyTakesBackWhatItAdded) {
    MonthBook jan("/data/jan.xlsx");
    for (int r = 1; r <= 2000; ++r) {
        putFormula(jan.summary(), "H" + std::to_string(r), "Rate*Sales!B2");
    }
    Workbook result;
    result.addSheet("Sheet1");
    result.definedNames().push_back({"Kept", "1", "", false});
    result.memory().setBudget(std::make_shared<MemoryBudget>(result.memory().bytes() + 4096));
    EXPECT_THROW(copySheet(jan.summary(), result, 1), MemoryLimitReached);
    EXPECT_EQ(result.sheetCount(), 1);
    ASSERT_EQ(result.definedNames().size(), 1u);
    EXPECT_EQ(result.definedNames()[0].name, "Kept");
    EXPECT_TRUE(result.externalBooks().empty());
}

TEST(PasteIntoAnotherWorkbook, AFailedPasteTakesBackWhatItAdded) {
    MonthBook jan("/data/jan.xlsx");
    const std::string padding(1000, 'x');
    for (int r = 1; r <= 500; ++r) {
        putFormula(jan.summary(), "H" + std::to_string(r),
                   "Rate*Sales!B2&\"" + padding + std::to_string(r) + "\"");
    }
    Workbook result;
    Sheet& target = result.addSheet("Sheet1");
    result.definedNames().push_back({"Kept", "1", "", false});
    result.memory().setBudget(std::make_shared<MemoryBudget>(result.memory().bytes() + 200000));
    EXPECT_THROW(pasteBlock(jan.summary(), *parseRangeName("A1:H500"), target, at("A1")),
                 MemoryLimitReached);
    ASSERT_EQ(result.definedNames().size(), 1u);
    EXPECT_TRUE(result.externalBooks().empty());
    EXPECT_EQ(target.cellCount(), 0u);
}

}  // namespace
}  // namespace plyfold::engine
