#include "engine/io/xls/biff_styles.h"

#include "engine/common/byte_order.h"
#include "engine/common/code_page.h"
#include "engine/common/text.h"
#include "engine/io/xls/biff_records.h"
#include "engine/io/xlsx/color_resolver.h"

namespace plyfold::engine::xls {
namespace {

constexpr uint16_t kFilePass = 0x002F;
constexpr uint16_t kFont = 0x0031;
constexpr uint16_t kXf = 0x00E0;
constexpr uint16_t kPalette = 0x0092;

constexpr size_t kFontNameAt = 14;
constexpr uint16_t kFirstSystemColor = 64;
constexpr size_t kPaletteSize = 64;
constexpr size_t kFirstCustomColor = 8;

enum Edge { kLeft, kRight, kTop, kBottom, kDiagonal };

Underline underlineOf(uint8_t code) {
    switch (code) {
        case 0x01:
            return Underline::Single;
        case 0x02:
            return Underline::Double;
        case 0x21:
            return Underline::SingleAccounting;
        case 0x22:
            return Underline::DoubleAccounting;
        default:
            return Underline::None;
    }
}

VerticalAlign verticalOf(unsigned code) {
    switch (code) {
        case 0:
            return VerticalAlign::Top;
        case 1:
            return VerticalAlign::Center;
        case 3:
            return VerticalAlign::Justify;
        case 4:
            return VerticalAlign::Distributed;
        default:
            return VerticalAlign::Bottom;
    }
}

// The alignment byte both versions share: horizontal, wrap and vertical.
void readAlignmentByte(uint8_t bits, Alignment& alignment) {
    alignment.horizontal = static_cast<HorizontalAlign>(bits & 0x07);
    alignment.wrapText = (bits & 0x08) != 0;
    alignment.vertical = verticalOf((bits >> 4) & 0x07);
}

// The cell-type word both versions share: protection, and nothing else a cell needs.
void readProtectionWord(uint16_t bits, BiffXf& xf) {
    xf.locked = (bits & 0x01) != 0;
    xf.hidden = (bits & 0x02) != 0;
}

uint8_t byteAt(std::string_view data, size_t at) {
    return static_cast<uint8_t>(data[at]);
}

}  // namespace

std::optional<BiffXf> parseBiff8Xf(std::string_view data) {
    if (data.size() < 20) {
        return std::nullopt;
    }
    BiffXf xf;
    xf.font = le16(data, 0);
    xf.format = le16(data, 2);
    readProtectionWord(le16(data, 4), xf);
    readAlignmentByte(byteAt(data, 6), xf.alignment);
    const uint8_t rotation = byteAt(data, 7);
    // 1 to 90 turn the text up, 91 to 180 down, 255 stacks its letters; others are not angles.
    xf.alignment.textRotation =
        static_cast<int16_t>(rotation <= 180 || rotation == 255 ? rotation : 0);
    const uint8_t indent = byteAt(data, 8);
    xf.alignment.indent = indent & 0x0F;
    xf.alignment.shrinkToFit = (indent & 0x10) != 0;
    xf.alignment.readingOrder = std::min<uint8_t>((indent >> 6) & 0x03, 2);
    const uint32_t edges = le32(data, 10);
    xf.borderStyles[kLeft] = edges & 0x0F;
    xf.borderStyles[kRight] = (edges >> 4) & 0x0F;
    xf.borderStyles[kTop] = (edges >> 8) & 0x0F;
    xf.borderStyles[kBottom] = (edges >> 12) & 0x0F;
    xf.borderColors[kLeft] = (edges >> 16) & 0x7F;
    xf.borderColors[kRight] = (edges >> 23) & 0x7F;
    xf.diagonalDown = (edges >> 30 & 0x01) != 0;
    xf.diagonalUp = (edges >> 31 & 0x01) != 0;
    const uint32_t more = le32(data, 14);
    xf.borderColors[kTop] = more & 0x7F;
    xf.borderColors[kBottom] = (more >> 7) & 0x7F;
    xf.borderColors[kDiagonal] = (more >> 14) & 0x7F;
    xf.borderStyles[kDiagonal] = (more >> 21) & 0x0F;
    xf.pattern = (more >> 26) & 0x3F;
    const uint16_t fill = le16(data, 18);
    xf.patternColor = fill & 0x7F;
    xf.patternBackground = (fill >> 7) & 0x7F;
    return xf;
}

std::optional<BiffXf> parseBiff5Xf(std::string_view data) {
    if (data.size() < 16) {
        return std::nullopt;
    }
    BiffXf xf;
    xf.font = le16(data, 0);
    xf.format = le16(data, 2);
    readProtectionWord(le16(data, 4), xf);
    readAlignmentByte(byteAt(data, 6), xf.alignment);
    // Text orientation instead of an angle: stacked letters, or turned a quarter up or down.
    static constexpr int16_t kRotations[4] = {0, 255, 90, 180};
    xf.alignment.textRotation = kRotations[byteAt(data, 7) & 0x03];
    const uint32_t area = le32(data, 8);
    xf.patternColor = area & 0x7F;
    xf.patternBackground = (area >> 7) & 0x7F;
    xf.pattern = (area >> 16) & 0x3F;
    xf.borderStyles[kBottom] = (area >> 22) & 0x07;
    xf.borderColors[kBottom] = (area >> 25) & 0x7F;
    const uint32_t edges = le32(data, 12);
    xf.borderStyles[kTop] = edges & 0x07;
    xf.borderStyles[kLeft] = (edges >> 3) & 0x07;
    xf.borderStyles[kRight] = (edges >> 6) & 0x07;
    xf.borderColors[kTop] = (edges >> 9) & 0x7F;
    xf.borderColors[kLeft] = (edges >> 16) & 0x7F;
    xf.borderColors[kRight] = (edges >> 23) & 0x7F;
    return xf;
}

std::optional<BiffFontRecord> parseFontRecord(std::string_view data) {
    if (data.size() <= kFontNameAt) {
        return std::nullopt;
    }
    BiffFontRecord record;
    BiffFont& font = record.font;
    const uint16_t height = le16(data, 0);  // in twentieths of a point
    if (height > 0) {
        font.points = height / 20.0;
    }
    const uint16_t flags = le16(data, 2);
    font.italic = (flags & 0x02) != 0;
    font.strike = (flags & 0x08) != 0;
    record.color = le16(data, 4);
    font.bold = le16(data, 6) >= 700;
    record.script = static_cast<uint8_t>(le16(data, 8));
    font.underline = byteAt(data, 10);
    font.family = byteAt(data, 11);
    font.charset = byteAt(data, 12);
    return record;
}

BiffPalette::BiffPalette() {
    xlsx_read::ColorResolver standard;
    for (uint32_t i = 0; i < kPaletteSize; ++i) {
        m_colors[i] = standard.resolve({xlsx_read::ColorSpec::Kind::Indexed, i, 0.0}).argb;
    }
}

void BiffPalette::setCustomColors(std::string_view record) {
    if (record.size() < 2) {
        return;
    }
    const size_t count = std::min<size_t>(le16(record, 0), (record.size() - 2) / 4);
    for (size_t i = 0; i < count && kFirstCustomColor + i < kPaletteSize; ++i) {
        const size_t at = 2 + 4 * i;
        m_colors[kFirstCustomColor + i] = 0xFF000000u | uint32_t{byteAt(record, at)} << 16 |
                                          uint32_t{byteAt(record, at + 1)} << 8 |
                                          byteAt(record, at + 2);
    }
}

std::optional<uint32_t> BiffPalette::argb(uint16_t index) const {
    if (index >= kFirstSystemColor) {
        return std::nullopt;
    }
    return m_colors[index];
}

BiffCellFormats::BiffCellFormats(std::string_view stream, const BiffGlobals& globals)
    : m_formatCodes(globals.xfFormatCode) {
    m_styleIds.assign(m_formatCodes.size(), kUnread);
    if (!globals.isBiff5Or8) {
        return;  // Excel 2 to 4: number formats only
    }
    std::vector<std::string_view> eightBitNames;  // BIFF5, in the workbook's code page
    BiffRecordCursor records(stream, 0);
    auto bof = records.next();
    if (!bof || bof->type != kBof) {
        return;
    }
    while (auto record = records.next()) {
        if (record->type == kEof || record->type == kFilePass) {
            break;
        }
        std::string_view data = record->data;
        switch (record->type) {
            case kFont: {
                std::optional<BiffFontRecord> font = parseFontRecord(data);
                if (!font) {
                    // Kept in the count, so the indexes of the fonts after it stay right.
                    font.emplace();
                } else if (globals.biff8) {
                    try {
                        BiffContinuedReader name({data.substr(kFontNameAt)}, {});
                        font->font.name = name.unicodeString(1, BiffContinuedReader::Layout::Plain);
                    } catch (const BiffDamage&) {
                        font->font.name.clear();
                    }
                } else {
                    const size_t count = byteAt(data, kFontNameAt);
                    eightBitNames.resize(m_fonts.size());
                    eightBitNames.push_back(data.substr(
                        kFontNameAt + 1, std::min(count, data.size() - kFontNameAt - 1)));
                }
                m_fonts.push_back(std::move(*font));
                break;
            }
            case kPalette:
                m_palette.setCustomColors(data);
                break;
            case kXf:
                // Counted as the globals count them, so that indexes agree with the formats.
                if (data.size() >= 4) {
                    m_xfs.push_back(globals.biff8 ? parseBiff8Xf(data) : parseBiff5Xf(data));
                }
                break;
            default:
                break;
        }
    }
    if (!eightBitNames.empty()) {
        dbf::CodePageConverter converter(biffCodePageName(globals.codePage));
        for (size_t i = 0; i < eightBitNames.size() && i < m_fonts.size(); ++i) {
            converter.appendUtf8(m_fonts[i].font.name, eightBitNames[i]);
        }
    }
    if (!m_fonts.empty() && !m_fonts[0].font.name.empty()) {
        m_defaultFont = fontOf(0);
    }
}

Font BiffCellFormats::fontOf(uint16_t index) const {
    return fontAt(index == 4 ? 0 : index).value_or(m_defaultFont.value_or(Font{}));
}

std::optional<Font> BiffCellFormats::fontAt(uint16_t index) const {
    // The file never writes a font with index 4, so the records from the fifth on count from 5.
    const size_t record = index < 4 ? index : index - 1u;
    if (index == 4 || record >= m_fonts.size() || m_fonts[record].font.name.empty()) {
        return std::nullopt;
    }
    const BiffFontRecord& read = m_fonts[record];
    Font font;
    font.name = read.font.name;
    font.size = read.font.points;
    font.bold = read.font.bold;
    font.italic = read.font.italic;
    font.strike = read.font.strike;
    font.underline = underlineOf(read.font.underline);
    font.verticalAlign = read.script == 1   ? VerticalTextAlign::Superscript
                         : read.script == 2 ? VerticalTextAlign::Subscript
                                            : VerticalTextAlign::Baseline;
    // The automatic colour of a font is no colour stated, as in a font that names none.
    if (std::optional<uint32_t> argb = m_palette.argb(read.color)) {
        font.color = Color::rgb(*argb);
    }
    font.family = read.font.family;
    font.charset = read.font.charset;
    font.scheme.clear();  // a font of its own, not one of a theme
    return font;
}

CellStyle BiffCellFormats::styleOf(size_t index, StyleTable& styles) const {
    CellStyle style;
    const std::string& code = m_formatCodes[index];
    if (!code.empty() && !equalsIgnoringAsciiCase(code, "General")) {
        style.numberFormat = styles.addFormatCode(code);
    }
    if (index >= m_xfs.size() || !m_xfs[index]) {
        return style;
    }
    const BiffXf& xf = *m_xfs[index];
    style.font = styles.addFont(fontOf(xf.font));
    if (xf.pattern != 0 && xf.pattern <= static_cast<uint8_t>(PatternType::Gray0625)) {
        Fill fill;
        fill.pattern = static_cast<PatternType>(xf.pattern);
        auto fillColor = [this](uint16_t color) {
            std::optional<uint32_t> argb = m_palette.argb(color);
            return argb ? Color::rgb(*argb) : Color::automatic();
        };
        fill.foreground = fillColor(xf.patternColor);
        fill.background = fillColor(xf.patternBackground);
        style.fill = styles.addFill(fill);
    }
    Border border;
    BorderEdge* edges[5] = {&border.left, &border.right, &border.top, &border.bottom,
                            &border.diagonal};
    const bool diagonal = xf.diagonalDown || xf.diagonalUp;
    for (int e = kLeft; e <= kDiagonal; ++e) {
        const uint8_t line = xf.borderStyles[e];
        if (line == 0 || line > static_cast<uint8_t>(BorderStyle::SlantDashDot) ||
            (e == kDiagonal && !diagonal)) {
            continue;  // no line: its colour means nothing
        }
        edges[e]->style = static_cast<BorderStyle>(line);
        // An automatic line colour is no colour stated, as in a border that names none.
        if (std::optional<uint32_t> argb = m_palette.argb(xf.borderColors[e])) {
            edges[e]->color = Color::rgb(*argb);
        }
    }
    if (border.diagonal.style != BorderStyle::None) {
        border.diagonalDown = xf.diagonalDown;
        border.diagonalUp = xf.diagonalUp;
    }
    style.border = styles.addBorder(border);
    style.alignment = xf.alignment;
    style.protection.locked = xf.locked;
    style.protection.hidden = xf.hidden;
    return style;
}

uint64_t BiffCellFormats::memoryBytes() const {
    uint64_t bytes = m_fonts.capacity() * sizeof(BiffFontRecord) +
                     m_xfs.capacity() * sizeof(std::optional<BiffXf>) +
                     m_formatCodes.capacity() * sizeof(std::string) +
                     m_styleIds.capacity() * sizeof(uint32_t);
    for (const BiffFontRecord& font : m_fonts) {
        bytes += font.font.name.capacity();
    }
    for (const std::string& code : m_formatCodes) {
        bytes += code.capacity();
    }
    return bytes;
}

uint32_t BiffCellFormats::styleId(uint16_t xf, StyleTable& styles) {
    if (xf >= m_styleIds.size()) {
        return 0;
    }
    uint32_t& id = m_styleIds[xf];
    if (id == kUnread) {
        id = styles.addStyle(styleOf(xf, styles));
    }
    return id;
}

}  // namespace plyfold::engine::xls
