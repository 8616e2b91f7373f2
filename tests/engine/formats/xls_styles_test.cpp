// The cell formats of .xls workbooks: fonts, fills, borders, alignment and protection.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "engine/io/workbook_io.h"
#include "engine/io/xls/biff_styles.h"
#include "engine/io/xls/xls_reader.h"
#include "engine/io/xlsx/style_names.h"
#include "engine/model/cell_ref.h"
#include "tests/engine/formats/biff_bytes.h"
#include "tests/support/golden_cells.h"

namespace plyfold::engine::xls {
namespace {

using namespace biff_bytes;

using namespace xlsx_names;

// A BIFF8 or BIFF5 workbook stream of one sheet "S": globals (BOF, head, BOUNDSHEET, EOF),
// then the sheet's records.
std::string workbookStream(bool biff8, const std::string& head, const std::string& cells) {
    const std::string version = u16le(biff8 ? 0x0600 : 0x0500);
    const std::string bof = record(0x0809, version + u16le(0x0005) + std::string(12, '\0'));
    std::string boundSheet = std::string(1, '\0') + '\0' + '\x01';
    boundSheet += biff8 ? std::string(1, '\0') + "S" : std::string("S");
    const std::string globals =
        bof + head + record(0x0085, u32le(0) + boundSheet) + record(0x000A, {});
    std::string stream = globals;
    const uint32_t sheetAt = static_cast<uint32_t>(stream.size());
    stream.replace(bof.size() + head.size() + 4, 4, u32le(sheetAt));
    stream += record(0x0809, version + u16le(0x0010) + std::string(12, '\0')) + cells +
              record(0x000A, {});
    return stream;
}

struct FontSpec {
    uint16_t height = 200;
    uint16_t flags = 0;
    uint16_t color = 0x7FFF;
    uint16_t weight = 400;
    uint16_t script = 0;
    uint8_t underline = 0;
    std::string name = "Arial";
};

std::string fontRecord(const FontSpec& f, bool biff8) {
    std::string data = u16le(f.height) + u16le(f.flags) + u16le(f.color) + u16le(f.weight) +
                       u16le(f.script) + static_cast<char>(f.underline) + '\x02' + '\0' + '\0';
    data += static_cast<char>(f.name.size());
    if (biff8) {
        data += '\0';
    }
    return record(0x0031, data + f.name);
}

// A BIFF8 XF record from its fields as the file packs them.
struct Xf8 {
    uint16_t font = 0;
    uint16_t format = 0;
    uint16_t type = 0x0001;    // locked, a cell format
    uint8_t alignment = 0x20;  // general, bottom
    uint8_t rotation = 0;
    uint8_t indent = 0;
    uint32_t edges = 0;  // styles, left and right colours, diagonals
    uint32_t more = 0;   // top, bottom and diagonal colours, diagonal style, pattern
    uint16_t fill = 64 | 65 << 7;
};

std::string xfRecord(const Xf8& xf) {
    return record(0x00E0, u16le(xf.font) + u16le(xf.format) + u16le(xf.type) +
                              static_cast<char>(xf.alignment) + static_cast<char>(xf.rotation) +
                              static_cast<char>(xf.indent) + '\0' + u32le(xf.edges) +
                              u32le(xf.more) + u16le(xf.fill));
}

std::string numberRecord(uint16_t row, uint16_t column, uint16_t xf) {
    std::string value(8, '\0');
    return record(0x0203, u16le(row) + u16le(column) + u16le(xf) + value);
}

// Five fonts, the fifth record counted as index 5 since index 4 is never written.
std::string fontTable(bool biff8) {
    std::string out;
    FontSpec regular;
    out += fontRecord(regular, biff8);
    FontSpec bold;
    bold.weight = 700;
    out += fontRecord(bold, biff8);
    out += fontRecord(regular, biff8);
    out += fontRecord(regular, biff8);
    FontSpec fancy;
    fancy.name = "Courier New";
    fancy.height = 280;
    fancy.flags = 0x02 | 0x08;  // italic, struck out
    fancy.color = 10;           // red
    fancy.script = 1;
    fancy.underline = 0x21;
    out += fontRecord(fancy, biff8);
    return out;
}

struct Loaded {
    std::unique_ptr<Workbook> workbook;
    const Sheet* sheet = nullptr;

    const CellStyle* styleAt(const char* name) const {
        const Cell* cell = sheet->findCell(*parseCellName(name));
        return cell ? &workbook->styles().style(cell->style) : nullptr;
    }
};

Loaded load(const std::string& stream) {
    Loaded loaded;
    loaded.workbook = readBiffStream(stream, "styles.xls");
    loaded.sheet = &loaded.workbook->sheet(0);
    loaded.sheet->ensureLoaded();
    return loaded;
}

TEST(XlsStyles, Biff8CellFormatsGiveEveryAttribute) {
    struct Case {
        const char* what;
        Xf8 xf;
        std::function<void(const StyleTable&, const CellStyle&)> check;
    };
    const uint32_t red = 0xFFFF0000, blue = 0xFF0000FF, custom = 0xFF123456;
    auto rgb = [](uint32_t argb) { return Color::rgb(argb); };
    std::vector<Case> cases;
    {
        Xf8 xf;
        xf.more = 10u << 26;     // dark trellis
        xf.fill = 10 | 12 << 7;  // red on blue
        cases.push_back({"a pattern and its two colours", xf, [&](auto& t, auto& s) {
                             EXPECT_EQ(t.fill(s.fill).pattern, PatternType::DarkTrellis);
                             EXPECT_EQ(t.fill(s.fill).foreground, rgb(red));
                             EXPECT_EQ(t.fill(s.fill).background, rgb(blue));
                         }});
    }
    {
        Xf8 xf;
        xf.more = 1u << 26;
        xf.fill = 8 | 64 << 7;
        cases.push_back({"a colour of the PALETTE, a system colour", xf, [&](auto& t, auto& s) {
                             EXPECT_EQ(t.fill(s.fill).pattern, PatternType::Solid);
                             EXPECT_EQ(t.fill(s.fill).foreground, rgb(custom));
                             EXPECT_EQ(t.fill(s.fill).background, Color::automatic());
                         }});
    }
    {
        Xf8 xf;
        xf.fill = 10 | 12 << 7;  // colours without a pattern
        cases.push_back(
            {"no pattern is no fill", xf, [&](auto&, auto& s) { EXPECT_EQ(s.fill, 0u); }});
    }
    {
        Xf8 xf;
        // left slanted dash-dot red, right thin automatic, top hair, bottom double palette 8
        xf.edges = 13u | 1u << 4 | 7u << 8 | 6u << 12 | 10u << 16 | 64u << 23;
        xf.more = 12u | 8u << 7;
        cases.push_back({"four edges, their styles and colours", xf, [&](auto& t, auto& s) {
                             const Border& b = t.border(s.border);
                             EXPECT_EQ(b.left.style, BorderStyle::SlantDashDot);
                             EXPECT_EQ(b.left.color, rgb(red));
                             EXPECT_EQ(b.right.style, BorderStyle::Thin);
                             EXPECT_FALSE(b.right.color.isSet());
                             EXPECT_EQ(b.top.style, BorderStyle::Hair);
                             EXPECT_EQ(b.top.color, rgb(blue));
                             EXPECT_EQ(b.bottom.style, BorderStyle::Double);
                             EXPECT_EQ(b.bottom.color, rgb(custom));
                             EXPECT_EQ(b.diagonal.style, BorderStyle::None);
                         }});
    }
    {
        Xf8 xf;
        xf.edges = 2u << 30;             // up only
        xf.more = 10u << 14 | 2u << 21;  // red, medium
        cases.push_back({"a diagonal from bottom left", xf, [&](auto& t, auto& s) {
                             const Border& b = t.border(s.border);
                             EXPECT_EQ(b.diagonal.style, BorderStyle::Medium);
                             EXPECT_EQ(b.diagonal.color, rgb(red));
                             EXPECT_TRUE(b.diagonalUp);
                             EXPECT_FALSE(b.diagonalDown);
                         }});
    }
    {
        Xf8 xf;
        xf.more = 10u << 14 | 2u << 21;  // a line style, but no diagonal drawn
        cases.push_back({"a diagonal style without a direction", xf,
                         [&](auto&, auto& s) { EXPECT_EQ(s.border, 0u); }});
    }
    {
        Xf8 xf;
        xf.alignment = 6 | 0x08 | 3 << 4;  // centred across, wrapped, justified
        xf.rotation = 255;
        xf.indent = 3 | 0x10 | 0x80;  // indent 3, shrink, right to left
        cases.push_back({"alignment, vertical text, indent, shrink", xf, [&](auto&, auto& s) {
                             EXPECT_EQ(s.alignment.horizontal, HorizontalAlign::CenterContinuous);
                             EXPECT_EQ(s.alignment.vertical, VerticalAlign::Justify);
                             EXPECT_TRUE(s.alignment.wrapText);
                             EXPECT_EQ(s.alignment.textRotation, 255);
                             EXPECT_EQ(s.alignment.indent, 3);
                             EXPECT_TRUE(s.alignment.shrinkToFit);
                             EXPECT_EQ(s.alignment.readingOrder, 2);
                         }});
    }
    {
        Xf8 xf;
        xf.alignment = 0x00;  // top
        xf.rotation = 135;
        cases.push_back({"top, turned down", xf, [&](auto&, auto& s) {
                             EXPECT_EQ(s.alignment.vertical, VerticalAlign::Top);
                             EXPECT_EQ(s.alignment.textRotation, 135);
                         }});
    }
    {
        Xf8 xf;
        xf.alignment = 7 << 4;  // no vertical alignment
        xf.rotation = 200;      // no angle
        cases.push_back({"values out of range", xf, [&](auto&, auto& s) {
                             EXPECT_EQ(s.alignment.vertical, VerticalAlign::Bottom);
                             EXPECT_EQ(s.alignment.textRotation, 0);
                         }});
    }
    {
        Xf8 xf;
        xf.type = 0x0002;  // not locked, hidden
        cases.push_back({"protection", xf, [&](auto&, auto& s) {
                             EXPECT_FALSE(s.protection.locked);
                             EXPECT_TRUE(s.protection.hidden);
                         }});
    }
    {
        Xf8 xf;
        xf.font = 5;
        cases.push_back({"the fifth font record is index 5", xf, [&](auto& t, auto& s) {
                             const Font& f = t.font(s.font);
                             EXPECT_EQ(f.name, "Courier New");
                             EXPECT_EQ(f.size, 14.0);
                             EXPECT_TRUE(f.italic);
                             EXPECT_TRUE(f.strike);
                             EXPECT_FALSE(f.bold);
                             EXPECT_EQ(f.color, rgb(red));
                             EXPECT_EQ(f.verticalAlign, VerticalTextAlign::Superscript);
                             EXPECT_EQ(f.underline, Underline::SingleAccounting);
                         }});
    }
    {
        Xf8 xf;
        xf.font = 1;
        xf.format = 10;  // built in: 0.00%
        cases.push_back({"a bold font and a built-in format", xf, [&](auto& t, auto& s) {
                             EXPECT_TRUE(t.font(s.font).bold);
                             EXPECT_FALSE(t.font(s.font).color.isSet());
                             EXPECT_EQ(t.formatCode(s.numberFormat), "0.00%");
                         }});
    }
    {
        Xf8 xf;
        xf.font = 4;  // never written: the default font
        xf.format = 0xA4;
        cases.push_back({"font index 4, a format of the file", xf, [&](auto&, auto& s) {
                             EXPECT_EQ(s.font, 0u);
                             EXPECT_NE(s.numberFormat, 0u);
                         }});
    }
    std::string head = fontTable(true);
    head += record(0x041E, u16le(0xA4) + u16le(5) + '\0' + "0.000");
    head += record(0x0092, u16le(1) + "\x12\x34\x56" + '\0');
    std::string cells;
    head += xfRecord(Xf8{});  // XF 0, the default
    for (size_t i = 0; i < cases.size(); ++i) {
        head += xfRecord(cases[i].xf);
        cells += numberRecord(static_cast<uint16_t>(i), 0, static_cast<uint16_t>(i + 1));
    }
    Loaded loaded = load(workbookStream(true, head, cells));
    const StyleTable& styles = loaded.workbook->styles();
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].what);
        const Cell* cell = loaded.sheet->findCell({static_cast<int32_t>(i), 0});
        ASSERT_TRUE(cell);
        cases[i].check(styles, styles.style(cell->style));
    }
    EXPECT_EQ(styles.font(0).name, "Arial");
    EXPECT_EQ(styles.font(0).size, 10.0);
}

TEST(XlsStyles, Biff5CellFormatsPackTheirFieldsOtherwise) {
    struct Case {
        const char* what;
        uint8_t orientation;
        uint32_t area;   // pattern colours, pattern, bottom line
        uint32_t edges;  // top, left and right lines
        std::function<void(const StyleTable&, const CellStyle&)> check;
    };
    const Color red = Color::rgb(0xFFFF0000), blue = Color::rgb(0xFF0000FF);
    const std::vector<Case> cases = {
        {"pattern and bottom line", 0, 10u | 12u << 7 | 4u << 16 | 2u << 22 | 10u << 25, 0,
         [&](auto& t, auto& s) {
             EXPECT_EQ(t.fill(s.fill).pattern, PatternType::LightGray);
             EXPECT_EQ(t.fill(s.fill).foreground, red);
             EXPECT_EQ(t.fill(s.fill).background, blue);
             EXPECT_EQ(t.border(s.border).bottom.style, BorderStyle::Medium);
             EXPECT_EQ(t.border(s.border).bottom.color, red);
         }},
        {"top, left and right lines", 0, 0,
         1u | 6u << 3 | 3u << 6 | 12u << 9 | 10u << 16 | 64u << 23,
         [&](auto& t, auto& s) {
             const Border& b = t.border(s.border);
             EXPECT_EQ(b.top.style, BorderStyle::Thin);
             EXPECT_EQ(b.top.color, blue);
             EXPECT_EQ(b.left.style, BorderStyle::Double);
             EXPECT_EQ(b.left.color, red);
             EXPECT_EQ(b.right.style, BorderStyle::Dashed);
             EXPECT_FALSE(b.right.color.isSet());
             EXPECT_EQ(s.fill, 0u);
         }},
        {"stacked letters", 1, 0, 0,
         [](auto&, auto& s) { EXPECT_EQ(s.alignment.textRotation, 255); }},
        {"turned up", 2, 0, 0, [](auto&, auto& s) { EXPECT_EQ(s.alignment.textRotation, 90); }},
        {"turned down", 3, 0, 0, [](auto&, auto& s) { EXPECT_EQ(s.alignment.textRotation, 180); }},
    };
    std::string head = record(0x0042, u16le(1252)) + fontTable(false);
    auto xf5 = [](uint16_t font, uint8_t orientation, uint32_t area, uint32_t edges) {
        return record(0x00E0, u16le(font) + u16le(0) + u16le(1) + '\x12' +
                                  static_cast<char>(orientation) + u32le(area) + u32le(edges));
    };
    head += xf5(0, 0, 64 | 65 << 7, 0);
    std::string cells;
    for (size_t i = 0; i < cases.size(); ++i) {
        head += xf5(5, cases[i].orientation, cases[i].area, cases[i].edges);
        cells += numberRecord(static_cast<uint16_t>(i), 0, static_cast<uint16_t>(i + 1));
    }
    Loaded loaded = load(workbookStream(false, head, cells));
    const StyleTable& styles = loaded.workbook->styles();
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].what);
        const Cell* cell = loaded.sheet->findCell({static_cast<int32_t>(i), 0});
        ASSERT_TRUE(cell);
        const CellStyle& style = styles.style(cell->style);
        EXPECT_EQ(styles.font(style.font).name, "Courier New");
        EXPECT_EQ(style.alignment.horizontal, HorizontalAlign::Center);
        EXPECT_EQ(style.alignment.vertical, VerticalAlign::Center);
        cases[i].check(styles, style);
    }
}

TEST(XlsStyles, BlankCellsAreKeptWhenTheyHoldAStyle) {
    Xf8 filled;
    filled.more = 1u << 26;
    filled.fill = 10 | 64 << 7;
    // One shared string, empty.
    const std::string head = fontTable(true) + xfRecord(Xf8{}) + xfRecord(filled) +
                             record(0x00FC, u32le(1) + u32le(1) + u16le(0) + '\0');
    std::string cells;
    cells += record(0x0201, u16le(0) + u16le(0) + u16le(0));  // A1: default
    cells += record(0x0201, u16le(0) + u16le(1) + u16le(1));  // B1: filled
    // A2:E2, the default format in B2 and D2; colLast ends the record
    cells += record(0x00BE, u16le(1) + u16le(0) + u16le(1) + u16le(0) + u16le(1) + u16le(0) +
                                u16le(1) + u16le(4));
    cells += record(0x0201, u16le(2) + u16le(0) + u16le(1));  // A3, then a number over it
    cells += numberRecord(2, 0, 0);
    cells += record(0x0201, u16le(3) + u16le(0) + u16le(7));  // an XF the file lacks
    cells += record(0x00BE, u16le(4) + u16le(0) + u16le(1));  // cut short: no cells
    // Empty texts: A6 of the filled format, A7 of the default one.
    cells += record(0x00FD, u16le(5) + u16le(0) + u16le(1) + u32le(0));
    cells += record(0x0204, u16le(6) + u16le(0) + u16le(0) + u16le(0) + '\0');
    Loaded loaded = load(workbookStream(true, head, cells));
    std::vector<std::string> kept;
    for (const Row& row : loaded.sheet->rows()) {
        for (const Cell& cell : row.cells) {
            kept.push_back(cellName({row.index, cell.column}) +
                           (cell.type == CellType::Blank ? " blank" : " value"));
            if (cell.type == CellType::Blank) {
                EXPECT_EQ(loaded.workbook->styles()
                              .fill(loaded.workbook->styles().style(cell.style).fill)
                              .foreground,
                          Color::rgb(0xFFFF0000));
            }
        }
    }
    EXPECT_EQ(kept, (std::vector<std::string>{"B1 blank", "A2 blank", "C2 blank", "E2 blank",
                                              "A3 value", "A6 blank"}));
}

TEST(XlsStyles, EachCellFormatBecomesOneStyle) {
    Xf8 bold;
    bold.font = 1;
    Xf8 wrapped;
    wrapped.alignment = 0x28;
    const std::string head =
        fontTable(true) + xfRecord(Xf8{}) + xfRecord(bold) + xfRecord(wrapped) + xfRecord(bold);
    std::string cells;
    for (uint16_t row = 0; row < 6; ++row) {
        cells += numberRecord(row, 0, row % 4);
    }
    Loaded loaded = load(workbookStream(true, head, cells));
    std::vector<uint32_t> ids;
    for (const Row& row : loaded.sheet->rows()) {
        ids.push_back(row.cells.at(0).style);
    }
    ASSERT_EQ(ids.size(), 6u);
    EXPECT_EQ(ids[0], 0u);  // the default cell format is the workbook's default style
    EXPECT_NE(ids[1], 0u);
    EXPECT_NE(ids[2], ids[1]);
    EXPECT_EQ(ids[3], ids[1]);  // two formats alike are one style
    EXPECT_EQ(ids[4], ids[0]);
    EXPECT_EQ(ids[5], ids[1]);
    EXPECT_EQ(loaded.workbook->styles().styleCount(), 3u);
}

TEST(XlsStyles, DamagedFormatRecordsGiveDefaults) {
    // An XF too short for its fields keeps its number format; a FONT too short leaves the
    // fonts after it their indexes; a PALETTE that claims more colours than it holds gives
    // what it holds.
    Xf8 usesFont;
    usesFont.font = 2;
    Xf8 usesPalette;
    usesPalette.more = 1u << 26;
    usesPalette.fill = 9;
    std::string head = fontRecord(FontSpec{}, true) + record(0x0031, "short");
    FontSpec bold;
    bold.weight = 700;
    head += fontRecord(bold, true);
    head += record(0x0092, u16le(40) + "\x11\x22\x33" + '\0' + "\x44\x55\x66" + '\0');
    head += xfRecord(Xf8{}) + record(0x00E0, u16le(1) + u16le(10) + u16le(1)) + xfRecord(usesFont) +
            xfRecord(usesPalette);
    const std::string cells = numberRecord(0, 0, 1) + numberRecord(1, 0, 2) +
                              numberRecord(2, 0, 3) + numberRecord(3, 0, 9);
    Loaded loaded = load(workbookStream(true, head, cells));
    const StyleTable& styles = loaded.workbook->styles();
    const CellStyle* cut = loaded.styleAt("A1");
    ASSERT_TRUE(cut);
    EXPECT_EQ(styles.formatCode(cut->numberFormat), "0.00%");
    EXPECT_EQ(cut->font, 0u);
    EXPECT_TRUE(styles.font(loaded.styleAt("A2")->font).bold);
    EXPECT_EQ(styles.fill(loaded.styleAt("A3")->fill).foreground, Color::rgb(0xFF445566));
    EXPECT_EQ(loaded.styleAt("A4")->font, 0u);  // an XF the file lacks
    EXPECT_EQ(*loaded.styleAt("A4"), CellStyle{});
}

// The facts tests/data/xls/dump_styles.py writes for a cell, from the model.
std::string colorText(const Color& color) {
    if (color.kind != Color::Kind::Rgb || (color.argb & 0xFFFFFF) == 0) {
        return "auto";
    }
    char text[8];
    std::snprintf(text, sizeof text, "%06X", color.argb & 0xFFFFFF);
    return text;
}

std::string formatText(std::string_view code) {
    std::string out;
    for (size_t i = 0; i < code.size(); ++i) {
        // A locale tag "[$-409]": LibreOffice adds some and spells them in its own way.
        if (code.substr(i, 3) == "[$-") {
            const size_t end = code.find(']', i);
            if (end != std::string_view::npos &&
                code.substr(i + 3, end - i - 3).find_first_not_of("0123456789ABCDEFabcdef") ==
                    std::string_view::npos) {
                i = end;
                continue;
            }
        }
        if (code[i] != '\\' && code[i] != '"') {
            out += static_cast<char>(std::toupper(static_cast<unsigned char>(code[i])));
        }
    }
    return out;
}

std::string factsOf(const StyleTable& styles, uint32_t id) {
    static constexpr std::string_view kUnderlines[] = {"", "single", "double", "singleAccounting",
                                                       "doubleAccounting"};
    static constexpr std::string_view kVertical[] = {"bottom", "top", "center", "justify",
                                                     "distributed"};
    const CellStyle& style = styles.style(id);
    const Font& f = styles.font(style.font);
    std::ostringstream out;
    out << "font=" << f.name << ',' << f.size << (f.bold ? ",b" : "") << (f.italic ? ",i" : "");
    if (f.underline != Underline::None) {
        out << ",u=" << kUnderlines[static_cast<int>(f.underline)];
    }
    out << (f.strike ? ",s" : "");
    if (f.verticalAlign != VerticalTextAlign::Baseline) {
        out << (f.verticalAlign == VerticalTextAlign::Superscript ? ",v=superscript"
                                                                  : ",v=subscript");
    }
    out << ',' << colorText(f.color);
    const Fill& fill = styles.fill(style.fill);
    if (fill.pattern != PatternType::None) {
        out << "\tfill=" << nameOf(kPatternNames, fill.pattern) << ',';
        out << (fill.foreground.kind == Color::Kind::Rgb ? colorText(fill.foreground) : "auto");
        if (fill.pattern != PatternType::Solid) {
            out << ',' << colorText(fill.background);
        }
    }
    const Border& border = styles.border(style.border);
    std::vector<std::string> edges;
    const std::pair<const char*, const BorderEdge*> named[] = {{"left", &border.left},
                                                               {"right", &border.right},
                                                               {"top", &border.top},
                                                               {"bottom", &border.bottom}};
    for (const auto& [name, edge] : named) {
        if (edge->style != BorderStyle::None) {
            edges.push_back(std::string(name) + ':' +
                            std::string(nameOf(kBorderStyleNames, edge->style)) + ':' +
                            colorText(edge->color));
        }
    }
    if (border.diagonal.style != BorderStyle::None && (border.diagonalUp || border.diagonalDown)) {
        edges.push_back(
            "diagonal:" + std::string(nameOf(kBorderStyleNames, border.diagonal.style)) + ':' +
            colorText(border.diagonal.color));
        edges.push_back(std::string("diag") + (border.diagonalUp ? "U" : "") +
                        (border.diagonalDown ? "D" : ""));
    }
    for (size_t i = 0; i < edges.size(); ++i) {
        out << (i == 0 ? "\tborder=" : ",") << edges[i];
    }
    const Alignment& a = style.alignment;
    std::vector<std::string> align;
    if (a.horizontal != HorizontalAlign::General) {
        align.push_back("h=" + std::string(nameOf(kHorizontalNames, a.horizontal)));
    }
    if (a.vertical != VerticalAlign::Bottom) {
        align.push_back("v=" + std::string(kVertical[static_cast<int>(a.vertical)]));
    }
    if (a.wrapText) {
        align.push_back("wrap");
    }
    if (a.textRotation) {
        align.push_back("rot=" + std::to_string(a.textRotation));
    }
    if (a.indent) {
        align.push_back("indent=" + std::to_string(a.indent));
    }
    if (a.shrinkToFit) {
        align.push_back("shrink");
    }
    for (size_t i = 0; i < align.size(); ++i) {
        out << (i == 0 ? "\talign=" : ",") << align[i];
    }
    if (!style.protection.locked || style.protection.hidden) {
        out << "\tprot=" << (style.protection.locked ? "" : "unlocked")
            << (!style.protection.locked && style.protection.hidden ? "," : "")
            << (style.protection.hidden ? "hidden" : "");
    }
    if (style.numberFormat != 0) {
        out << "\tfmt=" << formatText(styles.formatCode(style.numberFormat));
    }
    return out.str();
}

class XlsStyleCases : public ::testing::TestWithParam<test::GoldenCase> {};

std::vector<test::GoldenCase> styleCases() {
    std::vector<test::GoldenCase> cases;
    for (const test::GoldenCase& golden : test::goldenCases("xls")) {
        if (std::ifstream(golden.folder + "/styles.txt")) {
            cases.push_back(golden);
        }
    }
    return cases;
}

TEST_P(XlsStyleCases, CellsHaveTheStylesOfTheirDump) {
    const test::GoldenCase& golden = GetParam();
    std::map<std::string, std::string> expected;
    std::ifstream dump(golden.folder + "/styles.txt");
    for (std::string line; std::getline(dump, line);) {
        const size_t tab = line.find('\t');
        expected[line.substr(0, tab)] = line.substr(tab + 1);
    }
    auto workbook = openWorkbook(golden.input);
    const StyleTable& styles = workbook->styles();
    const std::string defaultFacts = factsOf(styles, 0);
    std::map<std::string, std::string> actual;
    for (int32_t i = 0; i < workbook->sheetCount(); ++i) {
        const Sheet& sheet = workbook->sheet(i);
        sheet.ensureLoaded();
        for (const Row& row : sheet.rows()) {
            for (const Cell& cell : row.cells) {
                std::string facts = factsOf(styles, cell.style);
                if (facts != defaultFacts) {
                    actual[sheet.name() + "!" + cellName({row.index, cell.column})] = facts;
                }
            }
        }
    }
    for (const auto& [cell, facts] : expected) {
        auto found = actual.find(cell);
        EXPECT_EQ(found == actual.end() ? std::string("(default style)") : found->second, facts)
            << cell;
    }
    for (const auto& [cell, facts] : actual) {
        EXPECT_TRUE(expected.count(cell)) << cell << " has a style the dump does not: " << facts;
    }
}

INSTANTIATE_TEST_SUITE_P(Data, XlsStyleCases, ::testing::ValuesIn(styleCases()),
                         [](const testing::TestParamInfo<test::GoldenCase>& param) {
                             return test::testNameOf(param.param);
                         });

}  // namespace
}  // namespace plyfold::engine::xls

namespace plyfold::engine::xls {
namespace {

// The runs of a cell's text as "text@font" items, "cell" for the cell's font; empty without
// runs.
std::vector<std::string> runsOf(const Loaded& loaded, const char* name) {
    std::vector<std::string> out;
    const Cell* cell = loaded.sheet->findCell(*parseCellName(name));
    if (!cell) {
        return {"(no cell)"};
    }
    if (const RichText* rich = loaded.workbook->richTextOf(*cell)) {
        for (const TextRun& run : rich->runs) {
            out.push_back(run.text + "@" +
                          (run.font == TextRun::kCellFont
                               ? std::string("cell")
                               : loaded.workbook->styles().font(run.font).name));
        }
    }
    return out;
}

std::string labelSst(uint16_t row, uint32_t index) {
    return record(0x00FD, u16le(row) + u16le(0) + u16le(0) + u32le(index));
}

std::string runBytes(const std::vector<std::pair<uint16_t, uint16_t>>& runs) {
    std::string out;
    for (const auto& [character, font] : runs) {
        out += u16le(character) + u16le(font);
    }
    return out;
}

TEST(XlsRichText, SharedStringsKeepTheirFormattingRuns) {
    struct Case {
        const char* what;
        std::string characters;  // as stored: one byte each, or UTF-16LE when wide
        bool wide;
        std::vector<std::pair<uint16_t, uint16_t>> runs;
        std::vector<std::string> expected;
    };
    // Font index 5 is "Courier New", 1 a bold "Arial".
    const std::vector<Case> cases = {
        {"a run from the start",
         "Hello world",
         false,
         {{0, 5}, {6, 1}},
         {"Hello @Courier New", "world@Arial"}},
        {"text before the first run keeps the cell's font",
         "Hello world",
         false,
         {{6, 5}},
         {"Hello @cell", "world@Courier New"}},
        {"runs out of order or past the end are left out",
         "abcdef",
         false,
         {{2, 5}, {1, 1}, {4, 1}, {9, 5}},
         {"ab@cell", "cd@Courier New", "ef@Arial"}},
        {"only runs past the end: no runs", "abc", false, {{3, 5}}, {}},
        {"a character outside the basic plane counts two",
         std::string("a\0=\xD8\0\xDE"
                     "b\0",
                     8),
         true,
         {{0, 5}, {3, 1}},
         {"a\xF0\x9F\x98\x80@Courier New", "b@Arial"}},
    };
    std::string strings;
    for (const Case& c : cases) {
        const size_t count = c.wide ? c.characters.size() / 2 : c.characters.size();
        strings += u16le(static_cast<uint32_t>(count)) +
                   static_cast<char>(0x08 | (c.wide ? 1 : 0)) +
                   u16le(static_cast<uint32_t>(c.runs.size())) + c.characters + runBytes(c.runs);
    }
    const uint32_t total = static_cast<uint32_t>(cases.size());
    // The runs of the last string go on in a CONTINUE record, byte by byte.
    const size_t cut = strings.size() - 3;
    const std::string sst = record(0x00FC, u32le(total) + u32le(total) + strings.substr(0, cut)) +
                            record(0x003C, strings.substr(cut));
    std::string cells;
    for (uint16_t i = 0; i < cases.size(); ++i) {
        cells += labelSst(i, i);
    }
    cells += labelSst(static_cast<uint16_t>(cases.size()), 0);  // one string in two cells
    Loaded loaded = load(workbookStream(true, fontTable(true) + xfRecord(Xf8{}) + sst, cells));
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].what);
        EXPECT_EQ(runsOf(loaded, cellName({static_cast<int32_t>(i), 0}).c_str()),
                  cases[i].expected);
    }
    const Cell* first = loaded.sheet->findCell({0, 0});
    const Cell* again = loaded.sheet->findCell({static_cast<int32_t>(cases.size()), 0});
    ASSERT_TRUE(first && again);
    EXPECT_EQ(first->richText, again->richText);  // made once for the string
    EXPECT_EQ(loaded.workbook->strings().text(first->value.text), "Hello world");
}

TEST(XlsRichText, TextCellsOfRecordsWithRunsKeepThem) {
    // BIFF8: a unicode string, then a 16-bit count and 4-byte runs.
    std::string biff8 = record(0x00D6, u16le(0) + u16le(0) + u16le(0) + u16le(5) + '\0' + "abcde" +
                                           u16le(1) + runBytes({{2, 5}}));
    // The same cut short in its runs: the text stays, unformatted.
    biff8 += record(0x00D6, u16le(1) + u16le(0) + u16le(0) + u16le(5) + '\0' + "abcde" + u16le(2) +
                                runBytes({{2, 5}}));
    Loaded loaded = load(workbookStream(true, fontTable(true) + xfRecord(Xf8{}), biff8));
    EXPECT_EQ(runsOf(loaded, "A1"), (std::vector<std::string>{"ab@cell", "cde@Courier New"}));
    EXPECT_EQ(runsOf(loaded, "A2"), std::vector<std::string>{});
    EXPECT_EQ(loaded.workbook->strings().text(loaded.sheet->findCell({1, 0})->value.text), "abcde");

    // BIFF5: 8-bit texts whose runs count bytes, one byte of start and one of font each; in
    // a code page of two-byte characters a run starts at the character its byte begins.
    struct Case {
        uint16_t codePage;
        std::string bytes;
        std::string runs;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {1252,
         "ab\xE9"
         "cd",
         std::string("\x02\x01\x05\x03\x01", 5),
         {"a@cell", "b\xC3\xA9@Courier New", "cd@Arial"}},
        {932,
         "\x82\xA0"
         "b",
         std::string("\x01\x02\x05", 3),
         {"\xE3\x81\x82@cell", "b@Courier New"}},
        {1252, "abc", std::string("\x03\x01\x05", 3), {}},  // says 3 runs, holds 1
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.codePage);
        const std::string cell =
            record(0x00D6, u16le(0) + u16le(0) + u16le(0) +
                               u16le(static_cast<uint32_t>(c.bytes.size())) + c.bytes + c.runs);
        Loaded biff5 =
            load(workbookStream(false, record(0x0042, u16le(c.codePage)) + fontTable(false), cell));
        EXPECT_EQ(runsOf(biff5, "A1"), c.expected);
    }
}

}  // namespace
}  // namespace plyfold::engine::xls

namespace plyfold::engine::xls {
namespace {

TEST(XlsRichText, RunsLibreOfficeWroteAreRead) {
    const test::GoldenCase golden = test::goldenCase("xls", "styles");
    Loaded loaded;
    loaded.workbook = openWorkbook(golden.input);
    loaded.sheet = &loaded.workbook->sheet(0);
    loaded.sheet->ensureLoaded();
    EXPECT_EQ(runsOf(loaded, "A8"), (std::vector<std::string>{"rich@Arial", " and plain@Calibri"}));
    const Cell* cell = loaded.sheet->findCell(*parseCellName("A8"));
    ASSERT_TRUE(cell);
    const TextRun& rich = loaded.workbook->richTextOf(*cell)->runs.at(0);
    EXPECT_TRUE(loaded.workbook->styles().font(rich.font).bold);
    EXPECT_EQ(loaded.workbook->styles().font(rich.font).color, Color::rgb(0xFFFF0000));
}

}  // namespace
}  // namespace plyfold::engine::xls

namespace plyfold::engine::xls {
namespace {

TEST(XlsStyles, TheLookupGivesOtherRecordsTheStylesCellsGet) {
    Xf8 bold;
    bold.font = 1;
    const std::string stream =
        workbookStream(true, fontTable(true) + xfRecord(Xf8{}) + xfRecord(bold) + xfRecord(bold),
                       numberRecord(0, 0, 2));
    const BiffGlobals globals = scanBiffGlobals(stream);
    BiffCellFormats formats(stream, globals);
    Workbook workbook;
    workbook.styles().setDefaultFont(*formats.defaultFont());
    const auto lookup = formats.styleLookup(workbook.styles());
    EXPECT_EQ(lookup(0), 0u);
    EXPECT_NE(lookup(1), 0u);
    EXPECT_EQ(lookup(2), lookup(1));
    EXPECT_EQ(lookup(3), 0u);  // past the list
    EXPECT_TRUE(workbook.styles().font(workbook.styles().style(lookup(1)).font).bold);
    EXPECT_GT(formats.memoryBytes(), 0u);
}

}  // namespace
}  // namespace plyfold::engine::xls

namespace plyfold::engine::xls {
namespace {

TEST(XlsStyles, DatesOfFormatsWithoutACodeGetOneByTheirValue) {
    // Built-in formats 27 to 36 and 50 to 58 are dates of East Asian locales, whose codes the
    // file does not hold; the rest of the cell format stays.
    Xf8 eastAsian;
    eastAsian.font = 1;
    eastAsian.format = 31;
    Xf8 unknown;
    unknown.format = 23;  // no code, and not a date
    const std::string head =
        fontTable(true) + xfRecord(Xf8{}) + xfRecord(eastAsian) + xfRecord(unknown);
    auto number = [](uint16_t row, uint16_t xf, double value) {
        uint64_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        return record(0x0203, u16le(row) + u16le(0) + u16le(xf) +
                                  u32le(static_cast<uint32_t>(bits)) +
                                  u32le(static_cast<uint32_t>(bits >> 32)));
    };
    const std::string cells = number(0, 1, 45000.0) + number(1, 1, 45000.5) + number(2, 1, 0.25) +
                              number(3, 1, 45001.0) + number(4, 2, 45000.0);
    Loaded loaded = load(workbookStream(true, head, cells));
    const StyleTable& styles = loaded.workbook->styles();
    const std::pair<const char*, const char*> expected[] = {
        {"A1", "m/d/yyyy"}, {"A2", "m/d/yyyy h:mm"}, {"A3", "h:mm:ss"}, {"A4", "m/d/yyyy"}};
    for (const auto& [cell, code] : expected) {
        SCOPED_TRACE(cell);
        const CellStyle* style = loaded.styleAt(cell);
        ASSERT_TRUE(style);
        EXPECT_EQ(styles.formatCode(style->numberFormat), code);
        EXPECT_TRUE(styles.font(style->font).bold);
    }
    EXPECT_EQ(loaded.styleAt("A1"), loaded.styleAt("A4"));
    EXPECT_EQ(loaded.styleAt("A5")->numberFormat, 0u);
}

}  // namespace
}  // namespace plyfold::engine::xls
