#include "engine/io/xlsx/styles_writer.h"

#include <array>
#include <cmath>

#include "engine/io/xlsx/style_names.h"
#include "engine/io/xlsx/theme_writer.h"
#include "engine/io/xlsx/xml_stream_writer.h"

namespace plyfold::engine::xlsx {
namespace {

using namespace xlsx_names;

constexpr std::array<std::string_view, 5> kVerticalNames = {"bottom", "top", "center", "justify",
                                                            "distributed"};

// How an automatic colour is spelled: fills and borders use the system colour index 64 as
// spreadsheet programs write it, fonts the auto flag.
enum class AutomaticAs { Auto, Indexed64 };

void writeColor(XmlStreamWriter& out, std::string_view element, const Color& color,
                AutomaticAs automaticAs) {
    if (!color.isSet()) {
        return;
    }
    out.raw('<');
    out.raw(element);
    if (color.kind == Color::Kind::Automatic) {
        out.raw(automaticAs == AutomaticAs::Auto ? " auto=\"1\"" : " indexed=\"64\"");
    } else {
        static constexpr char kHex[] = "0123456789ABCDEF";
        char rgb[8];
        for (int i = 0; i < 8; ++i) {
            rgb[i] = kHex[(color.argb >> (28 - 4 * i)) & 0xF];
        }
        out.raw(" rgb=\"");
        out.raw(std::string_view(rgb, 8));
        out.raw('"');
    }
    out.raw("/>");
}

void writeValElement(XmlStreamWriter& out, std::string_view element, std::string_view value) {
    out.raw('<');
    out.raw(element);
    out.attribute("val", value);
    out.raw("/>");
}

void writeFont(XmlStreamWriter& out, const Font& font) {
    out.raw("<font>");
    writeFontChildren(out, font, "name");
    out.raw("</font>");
}

}  // namespace

void writeFontChildren(XmlStreamWriter& out, const Font& font, std::string_view nameElement) {
    if (font.bold) {
        out.raw("<b/>");
    }
    if (font.italic) {
        out.raw("<i/>");
    }
    if (font.strike) {
        out.raw("<strike/>");
    }
    switch (font.underline) {
        case Underline::None:
            break;
        case Underline::Single:
            out.raw("<u/>");
            break;
        case Underline::Double:
            out.raw("<u val=\"double\"/>");
            break;
        case Underline::SingleAccounting:
            out.raw("<u val=\"singleAccounting\"/>");
            break;
        case Underline::DoubleAccounting:
            out.raw("<u val=\"doubleAccounting\"/>");
            break;
    }
    switch (font.verticalAlign) {
        case VerticalTextAlign::Baseline:
            break;
        case VerticalTextAlign::Superscript:
            out.raw("<vertAlign val=\"superscript\"/>");
            break;
        case VerticalTextAlign::Subscript:
            out.raw("<vertAlign val=\"subscript\"/>");
            break;
    }
    out.raw("<sz");
    out.attributeNumber("val", font.size);
    out.raw("/>");
    writeColor(out, "color", font.color, AutomaticAs::Auto);
    writeValElement(out, nameElement, font.name);
    if (font.family > 0) {
        out.raw("<family");
        out.attribute("val", font.family);
        out.raw("/>");
    }
    if (font.charset >= 0) {
        out.raw("<charset");
        out.attribute("val", font.charset);
        out.raw("/>");
    }
    // A scheme font is shown as the theme's font of that scheme whatever its name says. The
    // theme written is ours, so the scheme is kept only where it names the same font;
    // otherwise the font would change to the theme's.
    if ((font.scheme == "minor" && font.name == kThemeMinorFont) ||
        (font.scheme == "major" && font.name == kThemeMajorFont)) {
        writeValElement(out, "scheme", font.scheme);
    }
}

namespace {

// <gradientFill type="path" left=".." ...><stop position=".."><color/></stop>...
void writeGradientFill(XmlStreamWriter& out, const Gradient& gradient) {
    out.raw("<fill><gradientFill");
    auto number = [&out](std::string_view name, double value) {
        if (value != 0.0 && std::isfinite(value)) {
            out.attributeNumber(name, value);
        }
    };
    if (gradient.type == GradientType::Path) {
        out.raw(" type=\"path\"");
    }
    number("degree", gradient.degree);
    number("left", gradient.left);
    number("right", gradient.right);
    number("top", gradient.top);
    number("bottom", gradient.bottom);
    out.raw('>');
    for (const GradientStop& stop : gradient.stops) {
        out.raw("<stop");
        out.attributeNumber("position", std::isfinite(stop.position) ? stop.position : 0.0);
        out.raw('>');
        // A stop must hold a colour; one given none reads as black.
        writeColor(out, "color", stop.color.isSet() ? stop.color : Color::rgb(0xFF000000),
                   AutomaticAs::Auto);
        out.raw("</stop>");
    }
    out.raw("</gradientFill></fill>");
}

void writeFill(XmlStreamWriter& out, const Fill& fill) {
    if (fill.isGradient()) {
        writeGradientFill(out, fill.gradient);
        return;
    }
    out.raw("<fill><patternFill patternType=\"");
    out.raw(nameOf(kPatternNames, fill.pattern));
    out.raw('"');
    if (!fill.foreground.isSet() && !fill.background.isSet()) {
        out.raw("/></fill>");
        return;
    }
    out.raw('>');
    writeColor(out, "fgColor", fill.foreground, AutomaticAs::Indexed64);
    writeColor(out, "bgColor", fill.background, AutomaticAs::Indexed64);
    out.raw("</patternFill></fill>");
}

// An edge without a line may still carry a colour (some programs write one); it is kept so
// the style reads back the same.
void writeEdge(XmlStreamWriter& out, std::string_view element, const BorderEdge& edge) {
    out.raw('<');
    out.raw(element);
    if (edge.style != BorderStyle::None) {
        out.raw(" style=\"");
        out.raw(nameOf(kBorderStyleNames, edge.style));
        out.raw('"');
    }
    if (!edge.color.isSet()) {
        out.raw("/>");
        return;
    }
    out.raw('>');
    writeColor(out, "color", edge.color, AutomaticAs::Auto);
    out.raw("</");
    out.raw(element);
    out.raw('>');
}

void writeBorder(XmlStreamWriter& out, const Border& border) {
    out.raw("<border");
    if (border.diagonalUp) {
        out.raw(" diagonalUp=\"1\"");
    }
    if (border.diagonalDown) {
        out.raw(" diagonalDown=\"1\"");
    }
    out.raw('>');
    writeEdge(out, "left", border.left);
    writeEdge(out, "right", border.right);
    writeEdge(out, "top", border.top);
    writeEdge(out, "bottom", border.bottom);
    writeEdge(out, "diagonal", border.diagonal);
    out.raw("</border>");
}

void writeAlignment(XmlStreamWriter& out, const Alignment& a) {
    out.raw("<alignment");
    if (a.horizontal != HorizontalAlign::General) {
        out.attribute("horizontal", nameOf(kHorizontalNames, a.horizontal));
    }
    if (a.vertical != VerticalAlign::Bottom) {
        out.attribute("vertical", nameOf(kVerticalNames, a.vertical));
    }
    if (a.textRotation != 0) {
        out.attribute("textRotation", a.textRotation);
    }
    if (a.wrapText) {
        out.raw(" wrapText=\"1\"");
    }
    if (a.indent != 0) {
        out.attribute("indent", a.indent);
    }
    if (a.shrinkToFit) {
        out.raw(" shrinkToFit=\"1\"");
    }
    if (a.readingOrder != 0) {
        out.attribute("readingOrder", a.readingOrder);
    }
    out.raw("/>");
}

void writeCellFormat(XmlStreamWriter& out, const CellStyle& style, const PackagePlan& plan) {
    const bool alignment = !(style.alignment == Alignment{});
    const bool protection = !(style.protection == Protection{});
    const int32_t formatId = plan.numberFormatIds[style.numberFormat];
    out.raw("<xf");
    out.attribute("numFmtId", formatId);
    out.attribute("fontId", style.font);
    out.attribute("fillId", style.fill);
    out.attribute("borderId", style.border);
    out.raw(" xfId=\"0\"");
    if (formatId != 0) {
        out.raw(" applyNumberFormat=\"1\"");
    }
    if (style.font != 0) {
        out.raw(" applyFont=\"1\"");
    }
    if (style.fill != 0) {
        out.raw(" applyFill=\"1\"");
    }
    if (style.border != 0) {
        out.raw(" applyBorder=\"1\"");
    }
    if (alignment) {
        out.raw(" applyAlignment=\"1\"");
    }
    if (protection) {
        out.raw(" applyProtection=\"1\"");
    }
    if (!alignment && !protection) {
        out.raw("/>");
        return;
    }
    out.raw('>');
    if (alignment) {
        writeAlignment(out, style.alignment);
    }
    if (protection) {
        out.raw("<protection");
        if (!style.protection.locked) {
            out.raw(" locked=\"0\"");
        }
        if (style.protection.hidden) {
            out.raw(" hidden=\"1\"");
        }
        out.raw("/>");
    }
    out.raw("</xf>");
}

// A differential style states only what it changes, in the order the schema gives.
void writeDifferentialStyle(XmlStreamWriter& out, const DifferentialStyle& style,
                            const PackagePlan& plan, const StyleTable& styles) {
    out.raw("<dxf>");
    if (const auto& font = style.font) {
        out.raw("<font>");
        auto flag = [&](std::string_view name, const std::optional<bool>& value) {
            if (value) {
                out.raw('<');
                out.raw(name);
                out.raw(*value ? "/>" : " val=\"0\"/>");
            }
        };
        flag("b", font->bold);
        flag("i", font->italic);
        flag("strike", font->strike);
        if (font->underline) {
            constexpr std::array<std::string_view, 5> kUnderline = {
                "none", "single", "double", "singleAccounting", "doubleAccounting"};
            writeValElement(out, "u", nameOf(kUnderline, *font->underline));
        }
        if (font->verticalAlign) {
            constexpr std::array<std::string_view, 3> kVertical = {"baseline", "superscript",
                                                                   "subscript"};
            writeValElement(out, "vertAlign", nameOf(kVertical, *font->verticalAlign));
        }
        if (font->size) {
            out.raw("<sz");
            out.attributeNumber("val", *font->size);
            out.raw("/>");
        }
        writeColor(out, "color", font->color, AutomaticAs::Auto);
        if (font->name) {
            writeValElement(out, "name", *font->name);
        }
        out.raw("</font>");
    }
    if (style.numberFormat && *style.numberFormat < plan.numberFormatIds.size() &&
        plan.numberFormatIds[*style.numberFormat] >= 0) {
        out.raw("<numFmt");
        out.attribute("numFmtId", plan.numberFormatIds[*style.numberFormat]);
        out.attribute("formatCode", styles.formatCode(*style.numberFormat));
        out.raw("/>");
    }
    if (const auto& fill = style.fill) {
        out.raw("<fill><patternFill");
        if (fill->pattern) {
            out.attribute("patternType", nameOf(kPatternNames, *fill->pattern));
        }
        out.raw('>');
        writeColor(out, "fgColor", fill->foreground, AutomaticAs::Indexed64);
        writeColor(out, "bgColor", fill->background, AutomaticAs::Indexed64);
        out.raw("</patternFill></fill>");
    }
    if (style.alignment) {
        writeAlignment(out, *style.alignment);
    }
    if (const auto& protection = style.protection) {
        out.raw("<protection");
        out.attribute("locked", protection->locked ? "1" : "0");
        out.attribute("hidden", protection->hidden ? "1" : "0");
        out.raw("/>");
    }
    if (style.border) {
        // Only the edges it states.
        const Border& border = *style.border;
        out.raw("<border");
        if (border.diagonalUp) {
            out.raw(" diagonalUp=\"1\"");
        }
        if (border.diagonalDown) {
            out.raw(" diagonalDown=\"1\"");
        }
        out.raw('>');
        const std::pair<std::string_view, const BorderEdge*> edges[] = {
            {"left", &border.left},
            {"right", &border.right},
            {"top", &border.top},
            {"bottom", &border.bottom},
            {"diagonal", &border.diagonal}};
        for (const auto& [name, edge] : edges) {
            if (edge->style != BorderStyle::None || edge->color.isSet()) {
                writeEdge(out, name, *edge);
            }
        }
        out.raw("</border>");
    }
    out.raw("</dxf>");
}

void openList(XmlStreamWriter& out, std::string_view element, uint64_t count) {
    out.raw('<');
    out.raw(element);
    out.attribute("count", static_cast<int64_t>(count));
    out.raw('>');
}

void closeList(XmlStreamWriter& out, std::string_view element) {
    out.raw("</");
    out.raw(element);
    out.raw('>');
}

}  // namespace

void writeStyles(ZipWriter& zip, const PackagePlan& plan) {
    const StyleTable& styles = plan.workbook->styles();
    XmlStreamWriter out(zip, "xl/styles.xml");
    out.raw("<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">");
    if (!plan.customFormatCodes.empty()) {
        openList(out, "numFmts", plan.customFormatCodes.size());
        for (size_t i = 0; i < plan.customFormatCodes.size(); ++i) {
            out.raw("<numFmt");
            out.attribute("numFmtId", static_cast<int64_t>(kFirstCustomFormatId + i));
            out.attribute("formatCode", styles.formatCode(plan.customFormatCodes[i]));
            out.raw("/>");
        }
        closeList(out, "numFmts");
    }
    openList(out, "fonts", styles.fontCount());
    for (uint32_t i = 0; i < styles.fontCount(); ++i) {
        writeFont(out, styles.font(i));
    }
    closeList(out, "fonts");
    openList(out, "fills", styles.fillCount());
    for (uint32_t i = 0; i < styles.fillCount(); ++i) {
        writeFill(out, styles.fill(i));
    }
    closeList(out, "fills");
    openList(out, "borders", styles.borderCount());
    for (uint32_t i = 0; i < styles.borderCount(); ++i) {
        writeBorder(out, styles.border(i));
    }
    closeList(out, "borders");
    out.raw(
        "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" "
        "borderId=\"0\"/></cellStyleXfs>");
    openList(out, "cellXfs", styles.styleCount());
    for (uint32_t i = 0; i < styles.styleCount(); ++i) {
        writeCellFormat(out, styles.style(i), plan);
    }
    closeList(out, "cellXfs");
    out.raw(
        "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/>"
        "</cellStyles>");
    openList(out, "dxfs", styles.differentialStyleCount());
    for (uint32_t i = 0; i < styles.differentialStyleCount(); ++i) {
        writeDifferentialStyle(out, styles.differentialStyle(i), plan, styles);
    }
    closeList(out, "dxfs");
    out.raw(
        "<tableStyles count=\"0\" "
        "defaultTableStyle=\"TableStyleMedium9\" defaultPivotStyle=\"PivotStyleLight16\"/>"
        "</styleSheet>");
    out.finish();
}

}  // namespace plyfold::engine::xlsx
