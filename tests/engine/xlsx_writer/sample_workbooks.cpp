#include "tests/engine/xlsx_writer/sample_workbooks.h"

#include <random>
#include <string>

namespace plyfold::test {

using namespace plyfold::engine;

namespace {

void put(Sheet& sheet, CellRef ref, CellType type, double number = 0, uint32_t style = 0) {
    Cell& cell = sheet.cellAt(ref);
    cell.type = type;
    cell.value.number = number;
    cell.style = style;
}

void putText(Sheet& sheet, CellRef ref, std::string_view text, uint32_t style = 0) {
    Cell& cell = sheet.cellAt(ref);
    cell.type = CellType::Text;
    cell.value.text = sheet.workbook().strings().intern(text);
    cell.style = style;
}

}  // namespace

std::unique_ptr<Workbook> everythingWorkbook() {
    auto book = std::make_unique<Workbook>();
    book->setDate1904(true);
    book->setIterativeCalculation({.enabled = true, .maxIterations = 250, .maxChange = 0.0005});
    StyleTable& styles = book->styles();
    std::vector<uint32_t> styleIds;
    {
        Font font;
        font.name = "Arial";
        font.scheme.clear();
        font.size = 9.5;
        font.bold = font.italic = font.strike = true;
        font.underline = Underline::DoubleAccounting;
        font.verticalAlign = VerticalTextAlign::Superscript;
        font.color = Color::rgb(0xFF123456);
        font.charset = 0;
        Fill fill;
        fill.pattern = PatternType::DarkTrellis;
        fill.foreground = Color::rgb(0xFFFF0000);
        fill.background = Color::rgb(0xFF00FF00);
        Border border;
        border.left = {BorderStyle::Thick, Color::rgb(0xFF0000FF)};
        border.right = {BorderStyle::MediumDashDotDot, Color::automatic()};
        border.top = {BorderStyle::Hair, {}};
        border.bottom = {BorderStyle::Double, Color::rgb(0xFF808080)};
        border.diagonal = {BorderStyle::Thin, Color::rgb(0xFF000000)};
        border.diagonalUp = border.diagonalDown = true;
        CellStyle style;
        style.font = styles.addFont(font);
        style.fill = styles.addFill(fill);
        style.border = styles.addBorder(border);
        style.numberFormat = styles.addFormatCode("[$-409]d mmmm yyyy;@");
        style.alignment = {
            HorizontalAlign::Distributed, VerticalAlign::Justify, true, false, 2, 45, 2};
        style.protection = {false, true};
        styleIds.push_back(styles.addStyle(style));
    }
    {
        CellStyle style;
        style.numberFormat = styles.addFormatCode("0.00%");
        style.alignment.shrinkToFit = true;
        style.alignment.textRotation = 255;
        Font font;
        font.name = "Cambria";
        font.scheme = "major";
        font.underline = Underline::Single;
        style.font = styles.addFont(font);
        Fill gray;
        gray.pattern = PatternType::Gray0625;
        style.fill = styles.addFill(gray);
        styleIds.push_back(styles.addStyle(style));
    }

    Sheet& data = book->addSheet("Data & more");
    put(data, {0, 0}, CellType::Number, 1.0 / 3.0, styleIds[0]);
    put(data, {0, 1}, CellType::Number, -1e-300, styleIds[1]);
    putText(data, {0, 2}, "  spaced \"text\" <&> ");
    putText(data, {0, 3}, "lines\r\nand\ttabs\x01 _x0041_");
    putText(data, {0, 4}, "=not a formula");
    putText(data, {0, 5}, "caf\xC3\xA9 \xF0\x9F\x98\x80");
    put(data, {1, 0}, CellType::Boolean, 0);
    data.cellAt({1, 0}).value.boolean = true;
    Cell& error = data.cellAt({1, 1});
    error.type = CellType::Error;
    error.value.error = ErrorValue::NA;
    put(data, {1, 2}, CellType::Blank, 0, styleIds[1]);
    put(data, {2, 0}, CellType::Number, 12);
    data.cellAt({2, 0}).formula = book->formulas().intern("SUM(A1:B1)*2") + 1;
    putText(data, {2, 1}, "ab");
    data.cellAt({2, 1}).formula = book->formulas().intern("\"a\"&\"b\"") + 1;
    Cell& boolFormula = data.cellAt({2, 2});
    boolFormula.type = CellType::Boolean;
    boolFormula.value.boolean = false;
    boolFormula.formula = book->formulas().intern("1>2") + 1;
    Cell& errorFormula = data.cellAt({2, 3});
    errorFormula.type = CellType::Error;
    errorFormula.value.error = ErrorValue::Div0;
    errorFormula.formula = book->formulas().intern("1/0") + 1;
    put(data, {4, 0}, CellType::Number, 2);
    data.cellAt({4, 0}).formula = book->formulas().intern("A1:A2*2") + 1;
    data.cellAt({4, 0}).flags |= kArrayFormula;
    put(data, {5, 0}, CellType::Number, 4);
    data.arrayFormulas().push_back({{{4, 0}, {5, 0}}});
    put(data, {1048575, 16383}, CellType::Number, 99);
    data.merges() = {{{10, 0}, {11, 3}}, {{20, 5}, {20, 6}}};
    data.columns() = {ColumnInfo{0, 0, 30.5, false, true, 0},
                      ColumnInfo{2, 4, 9.140625, true, true, styleIds[1]},
                      ColumnInfo{6, 16383, 0, false, false, styleIds[0]}};
    Row& tall = data.rowAt(1);
    tall.height = 33.75f;
    tall.customHeight = true;
    Row& hidden = data.rowAt(7);
    hidden.hidden = true;
    hidden.height = 15;
    hidden.customHeight = true;
    data.rowAt(8).style = styleIds[1];  // a row formatted as a whole
    data.setSelectedCell({2, 1});
    data.setDefaultRowHeight(18);
    data.setDefaultColumnWidth(11.5);

    Sheet& second = book->addSheet("Hidden");
    second.setVisibility(SheetVisibility::Hidden);
    putText(second, {0, 0}, "lines\r\nand\ttabs\x01 _x0041_");
    Sheet& third = book->addSheet("Very hidden");
    third.setVisibility(SheetVisibility::VeryHidden);
    put(third, {3, 3}, CellType::Number, 0.1);
    book->addSheet("Last");
    book->setActiveSheet(3);
    return book;
}

std::unique_ptr<Workbook> tableWorkbook(int32_t rows, uint32_t seed) {
    auto book = std::make_unique<Workbook>();
    StyleTable& styles = book->styles();
    Font boldFont = styles.font(0);
    boldFont.bold = true;
    Fill fill;
    fill.pattern = PatternType::Solid;
    fill.foreground = Color::rgb(0xFFDDEBF7);
    CellStyle header;
    header.font = styles.addFont(boldFont);
    header.fill = styles.addFill(fill);
    const uint32_t headerStyle = styles.addStyle(header);
    CellStyle date;
    date.numberFormat = styles.addFormatCode("yyyy-mm-dd");
    const uint32_t dateStyle = styles.addStyle(date);
    CellStyle money;
    money.numberFormat = styles.addFormatCode("#,##0.00");
    const uint32_t moneyStyle = styles.addStyle(money);

    Sheet& sheet = book->addSheet("Data");
    const char* const titles[10] = {"Id",    "Date",  "Name",  "Region", "Amount",
                                    "Price", "Units", "Ratio", "Cost",   "Margin"};
    const char* const regions[] = {"North", "South", "East", "West", "Centre"};
    const char* const syllables[] = {"al", "be", "co", "da", "el", "fa", "go", "hu"};
    for (int32_t c = 0; c < 10; ++c) {
        putText(sheet, {0, c}, titles[c], headerStyle);
    }
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> amount(0, 100000);
    for (int32_t r = 1; r <= rows; ++r) {
        Row& row = sheet.appendRow(r);
        row.cells.resize(10);
        for (int32_t c = 0; c < 10; ++c) {
            row.cells[c].column = static_cast<uint16_t>(c);
            row.cells[c].type = CellType::Number;
        }
        row.cells[0].value.number = r;
        row.cells[1].value.number = 44927 + static_cast<double>(random() % 1500);
        row.cells[1].style = dateStyle;
        std::string name;
        for (int i = 0; i < 3; ++i) {
            name += syllables[random() % 8];
        }
        row.cells[2].type = CellType::Text;
        row.cells[2].value.text = book->strings().intern(name);
        row.cells[3].type = CellType::Text;
        row.cells[3].value.text = book->strings().intern(regions[random() % 5]);
        for (int32_t c = 4; c < 10; ++c) {
            row.cells[c].value.number =
                static_cast<double>(static_cast<int64_t>(amount(random) * 100)) / 100;
        }
        row.cells[4].style = moneyStyle;
    }
    return book;
}

}  // namespace plyfold::test
