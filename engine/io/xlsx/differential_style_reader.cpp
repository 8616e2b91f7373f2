#include "engine/io/xlsx/differential_style_reader.h"

#include <algorithm>
#include <array>

#include "engine/io/xlsx/style_names.h"
#include "engine/io/xlsx/value_parsing.h"
#include "engine/ops/number_format.h"

namespace plyfold::engine::xlsx_read {
namespace {

using namespace xlsx_names;

constexpr std::array<std::string_view, 5> kVerticalNames = {"bottom", "top", "center", "justify",
                                                            "distributed"};

bool flagElement(XmlAttributes attributes) {
    const std::string_view* value = findAttribute(attributes, "val");
    return !value || parseBoolean(*value).value_or(true);
}

uint32_t indexAttribute(XmlAttributes attributes, std::string_view name) {
    uint32_t value = 0;
    const std::string_view* text = findAttribute(attributes, name);
    return text && parseIndex(*text, value) ? value : 0;
}

int edgeOf(std::string_view name) {
    return name == "left" || name == "start"  ? 0
           : name == "right" || name == "end" ? 1
           : name == "top"                    ? 2
           : name == "bottom"                 ? 3
           : name == "diagonal"               ? 4
                                              : -1;
}

BorderEdge& edgeRef(Border& border, int edge) {
    BorderEdge* edges[] = {&border.left, &border.right, &border.top, &border.bottom,
                           &border.diagonal};
    return *edges[edge];
}

}  // namespace

void DifferentialStyleHandler::startElement(int depth, std::string_view name,
                                            XmlAttributes attributes) {
    if (depth == 2) {
        if (name == "dxf") {
            m_count(sizeof(RawDifferentialStyle));
            styles.emplace_back();
        }
        return;
    }
    if (styles.empty()) {
        return;
    }
    RawDifferentialStyle& raw = styles.back();
    DifferentialStyle& style = raw.style;
    if (depth == 3) {
        m_part = Part::Other;
        if (name == "font") {
            m_part = Part::Font;
            style.font.emplace();
        } else if (name == "fill") {
            m_part = Part::Fill;
            style.fill.emplace();
        } else if (name == "border") {
            m_part = Part::Border;
            Border border;
            border.diagonalUp = booleanAttribute(attributes, "diagonalUp", false);
            border.diagonalDown = booleanAttribute(attributes, "diagonalDown", false);
            style.border = border;
        } else if (name == "numFmt") {
            std::string code(attributeOr(attributes, "formatCode"));
            decodeEscapes(code);
            uint32_t id = 0;
            if (code.empty() && parseIndex(attributeOr(attributes, "numFmtId"), id) && id < 50) {
                code = std::string(builtinFormatCode(static_cast<int>(id)));
            }
            if (!code.empty()) {
                m_count(code.size());
                raw.formatCode = std::move(code);
            }
        } else if (name == "alignment") {
            Alignment a;
            a.horizontal = lookupName(attributeOr(attributes, "horizontal"), kHorizontalNames,
                                      HorizontalAlign::General);
            a.vertical = lookupName(attributeOr(attributes, "vertical"), kVerticalNames,
                                    VerticalAlign::Bottom);
            a.wrapText = booleanAttribute(attributes, "wrapText", false);
            a.shrinkToFit = booleanAttribute(attributes, "shrinkToFit", false);
            a.indent =
                static_cast<uint8_t>(std::min<uint32_t>(indexAttribute(attributes, "indent"), 255));
            const uint32_t rotation = indexAttribute(attributes, "textRotation");
            a.textRotation =
                static_cast<int16_t>(rotation <= 180 || rotation == 255 ? rotation : 0);
            a.readingOrder = static_cast<uint8_t>(
                std::min<uint32_t>(indexAttribute(attributes, "readingOrder"), 2));
            style.alignment = a;
        } else if (name == "protection") {
            Protection p;
            p.locked = booleanAttribute(attributes, "locked", true);
            p.hidden = booleanAttribute(attributes, "hidden", false);
            style.protection = p;
        }
        return;
    }
    switch (m_part) {
        case Part::Font:
            if (depth == 4) {
                startFontChild(name, attributes);
            }
            break;
        case Part::Fill:
            if (depth == 4 && name == "patternFill") {
                if (const std::string_view* type = findAttribute(attributes, "patternType")) {
                    style.fill->pattern = lookupName(*type, kPatternNames, PatternType::None);
                }
            } else if (depth == 4 && name == "gradientFill") {
                raw.gradient = true;
            } else if (depth == 5 && name == "fgColor") {
                raw.fillForeground = readColorSpec(attributes);
            } else if (depth == 5 && name == "bgColor") {
                raw.fillBackground = readColorSpec(attributes);
            }
            break;
        case Part::Border:
            if (depth == 4) {
                m_edge = edgeOf(name);
                if (m_edge >= 0) {
                    edgeRef(*style.border, m_edge).style =
                        lookupName(attributeOr(attributes, "style", "none"), kBorderStyleNames,
                                   BorderStyle::None);
                }
            } else if (depth == 5 && m_edge >= 0 && name == "color") {
                raw.edgeColors[static_cast<size_t>(m_edge)] = readColorSpec(attributes);
            }
            break;
        case Part::None:
        case Part::Other:
            break;
    }
}

void DifferentialStyleHandler::startFontChild(std::string_view name, XmlAttributes attributes) {
    RawDifferentialStyle& raw = styles.back();
    DifferentialFont& font = *raw.style.font;
    const std::string_view value = attributeOr(attributes, "val");
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
        double size = 0;
        if (parseNumber(value, size) && size > 0 && size <= 409.0) {
            font.size = size;
        }
    } else if (name == "color") {
        raw.fontColor = readColorSpec(attributes);
    } else if (name == "name" || name == "rFont") {
        std::string text(value);
        decodeEscapes(text);
        m_count(text.size());
        font.name = std::move(text);
    }
}

void DifferentialStyleHandler::endElement(int depth) {
    if (depth == 3) {
        m_part = Part::None;
    } else if (depth == 4) {
        m_edge = -1;
    }
}

std::vector<uint32_t> addDifferentialStyles(const std::vector<RawDifferentialStyle>& raw,
                                            const ColorResolver& colors, StyleTable& styles) {
    std::vector<uint32_t> ids;
    ids.reserve(raw.size());
    for (const RawDifferentialStyle& entry : raw) {
        DifferentialStyle style = entry.style;
        if (style.font) {
            style.font->color = colors.resolve(entry.fontColor);
        }
        if (entry.gradient) {
            style.fill.reset();  // left as the cell's own fill rather than made a plain one
        } else if (style.fill) {
            style.fill->foreground = colors.resolve(entry.fillForeground);
            style.fill->background = colors.resolve(entry.fillBackground);
        }
        if (style.border) {
            for (int e = 0; e < 5; ++e) {
                edgeRef(*style.border, e).color =
                    colors.resolve(entry.edgeColors[static_cast<size_t>(e)]);
            }
        }
        if (entry.formatCode) {
            style.numberFormat = styles.addFormatCode(*entry.formatCode);
        }
        ids.push_back(styles.appendDifferentialStyle(std::move(style)));
    }
    return ids;
}

}  // namespace plyfold::engine::xlsx_read
