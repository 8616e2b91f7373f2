#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "engine/io/xls/biff_globals.h"
#include "engine/model/style.h"

namespace plyfold::engine::xls {

// One cell format (XF record) of BIFF5 or BIFF8 as the file states it, its colours still
// indexes into the palette.
struct BiffXf {
    uint16_t font = 0;  // index of the FONT record, as the file counts (4 is never used)
    uint16_t format = 0;
    bool locked = true;
    bool hidden = false;
    Alignment alignment;
    uint8_t pattern = 0;  // 0 none, 1 solid, then the patterns in the order of PatternType
    uint16_t patternColor = 64;
    uint16_t patternBackground = 65;
    // left, right, top, bottom, diagonal
    std::array<uint8_t, 5> borderStyles{};
    std::array<uint16_t, 5> borderColors{};
    bool diagonalDown = false;  // top left to bottom right
    bool diagonalUp = false;
};

// A FONT record of BIFF5 or BIFF8, its colour a palette index.
struct BiffFontRecord {
    BiffFont font;
    uint16_t color = 0x7FFF;
    uint8_t script = 0;  // 0 normal, 1 superscript, 2 subscript
};

// The fields of an XF record; nothing for a record too short for its version.
std::optional<BiffXf> parseBiff8Xf(std::string_view data);
std::optional<BiffXf> parseBiff5Xf(std::string_view data);
// The fixed fields of a FONT record (BIFF5 and BIFF8 share them); the name is left empty.
std::optional<BiffFontRecord> parseFontRecord(std::string_view data);

// The colours a palette index stands for: the eight fixed ones, then the 56 of the standard
// palette or of the workbook's PALETTE record.
class BiffPalette {
public:
    BiffPalette();
    // The colours of a PALETTE record, replacing entries from index 8.
    void setCustomColors(std::string_view paletteRecord);
    // An index of the system colours (64 and up, 0x7FFF for a font) or beyond the palette
    // gives no colour: what the program draws by default.
    std::optional<uint32_t> argb(uint16_t index) const;

private:
    std::array<uint32_t, 64> m_colors{};
};

// The cell formats of a BIFF5 or BIFF8 workbook with the fonts, number formats and palette
// they use, made into styles of the workbook as cells ask for them, each XF once. Workbooks of
// Excel 2 to 4 get their number formats only.
class BiffCellFormats {
public:
    BiffCellFormats() = default;
    // Reads the FONT, PALETTE and XF records of the globals; what is damaged is left out.
    BiffCellFormats(std::string_view stream, const BiffGlobals& globals);

    // The workbook style id of the cell format xf; 0 (the default) for an index the file does
    // not list.
    uint32_t styleId(uint16_t xf, StyleTable& styles);
    // styleId as a function, for readers of other records that name cell formats (the formats
    // of columns and rows). It refers to this object and to styles, which must outlive it.
    std::function<uint32_t(uint16_t xf)> styleLookup(StyleTable& styles) {
        return [this, &styles](uint16_t xf) { return styleId(xf, styles); };
    }
    // The bytes this object holds, bounded by the size of the globals it read.
    uint64_t memoryBytes() const;
    // The workbook font id of a FONT index, as formatting runs of texts name them.
    uint32_t fontId(uint16_t index, StyleTable& styles) const {
        return styles.addFont(fontOf(index));
    }
    // The font of a FONT index; nothing for an index the file does not hold (4 included).
    std::optional<Font> fontAt(uint16_t index) const;
    // The colours of the workbook's palette, for other records that name colour indexes.
    const BiffPalette& palette() const { return m_palette; }
    // The font of the first FONT record, which the workbook's default style shows.
    const std::optional<Font>& defaultFont() const { return m_defaultFont; }
    size_t count() const { return m_formatCodes.size(); }

private:
    Font fontOf(uint16_t index) const;
    CellStyle styleOf(size_t xf, StyleTable& styles) const;

    BiffPalette m_palette;
    std::vector<BiffFontRecord> m_fonts;
    std::vector<std::optional<BiffXf>> m_xfs;  // empty for Excel 2 to 4
    std::vector<std::string> m_formatCodes;    // per XF
    std::vector<uint32_t> m_styleIds;          // per XF, kUnread until asked for
    std::optional<Font> m_defaultFont;
    static constexpr uint32_t kUnread = UINT32_MAX;
};

}  // namespace plyfold::engine::xls
