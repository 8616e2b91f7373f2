#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "engine/model/workbook.h"
#include "engine/ops/autofit.h"
#include "engine/ops/sheet_ops.h"

namespace plyfold::engine {
namespace {

// Fills a sheet; called once for each of two workbooks, so it must do the same each time.
using Filler = std::function<void(Workbook&, Sheet&)>;

uint32_t styleOf(Workbook& book, const char* font, double size, bool bold, const char* format,
                 bool wrap = false, uint8_t indent = 0) {
    Font f;
    f.name = font;
    f.size = size;
    f.bold = bold;
    CellStyle style;
    style.font = book.styles().addFont(f);
    style.numberFormat = book.styles().addFormatCode(format);
    style.alignment.wrapText = wrap;
    style.alignment.indent = indent;
    return book.styles().addStyle(style);
}

void putText(Workbook& book, Sheet& sheet, CellRef at, std::string_view text, uint32_t style) {
    Cell& cell = sheet.cellAt(at);
    cell.type = CellType::Text;
    cell.value.text = book.strings().intern(text);
    cell.style = style;
}

void putNumber(Sheet& sheet, CellRef at, double value, uint32_t style) {
    Cell& cell = sheet.cellAt(at);
    cell.type = CellType::Number;
    cell.value.number = value;
    cell.style = style;
}

// Fits the same sheet both ways and expects the very same widths, column by column.
void expectSameFit(const Filler& fill) {
    Workbook fast, plain;
    Sheet& fastSheet = fast.addSheet("S");
    Sheet& plainSheet = plain.addSheet("S");
    fill(fast, fastSheet);
    fill(plain, plainSheet);
    autoFitColumns(fastSheet);
    autoFitColumnsMeasuringEveryCell(plainSheet);
    bool fitted = false;
    for (int32_t column = 0; column < 40; ++column) {
        EXPECT_EQ(fastSheet.columnWidth(column), plainSheet.columnWidth(column))
            << "column " << column;
        fitted |= plainSheet.columnWidth(column) > 0;
    }
    EXPECT_TRUE(fitted);
}

// Values down a column, in the order given: the widest first, last, or among equals.
struct Column {
    const char* name;
    const char* font;
    double size;
    bool bold;
    const char* format;
    std::vector<double> numbers;
    std::vector<std::string> texts;
};

TEST(AutoFitShortcuts, SameWidthsAsMeasuringEveryCell) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<Column> columns = {
        {"integers, widest first",
         "Calibri",
         11,
         false,
         "General",
         {99999, 1, 12, 10000, 99999, 54321, -9999, 0},
         {}},
        {"integers, widest last",
         "Calibri",
         11,
         false,
         "General",
         {1, 22, 333, 4444, -4444, 55555},
         {}},
        {"two decimals",
         "Arial",
         10,
         false,
         "General",
         {12345.67, 99999.99, 12345.6, 1.5, 100000, 0.25, -99999.99, 12345.675},
         {}},
        {"more decimals than the bound reads",
         "Calibri",
         11,
         false,
         "General",
         {1.2345, 123456789.125, 0.1 + 0.2, 999999999.5, 1e9, 1e10, 12345678.9, 1.5},
         {}},
        {"General rounds and goes scientific",
         "Calibri",
         11,
         true,
         "General",
         {1.0 / 3, 2.0 / 3, 123456789012.0, 1e-7, 9999999999.5, 99999.99999999, 1e300, -1e-300},
         {}},
        {"not finite", "Calibri", 11, false, "General", {nan, inf, -inf, 5, 12.5}, {}},
        {"Courier", "Courier New", 12, false, "General", {1, 123.45, -7, 99.5, 1234567}, {}},
        {"an installed face",
         "DejaVu Serif",
         11,
         false,
         "General",
         {111111, 12.5, 888888, 99.25, 1, -111111},
         {}},
        {"a family nothing matches",
         "No Such Font 7",
         11,
         false,
         "General",
         {444.44, 12, 1000000, 7.5},
         {}},
        {"dates", "Calibri", 11, false, "yyyy-mm-dd", {44927, 44928, 44927, 45000, 44927}, {}},
        {"month names",
         "Calibri",
         11,
         false,
         "d mmmm yyyy",
         {44927, 45170, 45078, 44927, 45170, 45231, 45078},
         {}},
        {"currency",
         "Calibri",
         11,
         false,
         "\"$\"#,##0.00;[Red]-\"$\"#,##0.00",
         {1234.5, -99999.99, 0, 100, 1e6, -0.004},
         {}},
        {"percentages", "Arial", 11, false, "0.0%", {0.125, 1, 0.9999, -2.5, 0.5, 0.125}, {}},
        {"scientific", "Calibri", 14, false, "0.00E+00", {12345, 1e-12, 9.999e99, 1e100}, {}},
        {"fractions", "Calibri", 11, false, "# ?/?", {0.5, 1.25, 3.333, 10.75}, {}},
        {"texts in Calibri",
         "Calibri",
         11,
         false,
         "General",
         {},
         {"Name", "WWWWWWWW", "iiiiiiiiiiiiiiiii", "Name", "", "mmmm", "WWWWWWWW", "i"}},
        {"texts in bold Arial",
         "Arial",
         16,
         true,
         "General",
         {},
         {"Region", "North", "Centre", "Region", "South", "@@@@", "East"}},
        {"texts beyond ASCII",
         "Calibri",
         11,
         false,
         "General",
         {},
         {"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E",
          "Stra\xC3\x9F"
          "e",
          "abc", "\xF0\x9F\x98\x80\xF0\x9F\x98\x80", "a\x01\x02\x03", "\xC3", "\xE6\x97",
          "\x80\x80xx", "ab\xCC\x81", "\xEF\xBB\xBFxyz"}},
        {"texts in an installed face",
         "DejaVu Sans",
         11,
         false,
         "General",
         {},
         {"Mountain", "iii", "WWWW", "\xE6\x97\xA5\xE6\x9C\xAC", "Mountain", "x"}},
        {"texts through a text format",
         "Calibri",
         11,
         false,
         "\"<\"@\">\"",
         {},
         {"iiiiiiiiiiiiiiiiii", "WWWWW", "abc", "a", "abcdef", "abc"}},
        {"narrow letters, then wide ones",
         "Calibri",
         11,
         false,
         "General",
         {},
         {"iiiiiiiiiiiiiiiii", "WWWWWW", "@@@@@@", "iiiiiiiiiiiiiiiii"}},
        {"rounded up to the next power of ten",
         "Calibri",
         11,
         false,
         "#,##0.00",
         {12345.67, 99999.996, 99999.994, 9.996, -12345.67, -99999.996},
         {}},
        {"month names, the narrow first",
         "Calibri",
         11,
         false,
         "mmmm",
         {45200, 45170, 45261, 45047},
         {}},
        {"fractions, the narrow first",
         "Calibri",
         11,
         false,
         "# ?\?/?\?",
         {5.5, 1.37, 2.718281828, 3.0 / 7, 2},
         {}},
        {"a sign after the same digits",
         "Calibri",
         11,
         false,
         "General",
         {12345.5, -12345.5, 99999, -99999},
         {}},
        {"texts in a monospaced font",
         "Courier New",
         10,
         false,
         "General",
         {},
         {"abcdef", "abc", "\xE6\x97\xA5\xE6\x9C\xAC", "abcdefg"}},
    };
    int32_t index = 0;
    for (const Column& column : columns) {
        SCOPED_TRACE(column.name);
        const int32_t at = index++;
        expectSameFit([&](Workbook& book, Sheet& sheet) {
            const uint32_t style =
                styleOf(book, column.font, column.size, column.bold, column.format);
            int32_t row = 0;
            for (double number : column.numbers) {
                putNumber(sheet, {row++, at}, number, style);
            }
            for (const std::string& text : column.texts) {
                putText(book, sheet, {row++, at}, text, style);
            }
        });
    }
}

TEST(AutoFitShortcuts, WrappedIndentedAndMergedCellsFitAlike) {
    expectSameFit([](Workbook& book, Sheet& sheet) {
        const uint32_t wrapped = styleOf(book, "Calibri", 11, false, "General", true);
        const uint32_t indented = styleOf(book, "Calibri", 11, false, "General", false, 3);
        const uint32_t wrappedIndented = styleOf(book, "Arial", 12, true, "General", true, 2);
        const uint32_t plain = styleOf(book, "Calibri", 11, false, "General");
        CellStyle wrappedAlike = book.styles().style(plain);  // the same font, wrapped
        wrappedAlike.alignment.wrapText = true;
        const uint32_t plainWrapped = book.styles().addStyle(wrappedAlike);
        sheet.setColumnWidth(0, 6.0);
        sheet.setColumnWidth(2, 30.0);
        const char* texts[] = {"a short line\na much longer second line of text", "tiny",
                               "one long line that wraps at the column's width", "x\n\nyy\nzzz",
                               "tiny"};
        int32_t row = 0;
        for (const char* text : texts) {
            putText(book, sheet, {row, 0}, text, wrapped);
            putText(book, sheet, {row, 1}, text, indented);
            putText(book, sheet, {row, 2}, text, wrappedIndented);
            putNumber(sheet, {row, 3}, 12345.5 * row, indented);
            putNumber(sheet, {row, 4}, 99.25 + row, wrapped);
            ++row;
        }
        // A text measured wrapped in a wide column, then in the same font unwrapped.
        sheet.setColumnWidth(7, 100.0);
        const char* lines = "the first line of a text\nand the second line of the same text";
        putText(book, sheet, {20, 7}, lines, plainWrapped);
        putText(book, sheet, {21, 8}, lines, plain);
        // A wide merged cell counts for nothing; the narrow cell beside it does.
        putText(book, sheet, {row, 5}, "a merged title far wider than the rest", plain);
        putText(book, sheet, {row + 1, 5}, "short", plain);
        putNumber(sheet, {row + 2, 5}, 123456789, plain);
        sheet.merges().push_back(CellRange{{row, 5}, {row + 1, 6}});
    });
}

// Many rows of mixed cells in shuffled order: each column gets many chances to skip a cell
// whose bound is at or just below the widest so far, and the caches fill and give up.
TEST(AutoFitShortcuts, RandomSheetsFitAlike) {
    for (uint32_t seed = 1; seed <= 4; ++seed) {
        SCOPED_TRACE(seed);
        expectSameFit([seed](Workbook& book, Sheet& sheet) {
            std::vector<uint32_t> styles = {
                styleOf(book, "Calibri", 11, false, "General"),
                styleOf(book, "Calibri", 11, true, "General"),
                styleOf(book, "Arial", 9, false, "#,##0.00"),
                styleOf(book, "Courier New", 11, false, "0.00%"),
                styleOf(book, "Calibri", 11, false, "yyyy-mm-dd"),
                styleOf(book, "DejaVu Sans", 10, false, "General"),
                styleOf(book, "Calibri", 20, false, "General", true),
                styleOf(book, "Arial", 11, false, "mmm d, yyyy"),
                styleOf(book, "Calibri", 11, false, "#,##0"),
                styleOf(book, "Arial", 10, true, "0.0E+00"),
                styleOf(book, "Calibri", 11, false, "??0.0#;(0.00)"),
            };
            std::mt19937 random(seed);
            auto number = [&]() -> double {
                switch (random() % 7) {
                    case 0:
                        return static_cast<double>(random() % 100000);
                    case 1:
                        return static_cast<double>(random() % 10000000) / 100;
                    case 2:
                        return -static_cast<double>(random() % 100000) / 1000;
                    case 3:
                        return std::ldexp(static_cast<double>(random()),
                                          -static_cast<int>(random() % 40));
                    case 4:
                        return 44927 + static_cast<double>(random() % 400);
                    case 5:
                        return static_cast<double>(random() % 1000) + 0.9999999;
                    default:
                        return std::pow(10.0, static_cast<int>(random() % 12)) -
                               static_cast<double>(random() % 3) * 0.0005;
                }
            };
            auto text = [&] {
                static const char* const parts[] = {"al",       "WW",           "i", "mm", " ",
                                                    "\xC3\xA9", "\xE6\x97\xA5", "7", "-",  "\n"};
                std::string t;
                for (uint32_t n = random() % 12; n > 0; --n) {
                    t += parts[random() % 10];
                }
                return t;
            };
            for (int32_t row = 0; row < 6000; ++row) {
                for (int32_t column = 0; column < 6; ++column) {
                    const uint32_t style =
                        styles[(random() % 3 == 0) ? random() % styles.size() : column];
                    if (random() % 3 == 0) {
                        putText(book, sheet, {row, column}, text(), style);
                    } else {
                        putNumber(sheet, {row, column}, number(), style);
                    }
                }
            }
        });
    }
}

}  // namespace
}  // namespace plyfold::engine
