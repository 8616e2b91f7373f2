#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/io/xls/biff_globals.h"
#include "engine/model/style.h"

namespace plyfold::engine::xls {

// The fonts of the FONT records of BIFF5 and BIFF8 globals, by the index a formatting run
// gives (the fifth record has index 5: index 4 is never used), their colours resolved
// through the workbook's palette. A record cut short leaves the fonts after it out.
class BiffNoteFonts {
public:
    BiffNoteFonts(std::string_view stream, const BiffGlobals& globals);

    // The font of an index; nullptr for one the file does not hold.
    const Font* font(uint16_t index) const;

private:
    std::vector<Font> m_fonts;
};

// The RGB colour (0xRRGGBB) of a colour index of the default palette, without a PALETTE
// record: indexes 0 to 63.
uint32_t defaultPaletteColor(uint16_t index);

}  // namespace plyfold::engine::xls
