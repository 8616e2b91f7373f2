#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "engine/model/workbook.h"
#include "engine/ops/autofit.h"
#include "engine/ops/sheet_ops.h"

namespace plyfold::engine {
namespace {

class AutoFitTest : public ::testing::Test {
protected:
    Cell& put(std::string_view ref, std::string_view text, uint32_t style = 0) {
        Cell& cell = sheet.cellAt(*parseCellName(ref));
        cell.type = CellType::Text;
        cell.value.text = book.strings().intern(text);
        cell.style = style;
        return cell;
    }
    uint32_t fontStyle(double size, bool bold, std::string name = "Calibri") {
        Font font;
        font.name = std::move(name);
        font.size = size;
        font.bold = bold;
        CellStyle style;
        style.font = book.styles().addFont(font);
        return book.styles().addStyle(style);
    }
    double width(int32_t column) const { return sheet.columnWidth(column); }

    Workbook book;
    Sheet& sheet = book.addSheet("S");
};

TEST_F(AutoFitTest, WiderForLongerTextBiggerAndBolderFonts) {
    put("A1", "Name");
    put("B1", "A much longer heading");
    put("C1", "A much longer heading", fontStyle(16, false));
    put("D1", "A much longer heading", fontStyle(11, true));
    put("E1", "iiiiiiiiii");
    put("F1", "WWWWWWWWWW");
    autoFitColumns(sheet);
    EXPECT_GT(width(0), 0);
    EXPECT_GT(width(1), width(0));
    EXPECT_GT(width(2), width(1) * 1.3);
    EXPECT_GT(width(3), width(1));
    EXPECT_LT(width(3), width(2));
    EXPECT_GT(width(5), width(4) * 2);
}

TEST_F(AutoFitTest, DigitsOfTheDefaultFontSetTheUnit) {
    Cell& number = sheet.cellAt({0, 0});
    number.type = CellType::Number;
    number.value.number = 1234567890;
    put("B1", "1234567890");
    put("C1", "12345");
    autoFitColumns(sheet);
    // Ten digits need ten digit widths and a little room, in a default-font sheet.
    EXPECT_GE(width(0), 10.0);
    EXPECT_LE(width(0), 12.0);
    EXPECT_DOUBLE_EQ(width(0), width(1));
    EXPECT_NEAR(width(1) - width(2), 5.0, 0.01);
    // Widths are kept in the 1/256 steps of the file formats.
    EXPECT_DOUBLE_EQ(width(0) * 256, std::floor(width(0) * 256));

    // The same digits in another font family and size scale with it.
    Font arial;
    arial.name = "Arial";
    arial.size = 10;
    EXPECT_NEAR(textWidthInDigits("1234567890", arial, arial), 10.0, 1e-9);
    Font big = arial;
    big.size = 20;
    EXPECT_NEAR(textWidthInDigits("1234567890", big, arial), 20.0, 1e-9);
}

TEST_F(AutoFitTest, ShownTextIsMeasuredNotTheStoredValue) {
    CellStyle money;
    money.numberFormat = book.styles().addFormatCode("#,##0.00 \"Euro\"");
    const uint32_t moneyStyle = book.styles().addStyle(money);
    for (int column : {0, 1}) {
        Cell& cell = sheet.cellAt({0, column});
        cell.type = CellType::Number;
        cell.value.number = 1234567.891;
        cell.style = column == 1 ? moneyStyle : 0;
    }
    autoFitColumns(sheet);
    EXPECT_GT(width(1), width(0) + 3);
}

TEST_F(AutoFitTest, KeepsEmptyHiddenAndMergedColumnsAsTheyAre) {
    sheet.setColumnWidth(1, 30);  // nothing in it: keeps its width
    sheet.setColumnWidth(2, 4);
    sheet.columns().back().hidden = true;
    put("C1", "hidden text that is long");
    put("D1", "a merged text much wider than anything else");
    sheet.merges().push_back(*parseRangeName("D1:E1"));
    put("D2", "abc");
    put("F3", "spans rows");
    sheet.merges().push_back(*parseRangeName("F3:F4"));
    autoFitColumns(sheet);
    EXPECT_EQ(width(1), 30);
    EXPECT_EQ(width(2), 4);
    EXPECT_TRUE(sheet.columns()[1].hidden);
    EXPECT_GT(width(3), 0);
    EXPECT_LT(width(3), 6);  // only "abc" counts
    EXPECT_EQ(width(5), 0);
}

TEST_F(AutoFitTest, CapsAndWrapsWidths) {
    put("A1", std::string(1000, 'x'));
    CellStyle wrapped;
    wrapped.alignment.wrapText = true;
    const uint32_t wrapStyle = book.styles().addStyle(wrapped);
    put("B1", std::string(200, 'x'), wrapStyle);
    sheet.setColumnWidth(1, 12);
    put("C1", "short\nlines", wrapStyle);
    put("D1", "short\nlines");
    autoFitColumns(sheet);
    EXPECT_EQ(width(0), kMaxColumnWidth);
    EXPECT_LE(width(1), 12);
    EXPECT_GT(width(1), 11);
    EXPECT_LT(width(2), width(3));
}

TEST_F(AutoFitTest, TextsSharedByManyCellsFitEachStyleAsACellAloneWould) {
    // Long texts are measured once for each style they are shown in: the same text in cells
    // of other styles must still get the width each style gives it alone.
    CellStyle wrapped;
    wrapped.alignment.wrapText = true;
    CellStyle indented;
    indented.alignment.indent = 3;
    CellStyle labelled;
    labelled.numberFormat = book.styles().addFormatCode("\"Item: \"@");
    CellStyle hidden;
    hidden.numberFormat = book.styles().addFormatCode(";;;");
    struct Case {
        const char* what;
        uint32_t style;
        double presetWidth;
    };
    const Case cases[] = {
        {"plain", 0, 0},
        {"bigger font", fontStyle(14, false), 0},
        {"bold", fontStyle(11, true), 0},
        {"wrapped in a column of 20", book.styles().addStyle(wrapped), 20},
        {"indented", book.styles().addStyle(indented), 0},
        {"text format with a label", book.styles().addStyle(labelled), 0},
        {"format that shows nothing", book.styles().addStyle(hidden), 0},
    };
    // Below, at and above the length from which texts are measured once.
    const std::string texts[] = {std::string(200, 'i'), std::string(255, 'W'),
                                 std::string(256, 'i'), std::string(400, 'i') + "\nshort"};
    int32_t column = 0;
    std::vector<std::pair<std::string, double>> expected;  // what, width
    for (const std::string& text : texts) {
        for (const Case& c : cases) {
            Sheet& alone = book.addSheet("Alone" + std::to_string(column));
            Cell& cell = alone.cellAt({0, 0});
            cell.type = CellType::Text;
            cell.value.text = book.strings().intern(text);
            cell.style = c.style;
            if (c.presetWidth > 0) {
                alone.setColumnWidth(0, c.presetWidth);
                sheet.setColumnWidth(column, c.presetWidth);
            }
            autoFitColumns(alone);
            expected.emplace_back(std::string(c.what) + ", " + std::to_string(text.size()),
                                  alone.columnWidth(0));
            for (int32_t row = 0; row < 3; ++row) {
                Cell& shared = sheet.cellAt({row, column});
                shared.type = CellType::Text;
                shared.value.text = book.strings().intern(text);
                shared.style = c.style;
            }
            ++column;
        }
    }
    autoFitColumns(sheet);
    for (int32_t i = 0; i < column; ++i) {
        EXPECT_EQ(width(i), expected[static_cast<size_t>(i)].second)
            << expected[static_cast<size_t>(i)].first;
    }
    EXPECT_GT(width(1), width(0));
    EXPECT_EQ(width(6), 0);  // shows nothing: left as it was
}

// A formula saved without its result shows nothing until it is computed; a pasted or
// copied column holding one is never fitted narrower than the column it came from.
TEST(AutoFitAwaitingResults, NeverNarrowerThanTheSourceColumn) {
    enum class Other { Nothing, ShortText, LongText, CachedNumber };
    struct Case {
        const char* name;
        bool cached;         // the formula has a result
        double sourceWidth;  // 0: the source column has the default width
        double sourceDefault;
        Other other;      // what else the column holds
        double expected;  // < 0: the fitted width of the other cell alone
    };
    const Case cases[] = {
        {"alone, wide source", false, 20, 8.43, Other::Nothing, 20},
        {"alone, default source width", false, 0, 14, Other::Nothing, 14},
        {"alone, source narrower than the target's default", false, 5, 8.43, Other::Nothing, 0},
        {"beside a short text", false, 20, 8.43, Other::ShortText, 20},
        {"beside a text wider than the source", false, 20, 8.43, Other::LongText, -1},
        {"beside a computed number", false, 20, 8.43, Other::CachedNumber, 20},
        {"with a result, fitted as usual", true, 20, 8.43, Other::ShortText, -1},
        {"with a result alone, fitted as usual", true, 20, 8.43, Other::Nothing, -1},
    };
    for (const Case& c : cases) {
        Workbook from;
        Sheet& source = from.addSheet("Src");
        source.setDefaultColumnWidth(c.sourceDefault);
        if (c.sourceWidth > 0) {
            source.setColumnWidth(1, c.sourceWidth);
        }
        Cell& formula = source.cellAt({0, 1});
        formula.formula = from.formulas().intern("SUM(Data!B:B)") + 1;
        if (c.cached) {
            formula.type = CellType::Number;
            formula.value.number = 12;
        }
        if (c.other != Other::Nothing) {
            Cell& other = source.cellAt({1, 1});
            if (c.other == Other::CachedNumber) {
                other.type = CellType::Number;
                other.value.number = 3;
            } else {
                other.type = CellType::Text;
                other.value.text = from.strings().intern(
                    c.other == Other::ShortText ? "ab" : std::string(40, 'W'));
            }
        }
        // The cells of the block that show something, alone, for the width they ask for.
        Workbook alone;
        Sheet& fitted = alone.addSheet("T");
        pasteBlock(source, CellRange{{c.cached ? 0 : 1, 1}, {1, 1}}, fitted, {0, 3});
        autoFitColumns(fitted);

        Workbook to;
        Sheet& target = to.addSheet("T");
        pasteBlock(source, CellRange{{0, 1}, {1, 1}}, target, {0, 3});
        autoFitColumns(target);
        const double expected = c.expected >= 0 ? c.expected : fitted.columnWidth(3);
        EXPECT_DOUBLE_EQ(target.columnWidth(3), expected) << c.name;
        EXPECT_EQ(target.fitFloors().empty(), c.cached) << c.name;

        Sheet& copy = copySheet(source, to, 1);
        copy.setColumnWidth(1, 1);  // whatever width the copy got, fitting restores the floor
        autoFitColumns(copy);
        if (!c.cached) {
            EXPECT_GE(copy.columnWidth(1), c.sourceWidth > 0 ? c.sourceWidth : c.sourceDefault)
                << c.name << " copied";
        }
    }
}

TEST(AutoFitAwaitingResults, FloorsMoveWithDeletedColumnsAndHiddenColumnsStay) {
    Workbook from;
    Sheet& source = from.addSheet("Src");
    for (int32_t column = 0; column < 3; ++column) {
        source.setColumnWidth(column, 20 + column);
        source.cellAt({0, column}).formula = from.formulas().intern("NOW()") + 1;
    }
    Workbook to;
    Sheet& target = to.addSheet("T");
    pasteBlock(source, CellRange{{0, 0}, {0, 2}}, target, {0, 4});
    EXPECT_EQ(target.fitFloors(), (std::map<int32_t, double>{{4, 20}, {5, 21}, {6, 22}}));
    deleteColumns(target, 4, 1);  // a repeated first column dropped
    EXPECT_EQ(target.fitFloors(), (std::map<int32_t, double>{{4, 21}, {5, 22}}));
    target.setColumnWidth(5, 3);
    target.columns().back().hidden = true;
    autoFitColumns(target);
    EXPECT_DOUBLE_EQ(target.columnWidth(4), 21);
    EXPECT_DOUBLE_EQ(target.columnWidth(5), 3) << "hidden columns are left as they are";
    // A paste over the same sheet keeps the source column's floor too.
    pasteBlock(target, CellRange{{0, 4}, {0, 4}}, target, {2, 0});
    EXPECT_DOUBLE_EQ(target.fitFloors().at(0), 21);
}

TEST(AutoFitAwaitingResults, FloorsGiveTheSameRoomWhereTheDefaultFontsDiffer) {
    // Widths count digits of the workbook's default font: a column 10 digits of Calibri 22
    // wide is 20 digits of Calibri 11 wide.
    Workbook from;
    Font large;
    large.size = 22;
    from.styles().setDefaultFont(large);
    Sheet& source = from.addSheet("Src");
    source.setColumnWidth(0, 10);
    source.cellAt({0, 0}).formula = from.formulas().intern("NOW()") + 1;
    Workbook to;
    Sheet& target = to.addSheet("T");
    pasteBlock(source, CellRange{{0, 0}, {0, 0}}, target, {0, 0});
    autoFitColumns(target);
    EXPECT_DOUBLE_EQ(target.columnWidth(0), 20);
}

TEST(TextWidth, CountsCharactersOfAllKinds) {
    Font font;
    EXPECT_EQ(textWidthInDigits("", font, font), 0);
    EXPECT_NEAR(textWidthInDigits("0", font, font), 1.0, 1e-9);
    EXPECT_GT(textWidthInDigits("日本語", font, font), textWidthInDigits("abc", font, font) * 1.5);
    EXPECT_NEAR(textWidthInDigits("e\xCC\x81", font, font), textWidthInDigits("e", font, font),
                1e-9);  // a combining accent takes no room
    EXPECT_GT(textWidthInDigits("\xC3\xA9t\xC3\xA9", font, font), 2.0);
    // Broken UTF-8 is measured without reading past the text.
    EXPECT_GT(textWidthInDigits("\xE6\x97", font, font), 0);
}

}  // namespace
}  // namespace plyfold::engine
