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

}  // namespace
}  // namespace plyfold::merge
