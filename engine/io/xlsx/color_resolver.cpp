#include "engine/io/xlsx/color_resolver.h"

#include <algorithm>

#include "engine/io/xlsx/value_parsing.h"

namespace plyfold::engine::xlsx_read {
namespace {

// The standard 64-entry palette of indexed colours.
constexpr uint32_t kStandardPalette[64] = {
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF,
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF,
    0x800000, 0x008000, 0x000080, 0x808000, 0x800080, 0x008080, 0xC0C0C0, 0x808080,
    0x9999FF, 0x993366, 0xFFFFCC, 0xCCFFFF, 0x660066, 0xFF8080, 0x0066CC, 0xCCCCFF,
    0x000080, 0xFF00FF, 0xFFFF00, 0x00FFFF, 0x800080, 0x800000, 0x008080, 0x0000FF,
    0x00CCFF, 0xCCFFFF, 0xCCFFCC, 0xFFFF99, 0x99CCFF, 0xFF99CC, 0xCC99FF, 0xFFCC99,
    0x3366FF, 0x33CCCC, 0x99CC00, 0xFFCC00, 0xFF9900, 0xFF6600, 0x666699, 0x969696,
    0x003366, 0x339966, 0x003300, 0x333300, 0x993300, 0x993366, 0x333399, 0x333333};

// Indexes 64 and 65 name the system's foreground and background colours.
constexpr uint32_t kSystemForeground = 64;
constexpr uint32_t kSystemBackground = 65;

constexpr std::string_view kThemeSlotNames[12] = {"dk1",     "lt1",     "dk2",     "lt2",
                                                  "accent1", "accent2", "accent3", "accent4",
                                                  "accent5", "accent6", "hlink",   "folHlink"};

// Tints work on the integer HLS model of the Windows colour dialogs, with hue, luminance
// and saturation in 0..240; this gives the shades spreadsheet programs show.
constexpr int kHlsMax = 240;
constexpr int kRgbMax = 255;

struct Hls {
    int hue = 0;
    int lum = 0;
    int sat = 0;
};

Hls toHls(int r, int g, int b) {
    int high = std::max({r, g, b});
    int low = std::min({r, g, b});
    Hls hls;
    hls.lum = ((high + low) * kHlsMax + kRgbMax) / (2 * kRgbMax);
    if (high == low) {
        return hls;
    }
    int sum = high + low;
    int delta = high - low;
    hls.sat = hls.lum <= kHlsMax / 2
                  ? (delta * kHlsMax + sum / 2) / sum
                  : (delta * kHlsMax + (2 * kRgbMax - sum) / 2) / (2 * kRgbMax - sum);
    auto part = [&](int c) { return ((high - c) * (kHlsMax / 6) + delta / 2) / delta; };
    if (r == high) {
        hls.hue = part(b) - part(g);
    } else if (g == high) {
        hls.hue = kHlsMax / 3 + part(r) - part(b);
    } else {
        hls.hue = 2 * kHlsMax / 3 + part(g) - part(r);
    }
    if (hls.hue < 0) {
        hls.hue += kHlsMax;
    }
    if (hls.hue > kHlsMax) {
        hls.hue -= kHlsMax;
    }
    return hls;
}

int hueToRgb(int m1, int m2, int hue) {
    if (hue < 0)
        hue += kHlsMax;
    if (hue > kHlsMax)
        hue -= kHlsMax;
    if (hue < kHlsMax / 6)
        return m1 + ((m2 - m1) * hue + kHlsMax / 12) / (kHlsMax / 6);
    if (hue < kHlsMax / 2)
        return m2;
    if (hue < 2 * kHlsMax / 3) {
        return m1 + ((m2 - m1) * (2 * kHlsMax / 3 - hue) + kHlsMax / 12) / (kHlsMax / 6);
    }
    return m1;
}

uint32_t toRgb(const Hls& hls) {
    auto channel = [](int v) { return static_cast<uint32_t>(std::clamp(v, 0, kRgbMax)); };
    if (hls.sat == 0) {
        uint32_t grey = channel((hls.lum * kRgbMax + kHlsMax / 2) / kHlsMax);
        return grey << 16 | grey << 8 | grey;
    }
    int m2 = hls.lum <= kHlsMax / 2
                 ? (hls.lum * (kHlsMax + hls.sat) + kHlsMax / 2) / kHlsMax
                 : hls.lum + hls.sat - (hls.lum * hls.sat + kHlsMax / 2) / kHlsMax;
    int m1 = 2 * hls.lum - m2;
    auto convert = [&](int hue) {
        return channel((hueToRgb(m1, m2, hue) * kRgbMax + kHlsMax / 2) / kHlsMax);
    };
    return convert(hls.hue + kHlsMax / 3) << 16 | convert(hls.hue) << 8 |
           convert(hls.hue - kHlsMax / 3);
}

}  // namespace

bool parseArgb(std::string_view text, uint32_t& argb) {
    if (text.size() != 8 && text.size() != 6) {
        return false;
    }
    uint32_t value = 0;
    for (char c : text) {
        int d;
        if (c >= '0' && c <= '9') {
            d = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            d = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            d = c - 'A' + 10;
        } else {
            return false;
        }
        value = value << 4 | static_cast<uint32_t>(d);
    }
    argb = text.size() == 6 ? 0xFF000000u | value : value;
    return true;
}

ColorSpec readColorSpec(XmlAttributes attributes) {
    ColorSpec spec;
    uint32_t number = 0;
    for (const XmlAttribute& a : attributes) {
        if (a.name == "auto") {
            if (parseBoolean(a.value).value_or(false)) {
                spec.kind = ColorSpec::Kind::Automatic;
            }
        } else if (a.name == "rgb") {
            if (spec.kind == ColorSpec::Kind::None && parseArgb(a.value, number)) {
                spec.kind = ColorSpec::Kind::Rgb;
                spec.value = number;
            }
        } else if (a.name == "indexed") {
            if (spec.kind == ColorSpec::Kind::None && parseIndex(a.value, number)) {
                spec.kind = ColorSpec::Kind::Indexed;
                spec.value = number;
            }
        } else if (a.name == "theme") {
            if (spec.kind == ColorSpec::Kind::None && parseIndex(a.value, number)) {
                spec.kind = ColorSpec::Kind::Theme;
                spec.value = number;
            }
        } else if (a.name == "tint") {
            double tint;
            if (parseNumber(a.value, tint)) {
                spec.tint = std::clamp(tint, -1.0, 1.0);
            }
        }
    }
    return spec;
}

uint32_t applyTint(uint32_t argb, double tint) {
    if (tint == 0.0) {
        return argb;
    }
    Hls hls = toHls(static_cast<int>((argb >> 16) & 0xFF), static_cast<int>((argb >> 8) & 0xFF),
                    static_cast<int>(argb & 0xFF));
    double lum = tint < 0 ? hls.lum * (1 + tint) : hls.lum * (1 - tint) + kHlsMax * tint;
    hls.lum = std::clamp(static_cast<int>(lum), 0, kHlsMax);
    return (argb & 0xFF000000u) | toRgb(hls);
}

ThemeColors defaultThemeColors() {
    // The default Office theme, for workbooks without a theme part.
    return {0xFF000000, 0xFFFFFFFF, 0xFF44546A, 0xFFE7E6E6, 0xFF4472C4, 0xFFED7D31,
            0xFFA5A5A5, 0xFFFFC000, 0xFF5B9BD5, 0xFF70AD47, 0xFF0563C1, 0xFF954F72};
}

int themeSlot(std::string_view name) {
    for (int i = 0; i < 12; ++i) {
        if (kThemeSlotNames[i] == name) {
            return i;
        }
    }
    return -1;
}

ColorResolver::ColorResolver() : m_theme(defaultThemeColors()) {
    for (uint32_t rgb : kStandardPalette) {
        m_palette.push_back(0xFF000000u | rgb);
    }
}

void ColorResolver::setIndexedColors(const std::vector<uint32_t>& colors) {
    for (size_t i = 0; i < colors.size() && i < m_palette.size(); ++i) {
        m_palette[i] = colors[i];
    }
    for (size_t i = m_palette.size(); i < colors.size() && i < kSystemForeground; ++i) {
        m_palette.push_back(colors[i]);
    }
}

Color ColorResolver::resolve(const ColorSpec& spec) const {
    uint32_t argb = 0;
    switch (spec.kind) {
        case ColorSpec::Kind::None:
            return {};
        case ColorSpec::Kind::Automatic:
            return Color::automatic();
        case ColorSpec::Kind::Rgb:
            argb = spec.value;
            break;
        case ColorSpec::Kind::Indexed:
            if (spec.value == kSystemForeground || spec.value == kSystemBackground) {
                return Color::automatic();
            }
            if (spec.value >= m_palette.size()) {
                return {};
            }
            argb = m_palette[spec.value];
            break;
        case ColorSpec::Kind::Theme: {
            // Cell formats number the first four theme colours lt1 dk1 lt2 dk2, swapping the
            // pairs of the theme part's order dk1 lt1 dk2 lt2.
            static constexpr uint32_t kSwapped[4] = {1, 0, 3, 2};
            if (spec.value >= m_theme.size()) {
                return {};
            }
            argb = m_theme[spec.value < 4 ? kSwapped[spec.value] : spec.value];
            break;
        }
    }
    return Color::rgb(applyTint(argb, spec.tint));
}

}  // namespace plyfold::engine::xlsx_read
