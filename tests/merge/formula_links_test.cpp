#include <gtest/gtest.h>

#include <filesystem>

#include "engine/io/workbook_io.h"
#include "engine/model/workbook.h"
#include "engine/ops/shared_formula.h"
#include "merge/merges.h"
#include "tests/merge/merge_fixture.h"

namespace plyfold::merge {
namespace {

using engine::CellRef;
using engine::CellType;
using engine::DefinedName;
using engine::Sheet;

// A monthly report: Summary (first, its rate in F1) reads Sales through SUMIF and the names
// Rate and TaxRate.
struct Month {
    double rate;
    double taxRate;
    double north;
};

void put(Sheet& sheet, const char* ref, double number) {
    engine::Cell& cell = sheet.cellAt(*engine::parseCellName(ref));
    cell.type = CellType::Number;
    cell.value.number = number;
}
void put(Sheet& sheet, const char* ref, const char* text) {
    engine::Cell& cell = sheet.cellAt(*engine::parseCellName(ref));
    if (text[0] == '=') {
        cell.type = CellType::Number;
        cell.formula = sheet.workbook().formulas().intern(text + 1) + 1;
    } else {
        cell.type = CellType::Text;
        cell.value.text = sheet.workbook().strings().intern(text);
    }
}

std::string writeMonth(const std::string& path, const Month& month) {
    engine::Workbook book;
    Sheet& summary = book.addSheet("Summary");
    Sheet& sales = book.addSheet("Sales");
    put(sales, "A1", "Region");
    put(sales, "B1", "Amount");
    put(sales, "A2", "North");
    put(sales, "B2", month.north);
    put(sales, "A3", "North");
    put(sales, "B3", 5);
    put(summary, "A1", "Region");
    put(summary, "B1", "Total");
    put(summary, "F1", month.rate);
    put(summary, "A2", "North");
    put(summary, "B2", "=SUMIF(Sales!A:A,A2,Sales!B:B)");
    put(summary, "C2", "=Rate*B2");
    put(summary, "D2", "=B2*TaxRate");
    book.definedNames().push_back({"Rate", "Summary!$F$1", "", false});
    book.definedNames().push_back({"TaxRate", std::to_string(month.taxRate), "", false});
    summary.definedNames().push_back({"_xlnm.Print_Area", "Summary!$A$1:$D$2", "", false});
    engine::saveWorkbook(book, path);
    return path;
}

std::string formulaAt(const Sheet& sheet, const char* ref) {
    const CellRef at = *engine::parseCellName(ref);
    const engine::Cell* cell = sheet.findCell(at);
    return cell && cell->hasFormula() ? engine::cellFormula(sheet.workbook(), *cell, at) : "<none>";
}

std::string nameFormula(const std::vector<DefinedName>& names, std::string_view name) {
    const DefinedName* found = engine::findDefinedName(names, name);
    return found ? found->formula : "<none>";
}

class FormulaLinks : public test::MergeTest {
protected:
    FormulaLinks() {
        jan = writeMonth(dir.file("jan.xlsx"), {0.1, 0.2, 100});
        feb = writeMonth(dir.file("feb.xlsx"), {0.2, 0.4, 200});
        mar = writeMonth(dir.file("mar.xlsx"), {0.3, 0.2, 300});
    }
    std::string path(const std::string& file) {
        return std::filesystem::absolute(dir.file(file)).lexically_normal().string();
    }
    std::string jan, feb, mar;
};

TEST_F(FormulaLinks, WorkbookMergePointsEachSummaryAtItsOwnDetail) {
    // Summaries queued before their details; March's detail is not queued at all.
    queue(jan, "Summary");
    queue(feb, "Summary");
    queue(feb, "Sales");
    queue(jan, "Sales");
    queue(mar, "Summary");
    ASSERT_TRUE(MergeToOneWorkbook(form));
    const engine::Workbook& result = resultBook();
    ASSERT_EQ(result.sheetCount(), 5);
    const Sheet& janSummary = result.sheet(0);
    const Sheet& febSummary = result.sheet(1);
    const Sheet& marSummary = result.sheet(4);
    EXPECT_EQ(febSummary.name(), "Summary (2)");
    EXPECT_EQ(result.sheet(2).name(), "Sales");      // February's
    EXPECT_EQ(result.sheet(3).name(), "Sales (2)");  // January's
    EXPECT_EQ(formulaAt(janSummary, "B2"), "SUMIF('Sales (2)'!A:A,A2,'Sales (2)'!B:B)");
    EXPECT_EQ(formulaAt(febSummary, "B2"), "SUMIF(Sales!A:A,A2,Sales!B:B)");
    EXPECT_EQ(formulaAt(marSummary, "B2"), "SUMIF([1]Sales!A:A,A2,[1]Sales!B:B)");
    for (const Sheet* sheet : {&janSummary, &febSummary, &marSummary}) {
        EXPECT_EQ(formulaAt(*sheet, "C2"), "Rate*B2");
        EXPECT_EQ(formulaAt(*sheet, "D2"), "B2*TaxRate");
    }
    // January's names are the workbook's; February's and March's rates, and February's tax
    // rate, differ and are scoped to their own copies; March's tax rate is January's.
    EXPECT_EQ(nameFormula(result.definedNames(), "Rate"), "Summary!$F$1");
    EXPECT_EQ(nameFormula(febSummary.definedNames(), "Rate"), "'Summary (2)'!$F$1");
    EXPECT_EQ(nameFormula(marSummary.definedNames(), "Rate"), "'Summary (3)'!$F$1");
    EXPECT_EQ(nameFormula(febSummary.definedNames(), "TaxRate"), std::to_string(0.4));
    EXPECT_EQ(nameFormula(marSummary.definedNames(), "TaxRate"), "<none>");
    EXPECT_EQ(nameFormula(marSummary.definedNames(), "_xlnm.Print_Area"),
              "'Summary (3)'!$A$1:$D$2");
    // Only March's detail is still read from its file, its values kept.
    ASSERT_EQ(result.externalBooks().size(), 1u);
    EXPECT_EQ(result.externalBooks()[0].path, path("mar.xlsx"));
    const auto& cached = result.externalBooks()[0].sheets.at(0);
    EXPECT_EQ(cached.name, "Sales");
    EXPECT_EQ(cached.cells.at({1, 1}).number, 300);

    // What was written reads back the same.
    const std::string saved = dir.file("result.xlsx");
    engine::saveWorkbook(result, saved);
    auto back = engine::openWorkbook(saved);
    back->sheet(4).ensureLoaded();
    EXPECT_EQ(formulaAt(back->sheet(4), "B2"), "SUMIF([1]Sales!A:A,A2,[1]Sales!B:B)");
    EXPECT_EQ(back->externalBooks().at(0).path, path("mar.xlsx"));
    EXPECT_EQ(nameFormula(back->sheet(1).definedNames(), "Rate"), "'Summary (2)'!$F$1");
}

TEST_F(FormulaLinks, StackedBlocksReadTheirSourcesAsExternalBooks) {
    queue(jan, "Summary");
    queue(feb, "Summary");
    queue(jan, "Summary");
    form.Check1.setValue(1);  // the second and later header rows go
    ASSERT_TRUE(MergeSheetsVertically(form));
    const engine::Workbook& result = resultBook();
    const Sheet& sheet = result.sheet(0);
    EXPECT_EQ(formulaAt(sheet, "B2"), "SUMIF([1]Sales!A:A,A2,[1]Sales!B:B)");
    EXPECT_EQ(formulaAt(sheet, "C2"), "Rate*B2");
    EXPECT_EQ(formulaAt(sheet, "B3"), "SUMIF([2]Sales!A:A,A3,[2]Sales!B:B)");
    EXPECT_EQ(formulaAt(sheet, "C3"), "Rate_2*B3");
    EXPECT_EQ(formulaAt(sheet, "D3"), "B3*TaxRate_2");
    EXPECT_EQ(formulaAt(sheet, "C4"), "Rate*B4");
    EXPECT_EQ(nameFormula(result.definedNames(), "Rate"), "[1]Summary!$F$1");
    EXPECT_EQ(nameFormula(result.definedNames(), "Rate_2"), "[2]Summary!$F$1");
    EXPECT_EQ(nameFormula(result.definedNames(), "_xlnm.Print_Area"), "<none>");
    ASSERT_EQ(result.externalBooks().size(), 2u);
    EXPECT_EQ(result.externalBooks()[1].path, path("feb.xlsx"));
    const auto& febBook = result.externalBooks()[1];
    const auto& sales = febBook.sheets.at(static_cast<size_t>(febBook.sheetIndex("Sales")));
    EXPECT_EQ(sales.cells.at({1, 1}).number, 200);
    const auto& summary = febBook.sheets.at(static_cast<size_t>(febBook.sheetIndex("Summary")));
    EXPECT_EQ(summary.cells.at({0, 5}).number, 0.2);
}

TEST_F(FormulaLinks, SideBySideBlocksKeepReadingTheSameColumnsOfTheirSources) {
    queue(jan, "Summary");
    queue(feb, "Summary");
    ASSERT_TRUE(MergeSheetsHorizontally(form));
    const Sheet& sheet = resultBook().sheet(0);
    EXPECT_EQ(formulaAt(sheet, "B2"), "SUMIF([1]Sales!A:A,A2,[1]Sales!B:B)");
    // February's block starts in column G: its own cells moved, its source's did not.
    EXPECT_EQ(formulaAt(sheet, "H2"), "SUMIF([2]Sales!A:A,G2,[2]Sales!B:B)");
    EXPECT_EQ(formulaAt(sheet, "I2"), "Rate_2*H2");
}

// Items with amounts under a header row that holds a rate; each row's tax reads the rate,
// each running total starts at the first amount.
std::string writeItems(const std::string& path, double rate, double first) {
    engine::Workbook book;
    Sheet& data = book.addSheet("Data");
    put(data, "A1", "Item");
    put(data, "B1", "Amount");
    put(data, "D1", "=SUM(B:B)");
    put(data, "F1", rate);
    for (int r = 2; r <= 4; ++r) {
        const std::string n = std::to_string(r);
        put(data, ("A" + n).c_str(), ("i" + n).c_str());
        put(data, ("B" + n).c_str(), first * (r - 1));
        put(data, ("C" + n).c_str(), ("=B" + n + "*$F$1").c_str());
        put(data, ("D" + n).c_str(), ("=SUM($B$2:B" + n + ")").c_str());
    }
    engine::saveWorkbook(book, path);
    return path;
}

TEST_F(FormulaLinks, BlocksReadTheirOwnCellsAndTheirDroppedHeaderLines) {
    const std::string a = writeItems(dir.file("a.xlsx"), 0.5, 1);
    const std::string b = writeItems(dir.file("b.xlsx"), 2, 10);
    struct Case {
        bool dropFirstLine;
        std::vector<std::pair<const char*, const char*>> formulas;  // of b's block
    };
    const Case cases[] = {
        {false, {{"D5", "SUM([2]Data!B:B)"}, {"C6", "B6*$F$5"}, {"D7", "SUM($B$6:B7)"}}},
        // b's header line is gone: what read it reads the source.
        {true, {{"C5", "B5*[2]Data!$F$1"}, {"D6", "SUM($B$5:B6)"}}},
    };
    for (const Case& c : cases) {
        form.ListView4.clear();
        queue(a, "Data");
        queue(b, "Data");
        form.Check1.setValue(c.dropFirstLine ? 1 : 0);
        ASSERT_TRUE(MergeSheetsVertically(form));
        const Sheet& sheet = resultBook().sheet(0);
        EXPECT_EQ(formulaAt(sheet, "C2"), "B2*$F$1");
        EXPECT_EQ(formulaAt(sheet, "D1"), "SUM([1]Data!B:B)");
        for (const auto& [cell, formula] : c.formulas) {
            EXPECT_EQ(formulaAt(sheet, cell), formula) << cell << ", drop " << c.dropFirstLine;
        }
        const auto& books = resultBook().externalBooks();
        ASSERT_EQ(books.size(), 2u);
        const auto& cached = books[1].sheets.at(0).cells;
        EXPECT_EQ(cached.at({3, 1}).number, 30);
        // The rate is read from the source only where its line was dropped.
        EXPECT_EQ(cached.count({0, 5}), c.dropFirstLine ? 1u : 0u);
    }
}

TEST_F(FormulaLinks, RenamedCopiesStillReadEachOther) {
    // Details queued first and last, so the links are made after every copy has its name.
    queue(feb, "Sales");
    queue(jan, "Summary");
    queue(feb, "Summary");
    queue(jan, "Sales");
    queue(mar, "Summary");
    form.sheetNames = controls::SheetNamesChoice::FileAndSheet;
    ASSERT_TRUE(MergeToOneWorkbook(form));
    const engine::Workbook& result = resultBook();
    ASSERT_EQ(result.sheetCount(), 5);
    EXPECT_EQ(result.sheet(0).name(), "feb Sales");
    EXPECT_EQ(result.sheet(1).name(), "jan Summary");
    EXPECT_EQ(result.sheet(2).name(), "feb Summary");
    EXPECT_EQ(result.sheet(3).name(), "jan Sales");
    EXPECT_EQ(result.sheet(4).name(), "mar Summary");
    EXPECT_EQ(formulaAt(result.sheet(1), "B2"), "SUMIF('jan Sales'!A:A,A2,'jan Sales'!B:B)");
    EXPECT_EQ(formulaAt(result.sheet(2), "B2"), "SUMIF('feb Sales'!A:A,A2,'feb Sales'!B:B)");
    // March's detail is not queued: still read from its file under its own name.
    EXPECT_EQ(formulaAt(result.sheet(4), "B2"), "SUMIF([1]Sales!A:A,A2,[1]Sales!B:B)");
    // The names that point into a copy's own sheet follow its new name.
    EXPECT_EQ(nameFormula(result.definedNames(), "Rate"), "'jan Summary'!$F$1");
    EXPECT_EQ(nameFormula(result.sheet(2).definedNames(), "Rate"), "'feb Summary'!$F$1");
    EXPECT_EQ(nameFormula(result.sheet(4).definedNames(), "_xlnm.Print_Area"),
              "'mar Summary'!$A$1:$D$2");
    ASSERT_EQ(result.externalBooks().size(), 1u);
    EXPECT_EQ(result.externalBooks()[0].path, path("mar.xlsx"));
}

}  // namespace
}  // namespace plyfold::merge
