#include <gtest/gtest.h>

#include "engine/io/workbook_io.h"
#include "engine/model/workbook.h"
#include "engine/ops/shared_formula.h"
#include "merge/merges.h"
#include "tests/merge/merge_fixture.h"

namespace plyfold::merge {
namespace {

using engine::CellRef;

CellRef at(std::string_view name) {
    return *engine::parseCellName(name);
}

void putText(engine::Sheet& sheet, std::string_view ref, std::string_view text) {
    engine::Cell& cell = sheet.cellAt(at(ref));
    cell.type = engine::CellType::Text;
    cell.value.text = sheet.workbook().strings().intern(text);
}

void putNumber(engine::Sheet& sheet, std::string_view ref, double value,
               std::string_view formula = {}) {
    engine::Cell& cell = sheet.cellAt(at(ref));
    cell.type = engine::CellType::Number;
    cell.value.number = value;
    if (!formula.empty()) {
        cell.formula = sheet.workbook().formulas().intern(formula) + 1;
    }
}

std::string formulaAt(const engine::Sheet& sheet, std::string_view ref) {
    const engine::Cell* cell = sheet.findCell(at(ref));
    if (!cell || !cell->hasFormula()) {
        return "<none>";
    }
    return engine::cellFormula(sheet.workbook(), *cell, at(ref));
}

// A monthly workbook: sheet Sales with the table Sales at A1:C4 (Qty, Price, and Amount
// computed from them row by row) and its total in E1; sheet Summary totalling the table.
std::string monthlyBook(const test::TempDir& dir, const std::string& name, double factor) {
    engine::Workbook book;
    engine::Sheet& sales = book.addSheet("Sales");
    engine::Sheet& summary = book.addSheet("Summary");
    engine::Table table;
    table.name = table.displayName = "Sales";
    table.range = engine::CellRange{at("A1"), at("C4")};
    table.autoFilter = table.range;
    for (const char* column : {"Qty", "Price", "Amount"}) {
        table.columns.emplace_back();
        table.columns.back().name = column;
    }
    const std::string amount = "Sales[[#This Row],[Qty]]*Sales[[#This Row],[Price]]";
    table.columns[2].calculatedColumnFormula = amount;
    sales.mutableTables().push_back(table);
    putText(sales, "A1", "Qty");
    putText(sales, "B1", "Price");
    putText(sales, "C1", "Amount");
    for (int row = 2; row <= 4; ++row) {
        const double qty = row * factor;
        const double price = 10.0 * row;
        putNumber(sales, "A" + std::to_string(row), qty);
        putNumber(sales, "B" + std::to_string(row), price);
        putNumber(sales, "C" + std::to_string(row), qty * price, amount);
    }
    putNumber(sales, "E1", 9 * factor, "SUM(Sales[Qty])");
    putNumber(summary, "A1", 0, "SUM(Sales[Amount])");
    const std::string path = dir.file(name);
    engine::saveWorkbook(book, path);
    return path;
}

class TableMerge : public test::MergeTest {
protected:
    void queueBoth() {
        jan = monthlyBook(dir, "jan.xlsx", 1);
        feb = monthlyBook(dir, "feb.xlsx", 2);
        queue(jan, "Sales");
        queue(feb, "Sales");
    }
    std::string jan;
    std::string feb;
};

struct Expected {
    const char* cell;
    const char* formula;
};

void expectFormulas(const engine::Sheet& sheet, std::initializer_list<Expected> cases) {
    for (const Expected& c : cases) {
        EXPECT_EQ(formulaAt(sheet, c.cell), c.formula) << sheet.name() << "!" << c.cell;
    }
}

TEST_F(TableMerge, StackedTablesBecomeRangesWhereTheirRowsLand) {
    queueBoth();
    ASSERT_TRUE(MergeSheetsVertically(form));
    const engine::Sheet& result = resultBook().sheet(0);
    EXPECT_TRUE(result.tables().empty());
    // January at rows 1..4, February right below at rows 5..8.
    expectFormulas(result, {{"C2", "$A2*$B2"},
                            {"C4", "$A4*$B4"},
                            {"E1", "SUM($A$2:$A$4)"},
                            {"C6", "$A6*$B6"},
                            {"C8", "$A8*$B8"},
                            {"E5", "SUM($A$6:$A$8)"}});
}

TEST_F(TableMerge, StackedWithTheFirstRowDroppedTheRangesFollow) {
    queueBoth();
    form.Check1.setValue(1);  // February's header row is left out
    ASSERT_TRUE(MergeSheetsVertically(form));
    const engine::Sheet& result = resultBook().sheet(0);
    // February's header row (with its total) is gone; its data rows follow January's.
    expectFormulas(
        result, {{"E1", "SUM($A$2:$A$4)"}, {"C5", "$A5*$B5"}, {"C7", "$A7*$B7"}, {"E5", "<none>"}});
}

TEST_F(TableMerge, SideBySideTablesBecomeRangesWhereTheirColumnsLand) {
    queueBoth();
    ASSERT_TRUE(MergeSheetsHorizontally(form));
    const engine::Sheet& result = resultBook().sheet(0);
    // January at A:E, February from column F.
    expectFormulas(
        result,
        {{"C3", "$A3*$B3"}, {"E1", "SUM($A$2:$A$4)"}, {"H3", "$F3*$G3"}, {"J1", "SUM($F$2:$F$4)"}});
}

TEST_F(TableMerge, WorkbookMergeCarriesTablesUnderUniqueNames) {
    queueBoth();
    queue(jan, "Summary");
    ASSERT_TRUE(MergeToOneWorkbook(form));
    const engine::Workbook& book = resultBook();
    ASSERT_EQ(book.sheetCount(), 3);
    const engine::Sheet& first = book.sheet(0);
    const engine::Sheet& second = book.sheet(1);
    ASSERT_EQ(first.tables().size(), 1u);
    ASSERT_EQ(second.tables().size(), 1u);
    EXPECT_EQ(first.tables()[0].displayName, "Sales");
    EXPECT_EQ(second.tables()[0].displayName, "Sales2");
    EXPECT_EQ(second.tables()[0].columns[2].calculatedColumnFormula,
              "Sales2[[#This Row],[Qty]]*Sales2[[#This Row],[Price]]");
    expectFormulas(first, {{"C2", "Sales[[#This Row],[Qty]]*Sales[[#This Row],[Price]]"},
                           {"E1", "SUM(Sales[Qty])"}});
    expectFormulas(second, {{"C3", "Sales2[[#This Row],[Qty]]*Sales2[[#This Row],[Price]]"},
                            {"E1", "SUM(Sales2[Qty])"}});
    // The summary's table stays on its own source sheet: an ordinary reference to it, which
    // the sheet references of the merge then point at the copy.
    expectFormulas(book.sheet(2), {{"A1", "SUM(Sales!$C$2:$C$4)"}});

    // Saved and read back, the tables are there with their names.
    const std::string saved = dir.file("result.xlsx");
    engine::saveWorkbook(book, saved);
    auto back = engine::openWorkbook(saved);
    ASSERT_EQ(back->sheet(1).tables().size(), 1u);
    EXPECT_EQ(back->sheet(1).tables()[0].displayName, "Sales2");
    EXPECT_EQ(back->sheet(1).tables()[0].range, second.tables()[0].range);
}

}  // namespace
}  // namespace plyfold::merge
