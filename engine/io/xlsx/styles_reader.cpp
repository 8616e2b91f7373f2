#include "engine/io/xlsx/styles_reader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>

#include "engine/common/memory_budget.h"
#include "engine/io/xlsx/differential_style_reader.h"
#include "engine/io/xlsx/opc_package.h"
#include "engine/io/xlsx/read_failure.h"
#include "engine/io/xlsx/style_names.h"
#include "engine/io/xlsx/value_parsing.h"
#include "engine/ops/number_format.h"

namespace plyfold::engine::xlsx_read {
namespace {

struct RawFont {
    Font font;
    ColorSpec color;
};

struct RawStop {
    double position = 0.0;
    ColorSpec color;
};

struct RawFill {
    PatternType pattern = PatternType::None;
    ColorSpec foreground;
    ColorSpec background;
    Gradient gradient;  // its stops' colours are in stops until resolved
    std::vector<RawStop> stops;
};

// Gradients have two stops or a few; a file that gives more is not one a program wrote.
constexpr size_t kMaxGradientStops = 256;

double numberAttribute(XmlAttributes attributes, std::string_view name) {
    double value = 0.0;
    if (!parseNumber(attributeOr(attributes, name), value) || !std::isfinite(value)) {
        return 0.0;
    }
    return value;
}

enum Edge { kLeft, kRight, kTop, kBottom, kDiagonal, kEdgeCount };

struct RawBorder {
    std::array<BorderStyle, kEdgeCount> styles{};
    std::array<ColorSpec, kEdgeCount> colors{};
    std::array<bool, kEdgeCount> given{};
    bool diagonalUp = false;
    bool diagonalDown = false;
};

struct RawXf {
    uint32_t numberFormat = 0;
    uint32_t font = 0;
    uint32_t fill = 0;
    uint32_t border = 0;
    Alignment alignment;
    Protection protection;
};

using namespace xlsx_names;

constexpr std::array<std::string_view, 5> kVerticalNames = {"bottom", "top", "center", "justify",
                                                            "distributed"};

// Elements like <b/> and <b val="0"/>: present means true unless val says otherwise.
bool flagElement(XmlAttributes attributes) {
    const std::string_view* value = findAttribute(attributes, "val");
    return !value || parseBoolean(*value).value_or(true);
}

uint32_t indexAttribute(XmlAttributes attributes, std::string_view name) {
    uint32_t value = 0;
    const std::string_view* text = findAttribute(attributes, name);
    return text && parseIndex(*text, value) ? value : 0;
}

class StylesHandler : public XmlHandler {
public:
    explicit StylesHandler(MemoryAccount& memory)
        : m_count(memory), differential([this](uint64_t bytes) { m_count.add(bytes); }) {}

    void startElement(std::string_view name, XmlAttributes attributes) override;
    void endElement(std::string_view) override;
    void characters(std::string_view) override {}
    void flushCount() { m_count.flush(); }

    std::map<uint32_t, std::string> formatCodes;
    std::vector<RawFont> fonts;
    std::vector<RawFill> fills;
    std::vector<RawBorder> borders;
    std::vector<RawXf> xfs;
    std::vector<uint32_t> indexedColors;

private:
    ChunkedCount m_count;

public:
    DifferentialStyleHandler differential;

private:
    enum class Section : uint8_t {
        None,
        NumFmts,
        Fonts,
        Fills,
        Borders,
        CellXfs,
        Colors,
        Dxfs,
        Other
    };
    void startFontChild(std::string_view name, XmlAttributes attributes);
    void startXf(XmlAttributes attributes);

    int m_depth = 0;
    Section m_section = Section::None;
    bool m_inGradient = false;
    bool m_gradientStopSeen = false;
    bool m_inStop = false;
    bool m_inIndexedColors = false;
    int m_edge = -1;
};

void StylesHandler::startElement(std::string_view name, XmlAttributes attributes) {
    ++m_depth;
    if (m_depth == 2) {
        m_section = name == "numFmts"   ? Section::NumFmts
                    : name == "fonts"   ? Section::Fonts
                    : name == "fills"   ? Section::Fills
                    : name == "borders" ? Section::Borders
                    : name == "cellXfs" ? Section::CellXfs
                    : name == "colors"  ? Section::Colors
                    : name == "dxfs"    ? Section::Dxfs
                                        : Section::Other;
        return;
    }
    switch (m_section) {
        case Section::Dxfs:
            differential.startElement(m_depth - 1, name, attributes);
            break;
        case Section::NumFmts:
            if (m_depth == 3 && name == "numFmt") {
                uint32_t id = 0;
                if (parseIndex(attributeOr(attributes, "numFmtId"), id)) {
                    // Attributes carry _xHHHH_ escapes as texts do.
                    std::string code(attributeOr(attributes, "formatCode"));
                    decodeEscapes(code);
                    m_count.add(sizeof(std::string) + 32 + code.size());
                    formatCodes[id] = std::move(code);
                }
            }
            break;
        case Section::Fonts:
            if (m_depth == 3 && name == "font") {
                RawFont font;
                font.font.family = 0;  // stated by <family> when the file has it
                font.font.scheme.clear();
                m_count.add(sizeof(RawFont));
                fonts.push_back(std::move(font));
            } else if (m_depth == 4 && !fonts.empty()) {
                startFontChild(name, attributes);
            }
            break;
        case Section::Fills:
            if (m_depth == 3 && name == "fill") {
                m_count.add(sizeof(RawFill));
                fills.emplace_back();
                m_inGradient = false;
                m_gradientStopSeen = false;
            } else if (fills.empty()) {
                break;
            } else if (m_depth == 4 && name == "patternFill") {
                fills.back().pattern = lookupName(attributeOr(attributes, "patternType", "none"),
                                                  kPatternNames, PatternType::None);
            } else if (m_depth == 5 && name == "fgColor") {
                fills.back().foreground = readColorSpec(attributes);
            } else if (m_depth == 5 && name == "bgColor") {
                fills.back().background = readColorSpec(attributes);
            } else if (m_depth == 4 && name == "gradientFill") {
                m_inGradient = true;
                Gradient& gradient = fills.back().gradient;
                gradient.type = attributeOr(attributes, "type") == "path" ? GradientType::Path
                                                                          : GradientType::Linear;
                gradient.degree = numberAttribute(attributes, "degree");
                gradient.left = numberAttribute(attributes, "left");
                gradient.right = numberAttribute(attributes, "right");
                gradient.top = numberAttribute(attributes, "top");
                gradient.bottom = numberAttribute(attributes, "bottom");
            } else if (m_depth == 5 && m_inGradient && name == "stop") {
                std::vector<RawStop>& stops = fills.back().stops;
                m_inStop = stops.size() < kMaxGradientStops;
                if (m_inStop) {
                    m_count.add(sizeof(RawStop));
                    stops.push_back(RawStop{numberAttribute(attributes, "position"), {}});
                }
            } else if (m_depth == 6 && m_inStop && name == "color") {
                RawFill& fill = fills.back();
                fill.stops.back().color = readColorSpec(attributes);
                if (!m_gradientStopSeen) {
                    // The first colour also fills the cell in views that draw no gradient.
                    m_gradientStopSeen = true;
                    fill.pattern = PatternType::Solid;
                    fill.foreground = fill.stops.back().color;
                }
            }
            break;
        case Section::Borders:
            if (m_depth == 3 && name == "border") {
                RawBorder border;
                border.diagonalUp = booleanAttribute(attributes, "diagonalUp", false);
                border.diagonalDown = booleanAttribute(attributes, "diagonalDown", false);
                m_count.add(sizeof(RawBorder));
                borders.push_back(border);
            } else if (borders.empty()) {
                break;
            } else if (m_depth == 4) {
                // start and end are the left and right edges of left-to-right text.
                m_edge = name == "left" || name == "start"  ? kLeft
                         : name == "right" || name == "end" ? kRight
                         : name == "top"                    ? kTop
                         : name == "bottom"                 ? kBottom
                         : name == "diagonal"               ? kDiagonal
                                                            : -1;
                bool endOrStart = name == "start" || name == "end";
                if (m_edge >= 0 && endOrStart && borders.back().given[m_edge]) {
                    m_edge = -1;  // an explicit left or right wins
                }
                if (m_edge >= 0) {
                    RawBorder& border = borders.back();
                    border.given[m_edge] = !endOrStart;
                    border.styles[m_edge] = lookupName(attributeOr(attributes, "style", "none"),
                                                       kBorderStyleNames, BorderStyle::None);
                    border.colors[m_edge] = {};
                }
            } else if (m_depth == 5 && m_edge >= 0 && name == "color") {
                borders.back().colors[m_edge] = readColorSpec(attributes);
            }
            break;
        case Section::CellXfs:
            if (m_depth == 3 && name == "xf") {
                startXf(attributes);
            } else if (m_depth == 4 && !xfs.empty() && name == "alignment") {
                Alignment& a = xfs.back().alignment;
                a.horizontal = lookupName(attributeOr(attributes, "horizontal"), kHorizontalNames,
                                          HorizontalAlign::General);
                a.vertical = lookupName(attributeOr(attributes, "vertical"), kVerticalNames,
                                        VerticalAlign::Bottom);
                a.wrapText = booleanAttribute(attributes, "wrapText", false);
                a.shrinkToFit = booleanAttribute(attributes, "shrinkToFit", false);
                a.indent = static_cast<uint8_t>(
                    std::min<uint32_t>(indexAttribute(attributes, "indent"), 255));
                uint32_t rotation = indexAttribute(attributes, "textRotation");
                a.textRotation =
                    static_cast<int16_t>(rotation <= 180 || rotation == 255 ? rotation : 0);
                a.readingOrder = static_cast<uint8_t>(
                    std::min<uint32_t>(indexAttribute(attributes, "readingOrder"), 2));
            } else if (m_depth == 4 && !xfs.empty() && name == "protection") {
                Protection& p = xfs.back().protection;
                p.locked = booleanAttribute(attributes, "locked", true);
                p.hidden = booleanAttribute(attributes, "hidden", false);
            }
            break;
        case Section::Colors:
            if (m_depth == 3) {
                m_inIndexedColors = name == "indexedColors";
            } else if (m_depth == 4 && m_inIndexedColors && name == "rgbColor") {
                uint32_t argb = 0xFF000000;
                parseArgb(attributeOr(attributes, "rgb"), argb);
                m_count.add(sizeof(argb));
                indexedColors.push_back(argb);
            }
            break;
        case Section::None:
        case Section::Other:
            break;
    }
}

void StylesHandler::startFontChild(std::string_view name, XmlAttributes attributes) {
    readFontProperty(name, attributes, fonts.back().font, fonts.back().color);
}

}  // namespace

void readFontProperty(std::string_view name, XmlAttributes attributes, Font& font,
                      ColorSpec& color) {
    std::string_view value = attributeOr(attributes, "val");
    if (name == "b") {
        font.bold = flagElement(attributes);
    } else if (name == "i") {
        font.italic = flagElement(attributes);
    } else if (name == "strike") {
        font.strike = flagElement(attributes);
    } else if (name == "u") {
        font.underline = value.empty() || value == "single" ? Underline::Single
                         : value == "double"                ? Underline::Double
                         : value == "singleAccounting"      ? Underline::SingleAccounting
                         : value == "doubleAccounting"      ? Underline::DoubleAccounting
                                                            : Underline::None;
    } else if (name == "vertAlign") {
        font.verticalAlign = value == "superscript" ? VerticalTextAlign::Superscript
                             : value == "subscript" ? VerticalTextAlign::Subscript
                                                    : VerticalTextAlign::Baseline;
    } else if (name == "sz") {
        double size;
        if (parseNumber(value, size) && size > 0 && size <= 409.0) {
            font.size = size;
        }
    } else if (name == "color") {
        color = readColorSpec(attributes);
    } else if (name == "name" || name == "rFont") {
        font.name = std::string(value);
        decodeEscapes(font.name);
    } else if (name == "family") {
        font.family =
            static_cast<int32_t>(std::min<uint32_t>(indexAttribute(attributes, "val"), 255));
    } else if (name == "charset") {
        uint32_t charset = 0;
        if (parseIndex(value, charset) && charset <= 255) {
            font.charset = static_cast<int32_t>(charset);
        }
    } else if (name == "scheme") {
        font.scheme = value == "major" || value == "minor" ? std::string(value) : std::string();
    }
}

namespace {

void StylesHandler::startXf(XmlAttributes attributes) {
    RawXf xf;
    xf.numberFormat = indexAttribute(attributes, "numFmtId");
    xf.font = indexAttribute(attributes, "fontId");
    xf.fill = indexAttribute(attributes, "fillId");
    xf.border = indexAttribute(attributes, "borderId");
    m_count.add(sizeof(RawXf) + sizeof(uint32_t));
    xfs.push_back(xf);
}

void StylesHandler::endElement(std::string_view) {
    if (m_section == Section::Dxfs && m_depth > 2) {
        differential.endElement(m_depth - 1);
        --m_depth;
        return;
    }
    if (m_depth == 2) {
        m_section = Section::None;
    } else if (m_depth == 4) {
        m_edge = -1;
        m_inGradient = false;
    } else if (m_depth == 5) {
        m_inStop = false;
    }
    --m_depth;
}

// The id in the table of entry `index` of one of the part's lists. A part with an empty
// list still lets formats use entry 0, the default.
uint32_t mapIndex(const std::vector<uint32_t>& ids, uint32_t index, size_t xf, const char* what) {
    if (index < ids.size()) {
        return ids[index];
    }
    if (ids.empty() && index == 0) {
        return 0;
    }
    fail(FailureKind::Invalid, "cell format " + std::to_string(xf) + " uses " + what + " " +
                                   std::to_string(index) + ", but the styles part has only " +
                                   std::to_string(ids.size()));
}

}  // namespace

std::vector<uint32_t> readStyles(ZipPackage& package, const std::string& storedName,
                                 const ThemeColors& theme, StyleTable& styles,
                                 MemoryAccount& memory, StylesExtras* extras) {
    StylesHandler handler(memory);
    AlternateContentFilter filter(handler);
    parsePart(package, storedName, filter, kMaxSmallPartBytes, false);
    handler.flushCount();

    ColorResolver colors;
    colors.setThemeColors(theme);
    colors.setIndexedColors(handler.indexedColors);

    std::vector<uint32_t> fontIds;
    for (size_t i = 0; i < handler.fonts.size(); ++i) {
        Font font = handler.fonts[i].font;
        font.color = colors.resolve(handler.fonts[i].color);
        if (i == 0) {
            styles.setDefaultFont(font);
            fontIds.push_back(0);
        } else {
            fontIds.push_back(styles.addFont(font));
        }
    }
    std::vector<uint32_t> fillIds;
    for (const RawFill& raw : handler.fills) {
        Fill fill;
        fill.pattern = raw.pattern;
        fill.foreground = colors.resolve(raw.foreground);
        fill.background = colors.resolve(raw.background);
        fill.gradient = raw.gradient;
        for (const RawStop& stop : raw.stops) {
            fill.gradient.stops.push_back(GradientStop{stop.position, colors.resolve(stop.color)});
        }
        fillIds.push_back(styles.addFill(fill));
    }
    std::vector<uint32_t> borderIds;
    for (const RawBorder& raw : handler.borders) {
        Border border;
        BorderEdge* edges[kEdgeCount] = {&border.left, &border.right, &border.top, &border.bottom,
                                         &border.diagonal};
        for (int e = 0; e < kEdgeCount; ++e) {
            edges[e]->style = raw.styles[e];
            edges[e]->color = colors.resolve(raw.colors[e]);
        }
        border.diagonalUp = raw.diagonalUp;
        border.diagonalDown = raw.diagonalDown;
        borderIds.push_back(styles.addBorder(border));
    }

    std::map<uint32_t, uint32_t> formatIds;
    auto formatId = [&](uint32_t numFmtId) {
        auto known = formatIds.find(numFmtId);
        if (known != formatIds.end()) {
            return known->second;
        }
        std::string_view code;
        auto custom = handler.formatCodes.find(numFmtId);
        if (custom != handler.formatCodes.end()) {
            code = custom->second;
        } else if (numFmtId < 50) {
            code = builtinFormatCode(static_cast<int>(numFmtId));
        }
        uint32_t id = code.empty() ? 0 : styles.addFormatCode(code);
        formatIds.emplace(numFmtId, id);
        return id;
    };

    std::vector<uint32_t> styleIds;
    styleIds.reserve(handler.xfs.size());
    for (size_t i = 0; i < handler.xfs.size(); ++i) {
        const RawXf& xf = handler.xfs[i];
        CellStyle style;
        style.numberFormat = formatId(xf.numberFormat);
        style.font = mapIndex(fontIds, xf.font, i, "font");
        style.fill = mapIndex(fillIds, xf.fill, i, "fill");
        style.border = mapIndex(borderIds, xf.border, i, "border");
        style.alignment = xf.alignment;
        style.protection = xf.protection;
        styleIds.push_back(styles.addStyle(style));
    }
    if (extras) {
        extras->differentialStyleIds =
            addDifferentialStyles(handler.differential.styles, colors, styles);
        extras->colors = colors;
    }
    return styleIds;
}

}  // namespace plyfold::engine::xlsx_read
