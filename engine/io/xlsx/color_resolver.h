#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "engine/io/xlsx/xml_handler.h"
#include "engine/model/style.h"

namespace plyfold::engine::xlsx_read {

// A colour as a styles part writes it, before it is resolved to RGB: the indexed palette
// comes at the end of the part, so fonts, fills and borders are resolved once it is read.
struct ColorSpec {
    enum class Kind : uint8_t { None, Automatic, Rgb, Indexed, Theme };
    Kind kind = Kind::None;
    uint32_t value = 0;  // ARGB, palette index or theme index
    double tint = 0.0;   // -1 (darker) .. 1 (lighter)
};

// The attributes of a <color>, <fgColor>, <bgColor> element.
ColorSpec readColorSpec(XmlAttributes attributes);

// An "AARRGGBB" or "RRGGBB" hex colour.
bool parseArgb(std::string_view text, uint32_t& argb);

// The colour lightened (tint > 0) or darkened (tint < 0) by changing its luminance in HLS
// space, as the file format defines tints; alpha is kept.
uint32_t applyTint(uint32_t argb, double tint);

// The twelve colours of a theme in the order the theme part lists them: dk1 lt1 dk2 lt2
// accent1..accent6 hlink folHlink, as 0xFFRRGGBB.
using ThemeColors = std::array<uint32_t, 12>;
ThemeColors defaultThemeColors();
// The colour slot of a theme name ("dk1" -> 0 ... "folHlink" -> 11), or -1.
int themeSlot(std::string_view name);

class ColorResolver {
public:
    ColorResolver();

    void setThemeColors(const ThemeColors& colors) { m_theme = colors; }
    // The <indexedColors> of a styles part, replacing the standard palette from entry 0.
    void setIndexedColors(const std::vector<uint32_t>& colors);

    Color resolve(const ColorSpec& spec) const;

private:
    ThemeColors m_theme;
    std::vector<uint32_t> m_palette;
};

}  // namespace plyfold::engine::xlsx_read
