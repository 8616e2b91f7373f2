#include <gtest/gtest.h>

#include <cmath>
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
