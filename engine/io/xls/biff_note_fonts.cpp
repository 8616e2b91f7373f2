#include "engine/io/xls/biff_note_fonts.h"

#include <array>
#include <string>

#include "engine/common/byte_order.h"
#include "engine/common/code_page.h"
#include "engine/io/xls/biff_records.h"

namespace plyfold::engine::xls {
namespace {

constexpr uint16_t kEof = 0x000A;
constexpr uint16_t kFont = 0x0031;
constexpr uint16_t kPalette = 0x0092;
constexpr size_t kNameAt = 14;

// Colour indexes 8 to 63 of a workbook without a PALETTE record.
constexpr std::array<uint32_t, 56> kDefaultPalette = {
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF,
    0x800000, 0x008000, 0x000080, 0x808000, 0x800080, 0x008080, 0xC0C0C0, 0x808080,
    0x9999FF, 0x993366, 0xFFFFCC, 0xCCFFFF, 0x660066, 0xFF8080, 0x0066CC, 0xCCCCFF,
    0x000080, 0xFF00FF, 0xFFFF00, 0x00FFFF, 0x800080, 0x800000, 0x008080, 0x0000FF,
    0x00CCFF, 0xCCFFFF, 0xCCFFCC, 0xFFFF99, 0x99CCFF, 0xFF99CC, 0xCC99FF, 0xFFCC99,
    0x3366FF, 0x33CCCC, 0x99CC00, 0xFFCC00, 0xFF9900, 0xFF6600, 0x666699, 0x969696,
    0x003366, 0x339966, 0x003300, 0x333300, 0x993300, 0x993366, 0x333399, 0x333333};

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

}  // namespace

uint32_t defaultPaletteColor(uint16_t index) {
    if (index < 8) {
        return kDefaultPalette[index];  // the first eight repeat the fixed colours 0 to 7
    }
    return index < 64 ? kDefaultPalette[index - 8] : 0;
}

BiffNoteFonts::BiffNoteFonts(std::string_view stream, const BiffGlobals& globals) {
    if (!globals.isBiff5Or8) {
        return;
    }
    std::array<uint32_t, 64> palette{};
    for (uint16_t i = 0; i < palette.size(); ++i) {
        palette[i] = defaultPaletteColor(i);
    }
    struct Read {
        Font font;
        uint16_t colorIndex = 0x7FFF;
    };
    std::vector<Read> read;
    dbf::CodePageConverter codePage(biffCodePageName(globals.codePage));
    BiffRecordCursor records(stream, 0);
    records.next();  // the BOF record
    while (auto record = records.next()) {
        const std::string_view data = record->data;
        if (record->type == kEof) {
            break;
        }
        if (record->type == kPalette && data.size() >= 2) {
            const size_t count = le16(data, 0);
            for (size_t i = 0; i < count && 8 + i < palette.size() && 2 + 4 * i + 3 <= data.size();
                 ++i) {
                const size_t at = 2 + 4 * i;
                palette[8 + i] = static_cast<uint32_t>(static_cast<unsigned char>(data[at])) << 16 |
                                 static_cast<uint32_t>(static_cast<unsigned char>(data[at + 1]))
                                     << 8 |
                                 static_cast<unsigned char>(data[at + 2]);
            }
        }
        if (record->type != kFont) {
            continue;
        }
        if (data.size() <= kNameAt) {
            break;
        }
        Read font;
        font.font.size = le16(data, 0) / 20.0;
        const uint16_t flags = le16(data, 2);
        font.font.italic = (flags & 0x02) != 0;
        font.font.strike = (flags & 0x08) != 0;
        font.colorIndex = le16(data, 4);
        font.font.bold = le16(data, 6) >= 700;
        const uint16_t script = le16(data, 8);
        font.font.verticalAlign = script == 1   ? VerticalTextAlign::Superscript
                                  : script == 2 ? VerticalTextAlign::Subscript
                                                : VerticalTextAlign::Baseline;
        font.font.underline = underlineOf(static_cast<uint8_t>(data[10]));
        font.font.family = static_cast<unsigned char>(data[11]);
        font.font.charset = static_cast<unsigned char>(data[12]);
        font.font.scheme.clear();  // a font of its own, not one of a theme
        font.font.name.clear();
        if (globals.biff8) {
            try {
                BiffContinuedReader name({data.substr(kNameAt)}, {});
                font.font.name = name.unicodeString(1, BiffContinuedReader::Layout::Plain);
            } catch (const BiffDamage&) {
                break;
            }
        } else {
            const size_t length = static_cast<unsigned char>(data[kNameAt]);
            if (kNameAt + 1 + length > data.size()) {
                break;
            }
            codePage.appendUtf8(font.font.name, data.substr(kNameAt + 1, length));
        }
        read.push_back(std::move(font));
    }
    m_fonts.reserve(read.size());
    for (Read& font : read) {
        // System colours (0x40, 0x41) and 0x7FFF stand for the automatic text colour.
        if (font.colorIndex < palette.size()) {
            font.font.color = Color::rgb(0xFF000000u | palette[font.colorIndex]);
        } else {
            font.font.color = Color::automatic();
        }
        m_fonts.push_back(std::move(font.font));
    }
}

const Font* BiffNoteFonts::font(uint16_t index) const {
    if (index == 4) {
        return nullptr;
    }
    const size_t at = index < 4 ? index : index - 1u;
    return at < m_fonts.size() ? &m_fonts[at] : nullptr;
}

}  // namespace plyfold::engine::xls
