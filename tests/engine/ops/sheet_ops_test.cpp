#include <gtest/gtest.h>

#include "engine/common/error.h"
#include "engine/model/workbook.h"
#include "engine/ops/number_format.h"
#include "engine/ops/shared_formula.h"
#include "engine/ops/sheet_ops.h"

namespace plyfold::engine {
namespace {

CellRef at(std::string_view name) {
    return *parseCellName(name);
}
CellRange area(std::string_view name) {
    return *parseRangeName(name);
}

Cell& putNumber(Sheet& sheet, std::string_view ref, double value, uint32_t style = 0) {
    Cell& cell = sheet.cellAt(at(ref));
    cell.type = CellType::Number;
    cell.value.number = value;
    cell.style = style;
    return cell;
}

Cell& putText(Sheet& sheet, std::string_view ref, std::string_view text) {
    Cell& cell = sheet.cellAt(at(ref));
    cell.type = CellType::Text;
    cell.value.text = sheet.workbook().strings().intern(text);
    return cell;
}

Cell& putFormula(Sheet& sheet, std::string_view ref, std::string_view formula) {
    Cell& cell = putNumber(sheet, ref, 0);
    cell.formula = sheet.workbook().formulas().intern(formula) + 1;
    return cell;
}

std::string textAt(const Sheet& sheet, std::string_view ref) {
    const Cell* cell = sheet.findCell(at(ref));
    return cell ? displayText(sheet.workbook(), *cell) : std::string("<none>");
}

std::string formulaAt(const Sheet& sheet, std::string_view ref) {
    const Cell* cell = sheet.findCell(at(ref));
    if (!cell || !cell->hasFormula()) {
        return "<none>";
    }
    return cellFormula(sheet.workbook(), *cell, at(ref));
}

uint32_t addStyle(Workbook& book, std::string_view formatCode, bool bold) {
    CellStyle style;
    style.numberFormat = book.styles().addFormatCode(formatCode);
    Font font;
    font.bold = bold;
    style.font = book.styles().addFont(font);
    return book.styles().addStyle(style);
}

TEST(PasteBlock, CopiesABlockIntoAnotherWorkbook) {
    Workbook from;
    from.setDate1904(true);
    Sheet& source = from.addSheet("Src");
    // Something in the source book's pools before the block, so that ids differ.
    putText(source, "A1", "outside");
    const uint32_t boldNumber = addStyle(from, "0.0", true);
    const uint32_t dateStyle = addStyle(from, "yyyy-mm-dd", false);
    putNumber(source, "C5", 1.5, boldNumber);
    putText(source, "D5", "hello");
    putFormula(source, "E5", "C5+D5+$C$5+Src!C5");
    putNumber(source, "C6", 100, dateStyle);
    Cell& flag = source.cellAt(at("D6"));
    flag.type = CellType::Boolean;
    flag.value.boolean = true;
    putNumber(source, "E6", 100);  // a number that is no date keeps its value
    putText(source, "C7", "merged");
    putNumber(source, "F5", 99);  // beside the block
    source.merges().push_back(area("C7:D7"));
    source.merges().push_back(area("E7:F8"));  // cut by the block's edge

    Workbook to;
    Sheet& target = to.addSheet("Dst");
    putText(target, "A1", "old");
    putNumber(target, "B2", 7);
    putText(target, "D1", "kept");
    putText(target, "A4", "kept below");
    target.merges().push_back(area("A2:B3"));
    target.merges().push_back(area("E1:F1"));

    pasteBlock(source, area("C5:E7"), target, at("A1"));

    EXPECT_EQ(textAt(target, "A1"), "1.5");
    const Cell* number = target.findCell(at("A1"));
    ASSERT_NE(number, nullptr);
    const CellStyle& mapped = to.styles().style(number->style);
    EXPECT_EQ(to.styles().formatCode(mapped.numberFormat), "0.0");
    EXPECT_TRUE(to.styles().font(mapped.font).bold);
    EXPECT_EQ(textAt(target, "B1"), "hello");
    EXPECT_EQ(formulaAt(target, "C1"), "A1+B1+$C$5+Src!A1");
    // The date keeps its day: 1904-04-10 is serial 100 there and 1562 in the 1900 system.
    EXPECT_EQ(textAt(target, "A2"), "1904-04-10");
    EXPECT_EQ(target.findCell(at("A2"))->value.number, 1562);
    EXPECT_EQ(target.findCell(at("C2"))->value.number, 100);
    EXPECT_EQ(textAt(target, "B2"), "TRUE");
    EXPECT_EQ(textAt(target, "A3"), "merged");
    EXPECT_EQ(textAt(target, "D1"), "kept");
    EXPECT_EQ(textAt(target, "A4"), "kept below");
    EXPECT_EQ(textAt(target, "D2"), "<none>");
    // The old merge under the block is gone; the block's merges arrive, cut to the block.
    // The one-cell remainder of E7:F8 is no merge.
    EXPECT_EQ(target.merges(), (std::vector<CellRange>{area("E1:F1"), area("A3:B3")}));
    EXPECT_EQ(source.findCell(at("C6"))->value.number, 100) << "the source is only read";
}

// Between date systems only calendar dates move by 1462 days; times of day and durations
// mean the same in both and keep their numbers. Both ways, by paste and by sheet copy.
TEST(DateSystems, OnlyCalendarDatesMove) {
    struct Case {
        const char* format;
        double value;
        double in1900;  // the number once moved from a 1904 workbook to a 1900 one
    };
    const Case cases[] = {
        {"yyyy-mm-dd", 100, 1562}, {"d-mmm-yy h:mm", 100.5, 1562.5},
        {"mmm", 3, 1465},          {"dddd", 3, 1465},
        {"h:mm", 0.5, 0.5},        {"h:mm AM/PM", 0.75, 0.75},
        {"[h]:mm", 1.5, 1.5},      {"[h]:mm:ss", 100.25, 100.25},
        {"mm:ss", 0.01, 0.01},     {"[mm]:ss", 2, 2},
        {"0.00", 100, 100},        {"General", 100, 100},
    };
    for (const bool byCopy : {false, true}) {
        for (const bool from1904 : {true, false}) {
            Workbook from;
            from.setDate1904(from1904);
            Sheet& source = from.addSheet("S");
            int row = 0;
            for (const Case& c : cases) {
                const double value = from1904 ? c.value : c.in1900;
                putNumber(source, cellName({row++, 0}), value, addStyle(from, c.format, false));
            }
            Workbook to;
            to.setDate1904(!from1904);
            Sheet& target = to.addSheet("T");
            const Sheet& result = byCopy ? copySheet(source, to, 0) : target;
            if (!byCopy) {
                pasteBlock(source, source.usedRange().value(), target, at("B3"));
            }
            row = 0;
            for (const Case& c : cases) {
                const CellRef where = byCopy ? CellRef{row, 0} : CellRef{row + 2, 1};
                ++row;
                const Cell* cell = result.findCell(where);
                ASSERT_NE(cell, nullptr) << c.format;
                EXPECT_EQ(cell->value.number, from1904 ? c.in1900 : c.value)
                    << c.format << (byCopy ? " copied" : " pasted")
                    << (from1904 ? " from 1904" : " to 1904");
            }
        }
    }
}

// Cells in a source's default format show in its default font (Arial 10 in many files,
// Calibri 12 on a Mac); where the target's default differs they get it as an explicit format.
TEST(DefaultFont, CellsInTheSourcesDefaultFormatKeepItsFont) {
    auto font = [](const char* name, double size, Color color = {}) {
        Font f;
        f.name = name;
        f.size = size;
        f.color = color;
        f.scheme.clear();
        return f;
    };
    struct Case {
        const char* name;
        Font sourceDefault;
        bool explicitInTarget;
    };
    const Case cases[] = {
        {"Arial 10", font("Arial", 10), true},
        {"Calibri 12 in black", font("Calibri", 12, Color::rgb(0xFF000000)), true},
        {"red Calibri 11", font("Calibri", 11, Color::rgb(0xFFFF0000)), true},
        {"the target's own default", Font{}, false},
    };
    for (const Case& c : cases) {
        Workbook from;
        from.styles().setDefaultFont(c.sourceDefault);
        Sheet& source = from.addSheet("S");
        putText(source, "A1", "plain");
        CellStyle dated;
        dated.numberFormat = from.styles().addFormatCode("yyyy-mm-dd");
        putNumber(source, "B1", 45000, from.styles().addStyle(dated));
        source.setColumnWidth(2, 12);  // a column of the default format

        for (const bool byCopy : {false, true}) {
            Workbook to;
            Sheet& target = to.addSheet("T");
            const Sheet& result = byCopy ? copySheet(source, to, 0) : target;
            if (!byCopy) {
                pasteBlock(source, area("A1:B1"), target, at("A1"));
            }
            const char* how = byCopy ? " copied" : " pasted";
            for (const char* ref : {"A1", "B1"}) {
                const Cell* cell = result.findCell(at(ref));
                ASSERT_NE(cell, nullptr);
                const CellStyle& style = to.styles().style(cell->style);
                EXPECT_EQ(to.styles().font(style.font), c.sourceDefault) << c.name << how << ref;
                EXPECT_EQ(cell->style == 0, !c.explicitInTarget && ref[0] == 'A')
                    << c.name << how << ref;
            }
            EXPECT_EQ(to.styles().font(0), Font{}) << "the target's own default stays";
            if (byCopy) {
                const ColumnInfo& column = result.columns().front();
                EXPECT_EQ(to.styles().font(to.styles().style(column.style).font), c.sourceDefault)
                    << c.name;
            }
        }
    }
}

TEST(PasteBlock, SameSheetOverlapAndSameBook) {
    Workbook book;
    Sheet& sheet = book.addSheet("S");
    putNumber(sheet, "A1", 1);
    putNumber(sheet, "A2", 2);
    putNumber(sheet, "A3", 3);
    putFormula(sheet, "B3", "A3*2");
    pasteBlock(sheet, area("A1:B3"), sheet, at("A2"));
    EXPECT_EQ(textAt(sheet, "A1"), "1");
    EXPECT_EQ(textAt(sheet, "A2"), "1");
    EXPECT_EQ(textAt(sheet, "A3"), "2");
    EXPECT_EQ(textAt(sheet, "A4"), "3");
    EXPECT_EQ(formulaAt(sheet, "B4"), "A4*2");
    EXPECT_EQ(textAt(sheet, "B3"), "<none>");

    Sheet& other = book.addSheet("T");
    pasteBlock(sheet, area("A2:B4"), other, at("C1"));
    EXPECT_EQ(formulaAt(other, "D3"), "C3*2");
    EXPECT_EQ(other.findCell(at("C1"))->style, sheet.findCell(at("A2"))->style);
}

TEST(PasteBlock, FailsCleanlyPastTheSheetsEdge) {
    Workbook from;
    Sheet& source = from.addSheet("Src");
    putNumber(source, "A1", 1);
    putNumber(source, "C10", 2);
    Workbook to;
    Sheet& target = to.addSheet("Result");
    putNumber(target, "A1", 5);
    struct Case {
        CellRef topLeft;
        const char* mentions;
    };
    const Case cases[] = {
        {{1048570, 0}, "1048576"},
        {{0, 16382}, "XFD"},
        {{2000000000, 0}, "Result"},
        {{-1, 0}, "Result"},
    };
    for (const Case& c : cases) {
        try {
            pasteBlock(source, area("A1:C10"), target, c.topLeft);
            ADD_FAILURE() << "no error at row " << c.topLeft.row;
        } catch (const SpreadsheetError& error) {
            EXPECT_GT(error.number(), 0);
            EXPECT_NE(error.description().find(c.mentions), std::string::npos)
                << error.description();
        }
    }
    EXPECT_EQ(target.cellCount(), 1u);
    // A block that ends exactly on the last row fits.
    pasteBlock(source, area("A1:C10"), target, {1048566, 0});
    EXPECT_EQ(textAt(target, "A1048567"), "1");
    EXPECT_EQ(textAt(target, "C1048576"), "2");
}

TEST(PasteBlock, UnknownStyleIdsBecomeTheDefaultFormat) {
    // A reader that left an id its tables lack must not make showing or copying read past them.
    Workbook from;
    Sheet& source = from.addSheet("Src");
    putNumber(source, "A1", 0.25, 999);
    EXPECT_EQ(textAt(source, "A1"), "0.25");
    Sheet& other = from.addSheet("Other");
    CellStyle broken;
    broken.numberFormat = 999;
    putNumber(other, "A1", 0.5, from.styles().addStyle(broken));
    EXPECT_EQ(textAt(other, "A1"), "0.5");
    DisplayFormatter formatter(from);
    EXPECT_EQ(formatter.text(*other.findCell(at("A1"))), "0.5");

    Workbook to;
    Sheet& target = to.addSheet("Dst");
    pasteBlock(source, area("A1:A1"), target, at("B2"));
    EXPECT_EQ(target.findCell(at("B2"))->style, 0u);
    EXPECT_EQ(textAt(target, "B2"), "0.25");
    Sheet& copy = copySheet(source, to, 0);
    EXPECT_EQ(copy.findCell(at("A1"))->style, 0u);
}

TEST(PasteBlock, ArrayFormulasMoveWholeOrBecomeValues) {
    Workbook from;
    Sheet& source = from.addSheet("Src");
    Cell& anchor = putFormula(source, "A1", "A3:A4*2");
    anchor.flags = kArrayFormula;
    putNumber(source, "A2", 4);
    source.arrayFormulas().push_back({area("A1:A2")});
    Cell& cut = putFormula(source, "B1", "B3:B4*2");
    cut.flags = kArrayFormula;
    source.arrayFormulas().push_back({area("B1:B5")});

    Workbook to;
    Sheet& target = to.addSheet("Dst");
    Cell& old = putFormula(target, "D1", "1");
    old.flags = kArrayFormula;
    target.arrayFormulas().push_back({area("D1:D5")});  // its lower part gets pasted over

    pasteBlock(source, area("A1:B2"), target, at("C4"));
    ASSERT_EQ(target.arrayFormulas().size(), 1u);
    EXPECT_EQ(target.arrayFormulas()[0].range, area("C4:C5"));
    EXPECT_EQ(formulaAt(target, "C4"), "C6:C7*2");
    EXPECT_TRUE(target.findCell(at("C4"))->flags & kArrayFormula);
    EXPECT_EQ(formulaAt(target, "D4"), "<none>");
    EXPECT_FALSE(target.findCell(at("D4"))->flags & kArrayFormula);
    EXPECT_EQ(formulaAt(target, "D1"), "<none>");
    EXPECT_FALSE(target.findCell(at("D1"))->flags & kArrayFormula);
}

TEST(PasteBlock, ArraysOverWholeRowsColumnsOrTheSheetComeAlongCutToTheBlock) {
    // A source holding A1:C3; each case adds one array formula (its anchor holds "ROW()") and
    // sometimes a cell beyond the block, then pastes the block at E5.
    struct Case {
        const char* what;
        const char* array;
        const char* block;
        const char* beyond;  // a cell the source also holds, or nullptr
        const char* pasted;  // the array's range in the target, or nullptr: its value only
    };
    const Case cases[] = {
        {"the whole sheet", "A1:XFD1048576", "A1:C3", nullptr, "E5:G7"},
        {"a whole column", "B1:B1048576", "A1:C3", nullptr, "F5:F7"},
        {"a whole row", "A2:XFD2", "A1:C3", nullptr, "E6:G6"},
        {"a column to the last row from the middle", "C2:C1048576", "A1:C3", nullptr, "G6:G7"},
        {"the whole sheet, cut where the source holds more", "A1:XFD1048576", "A1:C3", "A10",
         nullptr},
        {"a whole column, its anchor outside the block", "A1:A1048576", "A2:C3", nullptr, nullptr},
        {"an array short of the edge", "A1:A5", "A1:C3", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Workbook from;
        Sheet& source = from.addSheet("Src");
        for (const char* ref : {"A1", "A2", "A3", "B1", "B2", "B3", "C1", "C2", "C3"}) {
            putNumber(source, ref, 1);
        }
        if (c.beyond) {
            putNumber(source, c.beyond, 2);
        }
        const CellRange array = area(c.array);
        source.cellAt(array.first).formula = from.formulas().intern("ROW()") + 1;
        source.cellAt(array.first).flags = kArrayFormula;
        source.arrayFormulas().push_back({array});

        Workbook to;
        Sheet& target = to.addSheet("Dst");
        pasteBlock(source, area(c.block), target, at("E5"));
        if (!c.pasted) {
            EXPECT_TRUE(target.arrayFormulas().empty());
            for (const Row& row : target.rows()) {
                for (const Cell& cell : row.cells) {
                    EXPECT_FALSE(cell.hasFormula() || (cell.flags & kArrayFormula));
                }
            }
            continue;
        }
        ASSERT_EQ(target.arrayFormulas().size(), 1u);
        const CellRange pasted = area(c.pasted);
        EXPECT_EQ(target.arrayFormulas()[0].range, pasted);
        EXPECT_EQ(formulaAt(target, cellName(pasted.first)), "ROW()");
        EXPECT_TRUE(target.findCell(pasted.first)->flags & kArrayFormula);
    }
}

// Two 3x3 blocks pasted at rows 1 and 5, then row 5 deleted: rows 1-3 of the first block,
// an empty row 4, rows 2-3 of the second block in rows 5-6.
TEST(PasteBlock, StackedBlocksWithTheRepeatedFirstRowDeleted) {
    Workbook sources;
    Sheet* blocks[2] = {&sources.addSheet("One"), &sources.addSheet("Two")};
    for (int b = 0; b < 2; ++b) {
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c) {
                putText(*blocks[b], cellName({r, c}),
                        std::to_string(b + 1) + ":" + std::to_string(r + 1) + ":" +
                            std::to_string(c + 1));
            }
        }
    }
    Workbook result;
    Sheet& sheet = result.addSheet("Sheet1");
    pasteBlock(*blocks[0], area("A1:C3"), sheet, at("A1"));
    pasteBlock(*blocks[1], area("A1:C3"), sheet, at("A5"));
    EXPECT_EQ(rangeName(*sheet.usedRange()), "A1:C7");
    deleteRows(sheet, 4, 1);
    EXPECT_EQ(rangeName(*sheet.usedRange()), "A1:C6");
    const char* expected[6] = {"1:1:", "1:2:", "1:3:", nullptr, "2:2:", "2:3:"};
    for (int r = 0; r < 6; ++r) {
        for (int c = 0; c < 3; ++c) {
            const std::string ref = cellName({r, c});
            EXPECT_EQ(textAt(sheet, ref),
                      expected[r] ? expected[r] + std::to_string(c + 1) : std::string("<none>"))
                << ref;
        }
    }
}

TEST(PasteBlock, ManySmallBlocksAtTheBottom) {
    Workbook sources;
    Sheet& source = sources.addSheet("S");
    putText(source, "A1", "head");
    putNumber(source, "B1", 1);
    putFormula(source, "C1", "B1*2");
    Workbook result;
    Sheet& sheet = result.addSheet("R");
    for (int block = 0; block < 500; ++block) {
        pasteBlock(source, area("A1:C1"), sheet, {block * 2, 0});
    }
    EXPECT_EQ(sheet.cellCount(), 1500u);
    EXPECT_EQ(formulaAt(sheet, "C999"), "B999*2");
    EXPECT_EQ(result.strings().size(), 1u);
    for (size_t i = 1; i < sheet.rows().size(); ++i) {
        ASSERT_LT(sheet.rows()[i - 1].index, sheet.rows()[i].index);
    }
}

TEST(PasteBlock, SideBySideBlocksShareRows) {
    Workbook sources;
    Sheet& tall = sources.addSheet("Tall");
    for (int r = 0; r < 4; ++r) {
        putNumber(tall, cellName({r, 0}), r);
    }
    Sheet& wide = sources.addSheet("Wide");
    putText(wide, "B2", "x");
    putText(wide, "C2", "y");
    Workbook result;
    Sheet& sheet = result.addSheet("R");
    pasteBlock(tall, area("A1:A4"), sheet, at("A1"));
    pasteBlock(wide, area("B2:C2"), sheet, at("C1"));
    pasteBlock(tall, area("A1:A4"), sheet, at("B1"));
    EXPECT_EQ(textAt(sheet, "A4"), "3");
    EXPECT_EQ(textAt(sheet, "B4"), "3");
    EXPECT_EQ(textAt(sheet, "C1"), "x");
    EXPECT_EQ(textAt(sheet, "D1"), "y");
    EXPECT_EQ(sheet.rows().front().cells.size(), 4u);
    for (const Row& row : sheet.rows()) {
        for (size_t i = 1; i < row.cells.size(); ++i) {
            ASSERT_LT(row.cells[i - 1].column, row.cells[i].column);
        }
    }
}

class DeleteTest : public ::testing::Test {
protected:
    void SetUp() override {
        data = &book.addSheet("Data");
        summary = &book.addSheet("Summary");
        for (int r = 0; r < 6; ++r) {
            putNumber(*data, cellName({r, 0}), r + 1);
        }
        putFormula(*data, "B1", "SUM(A1:A6)");
        putFormula(*data, "B2", "A5*2");
        putFormula(*data, "B6", "A3+C1");
        putFormula(*summary, "A1", "Data!A5+Data!A3");
        putFormula(*summary, "A2", "A5+'data'!B1");
        data->merges().push_back(area("C2:D4"));
        data->merges().push_back(area("C5:C6"));
        data->merges().push_back(area("E3:E4"));
        data->rowAt(4).height = 30;
        data->rowAt(4).customHeight = true;
        data->setColumnWidth(3, 20);
    }

    Workbook book;
    Sheet* data = nullptr;
    Sheet* summary = nullptr;
};

TEST_F(DeleteTest, RowsMoveAndFormulasFollowOnEverySheet) {
    deleteRows(*data, 2, 2);  // rows 3 and 4
    EXPECT_EQ(textAt(*data, "A3"), "5");
    EXPECT_EQ(textAt(*data, "A4"), "6");
    EXPECT_EQ(textAt(*data, "A5"), "<none>");
    EXPECT_EQ(formulaAt(*data, "B1"), "SUM(A1:A4)");
    EXPECT_EQ(formulaAt(*data, "B2"), "A3*2");
    EXPECT_EQ(formulaAt(*data, "B4"), "#REF!+C1");
    EXPECT_EQ(formulaAt(*summary, "A1"), "Data!A3+Data!#REF!");
    EXPECT_EQ(formulaAt(*summary, "A2"), "A5+'data'!B1");
    EXPECT_EQ((std::vector<CellRange>{area("C2:D2"), area("C3:C4")}), data->merges());
    ASSERT_NE(data->findRow(2), nullptr);
    EXPECT_EQ(data->findRow(2)->height, 30);
    EXPECT_EQ(data->columnWidth(3), 20);
}

TEST_F(DeleteTest, ColumnsMoveWithTheirWidthsAndFormulasFollow) {
    putNumber(*data, "C1", 9);
    deleteColumns(*data, 0, 1);  // column A
    EXPECT_EQ(formulaAt(*data, "A1"), "SUM(#REF!)");
    EXPECT_EQ(formulaAt(*data, "A6"), "#REF!+B1");
    EXPECT_EQ(textAt(*data, "B1"), "9");
    EXPECT_EQ(formulaAt(*summary, "A1"), "Data!#REF!+Data!#REF!");
    EXPECT_EQ(formulaAt(*summary, "A2"), "A5+'data'!A1");
    EXPECT_EQ(data->columnWidth(2), 20);
    EXPECT_EQ(data->columnWidth(3), 0);
    EXPECT_EQ((std::vector<CellRange>{area("B2:C4"), area("B5:B6"), area("D3:D4")}),
              data->merges());
    deleteColumns(*data, 1, 2);  // B and C
    EXPECT_EQ((std::vector<CellRange>{area("B3:B4")}), data->merges());
    EXPECT_EQ(data->columnWidth(1), 0);
}

TEST_F(DeleteTest, RejectsLinesOutsideTheSheet) {
    EXPECT_THROW(deleteRows(*data, -1, 1), SpreadsheetError);
    EXPECT_THROW(deleteRows(*data, 1048576, 1), SpreadsheetError);
    EXPECT_THROW(deleteRows(*data, 0, 0), SpreadsheetError);
    EXPECT_THROW(deleteColumns(*data, 16383, 2), SpreadsheetError);
    EXPECT_EQ(data->cellCount(), 9u);
    deleteRows(*data, 1048575, 1);  // the last row: nothing there, nothing changes
    EXPECT_EQ(formulaAt(*data, "B1"), "SUM(A1:A6)");
}

TEST(DeleteRows, CutArrayFormulaKeepsItsValues) {
    Workbook book;
    Sheet& sheet = book.addSheet("S");
    Cell& anchor = putFormula(sheet, "A1", "B1:B3*2");
    anchor.flags = kArrayFormula;
    anchor.value.number = 8;
    sheet.arrayFormulas().push_back({area("A1:A3")});
    Cell& whole = putFormula(sheet, "C5", "1");
    whole.flags = kArrayFormula;
    sheet.arrayFormulas().push_back({area("C5:C6")});
    deleteRows(sheet, 1, 1);
    EXPECT_EQ(formulaAt(sheet, "A1"), "<none>");
    EXPECT_EQ(textAt(sheet, "A1"), "8");
    ASSERT_EQ(sheet.arrayFormulas().size(), 1u);
    EXPECT_EQ(sheet.arrayFormulas()[0].range, area("C4:C5"));
    EXPECT_EQ(formulaAt(sheet, "C4"), "1");
}

TEST(CopySheet, KeepsTheSheetsVisibility) {
    for (const SheetVisibility visibility :
         {SheetVisibility::Visible, SheetVisibility::Hidden, SheetVisibility::VeryHidden}) {
        Workbook from;
        Sheet& source = from.addSheet("S");
        source.setVisibility(visibility);
        Workbook to;
        to.addSheet("Shown");
        EXPECT_EQ(copySheet(source, to, 0).visibility(), visibility);
    }
}

TEST(CopySheet, CopiesEverythingUnderAFreeName) {
    Workbook from;
    from.setDate1904(true);
    Sheet& data = from.addSheet("Data");
    from.addSheet("Other");
    putText(data, "A1", "title");
    const uint32_t dateStyle = addStyle(from, "d-mmm-yy", true);
    putNumber(data, "A2", 0, dateStyle);
    putFormula(data, "B1", "Data!A2+Other!A1+A2");
    data.merges().push_back(area("A1:B1"));
    data.setColumnWidth(1, 25);
    data.rowAt(3).height = 40;
    data.rowAt(3).customHeight = true;
    data.setVisibility(SheetVisibility::Hidden);
    data.setDefaultColumnWidth(10);

    Workbook to;
    to.addSheet("Data");
    to.addSheet("Last");
    Sheet& first = copySheet(data, to, 1);
    Sheet& second = copySheet(data, to, 0);
    EXPECT_EQ(first.name(), "Data (2)");
    EXPECT_EQ(second.name(), "Data (3)");
    EXPECT_EQ(to.indexOf(second), 0);
    EXPECT_EQ(to.indexOf(first), 2);
    EXPECT_EQ(to.sheet(3).name(), "Last");
    EXPECT_EQ(first.visibility(), SheetVisibility::Hidden);
    EXPECT_EQ(textAt(first, "A1"), "title");
    EXPECT_EQ(textAt(first, "A2"), "1-Jan-04");
    EXPECT_TRUE(to.styles().font(to.styles().style(first.findCell(at("A2"))->style).font).bold);
    EXPECT_EQ(formulaAt(first, "B1"), "'Data (2)'!A2+Other!A1+A2");
    EXPECT_EQ(formulaAt(second, "B1"), "'Data (3)'!A2+Other!A1+A2");
    EXPECT_EQ(first.merges(), data.merges());
    EXPECT_EQ(first.columnWidth(1), 25);
    EXPECT_EQ(first.findRow(3)->height, 40);
    EXPECT_EQ(first.defaultColumnWidth(), 10);

    Sheet& again = copySheet(data, from, 5);
    EXPECT_EQ(again.name(), "Data (2)");
    EXPECT_EQ(from.indexOf(again), 2);
    EXPECT_EQ(formulaAt(again, "B1"), "'Data (2)'!A2+Other!A1+A2");
    EXPECT_EQ(formulaAt(data, "B1"), "Data!A2+Other!A1+A2");

    // A long name is cut so that the suffix fits in 31 characters.
    Workbook longNames;
    Sheet& longSheet = longNames.addSheet(std::string(31, 'x'));
    Sheet& copy = copySheet(longSheet, longNames, 1);
    EXPECT_EQ(copy.name(), std::string(27, 'x') + " (2)");
}

// Cells that refer to themselves compute only where the workbook iterates, so a workbook
// taking them in iterates too, as often and as finely as the strictest of its sources.
TEST(IterativeCalculation, TravelsWithPastedAndCopiedCells) {
    struct Case {
        IterativeCalculation target;
        IterativeCalculation source;
        IterativeCalculation expected;
    };
    const IterativeCalculation off;
    const IterativeCalculation fine{.enabled = true, .maxIterations = 50, .maxChange = 0.0001};
    const IterativeCalculation many{.enabled = true, .maxIterations = 500, .maxChange = 0.01};
    const Case cases[] = {
        {off, off, off},
        {off, many, many},
        {fine, off, fine},
        {fine, many, {.enabled = true, .maxIterations = 500, .maxChange = 0.0001}},
    };
    for (const Case& c : cases) {
        for (bool copy : {false, true}) {
            Workbook source;
            source.setIterativeCalculation(c.source);
            Sheet& from = source.addSheet("Loop");
            putFormula(from, "A1", "A1+1");
            Workbook target;
            target.setIterativeCalculation(c.target);
            if (copy) {
                copySheet(from, target, 0);
            } else {
                pasteBlock(from, area("A1"), target.addSheet("S"), at("B2"));
            }
            EXPECT_EQ(target.iterativeCalculation(), c.expected)
                << (copy ? "copy " : "paste ") << c.source.maxIterations << " into "
                << c.target.maxIterations;
        }
    }
}

}  // namespace
}  // namespace plyfold::engine
