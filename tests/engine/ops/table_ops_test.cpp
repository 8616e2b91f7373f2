#include <gtest/gtest.h>

#include "engine/model/workbook.h"
#include "engine/ops/shared_formula.h"
#include "engine/ops/sheet_ops.h"

namespace plyfold::engine {
namespace {

CellRef at(std::string_view name) {
    return *parseCellName(name);
}

void putText(Sheet& sheet, std::string_view ref, std::string_view text) {
    Cell& cell = sheet.cellAt(at(ref));
    cell.type = CellType::Text;
    cell.value.text = sheet.workbook().strings().intern(text);
}

void putNumber(Sheet& sheet, std::string_view ref, double value) {
    Cell& cell = sheet.cellAt(at(ref));
    cell.type = CellType::Number;
    cell.value.number = value;
}

void putFormula(Sheet& sheet, std::string_view ref, std::string_view formula) {
    putNumber(sheet, ref, 0);
    sheet.cellAt(at(ref)).formula = sheet.workbook().formulas().intern(formula) + 1;
}

// The same formula shared by the cells of a column, anchored at the first.
void putSharedFormula(Sheet& sheet, std::string_view first, int32_t count,
                      std::string_view formula) {
    const uint32_t id = addSharedFormula(sheet.workbook(), formula, at(first));
    for (int32_t i = 0; i < count; ++i) {
        Cell& cell = sheet.cellAt(CellRef{at(first).row + i, at(first).column});
        cell.type = CellType::Number;
        cell.formula = id + 1;
        cell.flags = kSharedFormula;
    }
}

std::string formulaAt(const Sheet& sheet, std::string_view ref) {
    const Cell* cell = sheet.findCell(at(ref));
    if (!cell || !cell->hasFormula()) {
        return "<none>";
    }
    return cellFormula(sheet.workbook(), *cell, at(ref));
}

// A source workbook: sheet Data with the table Sales at B2:D6 (Qty, Price, Amount; data rows
// 3..5, totals in row 6) whose Amount column computes Qty * Price, and a sheet Summary with
// formulas over the table.
class TableSource : public ::testing::Test {
protected:
    void SetUp() override {
        Sheet& data = book.addSheet("Data");
        Sheet& summary = book.addSheet("Summary");
        Table sales;
        sales.id = 1;
        sales.name = sales.displayName = "Sales";
        sales.range = CellRange{at("B2"), at("D6")};
        sales.totalsRowCount = 1;
        sales.autoFilter = CellRange{at("B2"), at("D5")};
        for (const char* name : {"Qty", "Price", "Amount"}) {
            TableColumn column;
            column.name = name;
            sales.columns.push_back(column);
        }
        sales.columns[2].calculatedColumnFormula =
            "Sales[[#This Row],[Qty]]*Sales[[#This Row],[Price]]";
        sales.columns[2].totalsRowFunction = "custom";
        sales.columns[2].totalsRowFormula = "SUBTOTAL(109,Sales[Amount])";
        data.mutableTables().push_back(sales);
        putText(data, "B2", "Qty");
        putText(data, "C2", "Price");
        putText(data, "D2", "Amount");
        for (int r = 3; r <= 5; ++r) {
            putNumber(data, "B" + std::to_string(r), r);
            putNumber(data, "C" + std::to_string(r), 10 * r);
        }
        putFormula(data, "D3", "Sales[[#This Row],[Qty]]*Sales[[#This Row],[Price]]");
        putSharedFormula(data, "D4", 2, "Sales[[#This Row],[Qty]]*[@Price]");
        putFormula(data, "D6", "SUBTOTAL(109,Sales[Amount])");
        putFormula(data, "F2", "SUM(Sales[Qty])+A1");
        putFormula(summary, "A1", "SUM(Sales[Amount])");
        putFormula(summary, "A4", "Sales[@Qty]");
        putFormula(summary, "A9", "Sales[@Qty]");
    }

    Workbook book;
};

TEST_F(TableSource, PasteIntoAnotherWorkbookTurnsReferencesIntoRanges) {
    Workbook result;
    Sheet& target = result.addSheet("Sheet1");
    // The whole of Data (A1:F6) lands at C11: 10 rows down, 2 columns right.
    pasteBlock(book.sheet(0), CellRange{at("A1"), at("F6")}, target, at("C11"));
    const struct {
        const char* cell;
        const char* formula;
    } cases[] = {
        {"F13", "$D13*$E13"},
        {"F14", "$D14*$E14"},  // shared down the column, each cell its own row
        {"F15", "$D15*$E15"},
        {"F16", "SUBTOTAL(109,$F$13:$F$15)"},
        {"H12", "SUM($D$13:$D$15)+C11"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formulaAt(target, c.cell), c.formula) << c.cell;
    }
    EXPECT_TRUE(target.tables().empty());  // a paste carries no table
}

TEST_F(TableSource, PasteOfPartOfATableReadsTheSourceSheet) {
    Workbook result;
    Sheet& target = result.addSheet("Sheet1");
    // Rows 3..4 only: the table is not in the block, so its cells stay on Data.
    pasteBlock(book.sheet(0), CellRange{at("B3"), at("D4")}, target, at("A1"));
    EXPECT_EQ(formulaAt(target, "C1"), "Data!$B3*Data!$C3");
    EXPECT_EQ(formulaAt(target, "C2"), "Data!$B4*Data!$C4");
    // From another sheet: This Row reads the formula's own row, #VALUE! outside the table.
    pasteBlock(book.sheet(1), CellRange{at("A1"), at("A9")}, target, at("E1"));
    EXPECT_EQ(formulaAt(target, "E1"), "SUM(Data!$D$3:$D$5)");
    EXPECT_EQ(formulaAt(target, "E4"), "Data!$B4");
    EXPECT_EQ(formulaAt(target, "E9"), "#VALUE!");
}

TEST_F(TableSource, PasteWithinTheWorkbookKeepsReferences) {
    Sheet& other = book.addSheet("Other");
    pasteBlock(book.sheet(0), CellRange{at("A1"), at("F6")}, other, at("A1"));
    EXPECT_EQ(formulaAt(other, "D3"), "Sales[[#This Row],[Qty]]*Sales[[#This Row],[Price]]");
    EXPECT_EQ(formulaAt(other, "F2"), "SUM(Sales[Qty])+A1");
}

TEST_F(TableSource, SheetCopyCarriesItsTablesUnderFreeNames) {
    Workbook result;
    result.addSheet("Sheet1");
    Sheet& first = copySheet(book.sheet(0), result, 1);
    Sheet& second = copySheet(book.sheet(0), result, 2);
    ASSERT_EQ(first.tables().size(), 1u);
    ASSERT_EQ(second.tables().size(), 1u);
    const Table& copy = second.tables()[0];
    EXPECT_EQ(first.tables()[0].displayName, "Sales");
    EXPECT_EQ(copy.name, "Sales2");
    EXPECT_EQ(copy.displayName, "Sales2");
    EXPECT_EQ(copy.range, book.sheet(0).tables()[0].range);
    EXPECT_EQ(copy.autoFilter, book.sheet(0).tables()[0].autoFilter);
    EXPECT_EQ(copy.columns[2].calculatedColumnFormula,
              "Sales2[[#This Row],[Qty]]*Sales2[[#This Row],[Price]]");
    EXPECT_EQ(copy.columns[2].totalsRowFormula, "SUBTOTAL(109,Sales2[Amount])");
    EXPECT_EQ(formulaAt(first, "D3"), "Sales[[#This Row],[Qty]]*Sales[[#This Row],[Price]]");
    const struct {
        const char* cell;
        const char* formula;
    } cases[] = {
        {"D3", "Sales2[[#This Row],[Qty]]*Sales2[[#This Row],[Price]]"},
        {"D4", "Sales2[[#This Row],[Qty]]*[@Price]"},
        {"D5", "Sales2[[#This Row],[Qty]]*[@Price]"},
        {"D6", "SUBTOTAL(109,Sales2[Amount])"},
        {"F2", "SUM(Sales2[Qty])+A1"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formulaAt(second, c.cell), c.formula) << c.cell;
    }
    // The source is untouched.
    EXPECT_EQ(book.sheet(0).tables()[0].displayName, "Sales");
    EXPECT_EQ(formulaAt(book.sheet(0), "F2"), "SUM(Sales[Qty])+A1");
}

TEST_F(TableSource, SheetCopyReadsOtherSheetsTablesAsRanges) {
    Workbook result;
    result.addSheet("Sheet1");
    Sheet& summary = copySheet(book.sheet(1), result, 1);
    EXPECT_TRUE(summary.tables().empty());
    EXPECT_EQ(formulaAt(summary, "A1"), "SUM(Data!$D$3:$D$5)");
    EXPECT_EQ(formulaAt(summary, "A4"), "Data!$B4");
    // Within the workbook the table is still there.
    Sheet& inBook = copySheet(book.sheet(1), book, 2);
    EXPECT_EQ(formulaAt(inBook, "A1"), "SUM(Sales[Amount])");
    book.sheet(0).mutableTables()[0].columns[0].calculatedColumnFormula = "Data!$A$1*2";
    Sheet& dataCopy = copySheet(book.sheet(0), book, 3);
    EXPECT_EQ(dataCopy.name(), "Data (2)");
    EXPECT_EQ(dataCopy.tables()[0].displayName, "Sales2");
    EXPECT_EQ(formulaAt(dataCopy, "F2"), "SUM(Sales2[Qty])+A1");
    // The copy's table formulas name the copy where they named its sheet, as its cells do.
    EXPECT_EQ(dataCopy.tables()[0].columns[0].calculatedColumnFormula, "'Data (2)'!$A$1*2");
}

TEST_F(TableSource, ACopiedTableTakesNoNameTheTargetDefines) {
    Workbook result;
    result.addSheet("Sheet1");
    DefinedName taken;
    taken.name = "SALES";
    taken.formula = "Sheet1!$A$1";
    result.definedNames().push_back(taken);
    Sheet& copy = copySheet(book.sheet(0), result, 1);
    ASSERT_EQ(copy.tables().size(), 1u);
    EXPECT_EQ(copy.tables()[0].displayName, "Sales2");
    EXPECT_EQ(formulaAt(copy, "F2"), "SUM(Sales2[Qty])+A1");
}

TEST(TableCopies, TwoTablesOfOneSheetGetDistinctNames) {
    Workbook source;
    Sheet& sheet = source.addSheet("Data");
    for (const char* name : {"Sales", "Sales2"}) {
        Table table;
        table.name = table.displayName = name;
        table.range = CellRange{at("A1"), at("A3")};
        table.columns.emplace_back();
        table.columns.back().name = "Qty";
        sheet.mutableTables().push_back(table);
    }
    sheet.mutableTables()[1].range = CellRange{at("C1"), at("C3")};
    putFormula(sheet, "E1", "SUM(Sales[Qty])+SUM(Sales2[Qty])");

    Workbook result;
    result.addSheet("Sheet1");
    copySheet(sheet, result, 1);
    Sheet& copy = copySheet(sheet, result, 2);
    ASSERT_EQ(copy.tables().size(), 2u);
    EXPECT_EQ(copy.tables()[0].displayName, "Sales3");
    EXPECT_EQ(copy.tables()[1].displayName, "Sales4");
    EXPECT_EQ(formulaAt(copy, "E1"), "SUM(Sales3[Qty])+SUM(Sales4[Qty])");
}

}  // namespace
}  // namespace plyfold::engine
