#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/model/string_pool.h"

namespace plyfold::engine {

// A colour resolved to RGB when read (theme, indexed and tinted colours included).
struct Color {
    enum class Kind : uint8_t { None, Automatic, Rgb };
    Kind kind = Kind::None;
    uint32_t argb = 0;  // 0xAARRGGBB when kind is Rgb

    static Color rgb(uint32_t argb) { return {Kind::Rgb, argb}; }
    static Color automatic() { return {Kind::Automatic, 0}; }
    bool isSet() const { return kind != Kind::None; }
    friend bool operator==(const Color&, const Color&) = default;
};

enum class Underline : uint8_t { None, Single, Double, SingleAccounting, DoubleAccounting };
enum class VerticalTextAlign : uint8_t { Baseline, Superscript, Subscript };

struct Font {
    std::string name = "Calibri";
    double size = 11.0;
    bool bold = false;
    bool italic = false;
    bool strike = false;
    Underline underline = Underline::None;
    VerticalTextAlign verticalAlign = VerticalTextAlign::Baseline;
    Color color;
    int32_t family = 2;            // 0 when not stated
    int32_t charset = -1;          // -1 when not stated
    std::string scheme = "minor";  // "major", "minor" or empty
    friend bool operator==(const Font&, const Font&) = default;
};

// The pattern types of a cell fill, in the order the file format lists them.
enum class PatternType : uint8_t {
    None,
    Solid,
    MediumGray,
    DarkGray,
    LightGray,
    DarkHorizontal,
    DarkVertical,
    DarkDown,
    DarkUp,
    DarkGrid,
    DarkTrellis,
    LightHorizontal,
    LightVertical,
    LightDown,
    LightUp,
    LightGrid,
    LightTrellis,
    Gray125,
    Gray0625
};

enum class GradientType : uint8_t { None, Linear, Path };

struct GradientStop {
    double position = 0.0;  // 0..1 along the gradient
    Color color;
    friend bool operator==(const GradientStop&, const GradientStop&) = default;
};

// A gradient fill: linear at an angle (degree), or a path from the inner rectangle given by
// left, right, top and bottom (fractions of the cell) out to its edges.
struct Gradient {
    GradientType type = GradientType::None;
    double degree = 0.0;
    double left = 0.0;
    double right = 0.0;
    double top = 0.0;
    double bottom = 0.0;
    std::vector<GradientStop> stops;
    friend bool operator==(const Gradient&, const Gradient&) = default;
};

// A pattern fill, or a gradient one when gradient.type is not None; a gradient also keeps
// its first colour as a solid pattern, for views that draw only plain fills.
struct Fill {
    PatternType pattern = PatternType::None;
    Color foreground;
    Color background;
    Gradient gradient;
    bool isGradient() const { return gradient.type != GradientType::None; }
    friend bool operator==(const Fill&, const Fill&) = default;
};

enum class BorderStyle : uint8_t {
    None,
    Thin,
    Medium,
    Dashed,
    Dotted,
    Thick,
    Double,
    Hair,
    MediumDashed,
    DashDot,
    MediumDashDot,
    DashDotDot,
    MediumDashDotDot,
    SlantDashDot
};

struct BorderEdge {
    BorderStyle style = BorderStyle::None;
    Color color;
    friend bool operator==(const BorderEdge&, const BorderEdge&) = default;
};

struct Border {
    BorderEdge left, right, top, bottom, diagonal;
    bool diagonalUp = false;
    bool diagonalDown = false;
    friend bool operator==(const Border&, const Border&) = default;
};

enum class HorizontalAlign : uint8_t {
    General,
    Left,
    Center,
    Right,
    Fill,
    Justify,
    CenterContinuous,
    Distributed
};
enum class VerticalAlign : uint8_t { Bottom, Top, Center, Justify, Distributed };

struct Alignment {
    HorizontalAlign horizontal = HorizontalAlign::General;
    VerticalAlign vertical = VerticalAlign::Bottom;
    bool wrapText = false;
    bool shrinkToFit = false;
    uint8_t indent = 0;
    int16_t textRotation = 0;  // 0..180, or 255 for vertical text
    uint8_t readingOrder = 0;
    friend bool operator==(const Alignment&, const Alignment&) = default;
};

struct Protection {
    bool locked = true;
    bool hidden = false;
    friend bool operator==(const Protection&, const Protection&) = default;
};

// A differential style, as conditional formats apply it over a cell's own format: only
// what it states changes (a font made bold keeps its name and size).
struct DifferentialFont {
    std::optional<std::string> name;
    std::optional<double> size;
    std::optional<bool> bold;
    std::optional<bool> italic;
    std::optional<bool> strike;
    std::optional<Underline> underline;
    std::optional<VerticalTextAlign> verticalAlign;
    Color color;  // Kind::None when not stated
    friend bool operator==(const DifferentialFont&, const DifferentialFont&) = default;
};

// A differential fill: without a pattern a stated colour fills the cell solid, and a solid
// fill's colour is its background colour, as the file format defines differential fills.
struct DifferentialFill {
    std::optional<PatternType> pattern;
    Color foreground;
    Color background;
    friend bool operator==(const DifferentialFill&, const DifferentialFill&) = default;
};

struct DifferentialStyle {
    std::optional<DifferentialFont> font;
    std::optional<uint32_t> numberFormat;  // id in StyleTable::formatCodes()
    std::optional<DifferentialFill> fill;
    std::optional<Border> border;  // edges without a style and colour are not stated
    std::optional<Alignment> alignment;
    std::optional<Protection> protection;
    friend bool operator==(const DifferentialStyle&, const DifferentialStyle&) = default;
};

// One cell format: indexes into the tables of its StyleTable plus inline alignment and
// protection. The number format is an id of the table's format-code pool.
struct CellStyle {
    uint32_t numberFormat = 0;  // id in StyleTable::formatCodes(); 0 is "General"
    uint32_t font = 0;
    uint32_t fill = 0;
    uint32_t border = 0;
    Alignment alignment;
    Protection protection;
    friend bool operator==(const CellStyle&, const CellStyle&) = default;
};

// The formats of one workbook. Entry 0 of every table is the default, and style id 0 is the
// default cell format. Adding an entry equal to an existing one returns the existing id, so
// formats mapped in from another workbook are not duplicated.
class StyleTable {
public:
    StyleTable();

    uint32_t addFont(const Font& font);
    uint32_t addFill(const Fill& fill);
    uint32_t addBorder(const Border& border);
    uint32_t addFormatCode(std::string_view code);
    uint32_t addStyle(const CellStyle& style);

    const Font& font(uint32_t id) const { return m_fonts[id]; }
    const Fill& fill(uint32_t id) const { return m_fills[id]; }
    const Border& border(uint32_t id) const { return m_borders[id]; }
    std::string_view formatCode(uint32_t id) const { return m_formatCodes.text(id); }
    const CellStyle& style(uint32_t id) const { return m_styles[id]; }

    uint32_t fontCount() const { return static_cast<uint32_t>(m_fonts.size()); }
    uint32_t fillCount() const { return static_cast<uint32_t>(m_fills.size()); }
    uint32_t borderCount() const { return static_cast<uint32_t>(m_borders.size()); }
    uint32_t formatCodeCount() const { return m_formatCodes.size(); }
    uint32_t styleCount() const { return static_cast<uint32_t>(m_styles.size()); }

    // Replaces the default font (entry 0), as a file's first font does.
    void setDefaultFont(const Font& font);

    // The id in this table of a style of another table, adding what is missing.
    uint32_t importStyle(const StyleTable& source, uint32_t sourceStyle);

    // The differential styles (dxfs) that conditional formats apply. Adding one equal to an
    // existing one returns the existing id.
    uint32_t addDifferentialStyle(const DifferentialStyle& style);
    // For readers: adds the style as the next id, so that a file's list keeps its numbering.
    uint32_t appendDifferentialStyle(DifferentialStyle style);
    const DifferentialStyle& differentialStyle(uint32_t id) const { return m_differential[id]; }
    uint32_t differentialStyleCount() const { return static_cast<uint32_t>(m_differential.size()); }
    // The id in this table of a differential style of another table, adding it when missing.
    uint32_t importDifferentialStyle(const StyleTable& source, uint32_t sourceId);

private:
    template <typename T>
    uint32_t addUnique(std::vector<T>& table, const T& value);

    std::vector<Font> m_fonts;
    std::vector<Fill> m_fills;
    std::vector<Border> m_borders;
    StringPool m_formatCodes;
    std::vector<CellStyle> m_styles;
    std::vector<DifferentialStyle> m_differential;
    std::unordered_map<uint64_t, std::vector<uint32_t>> m_styleIndex;
};

}  // namespace plyfold::engine
