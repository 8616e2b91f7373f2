#include "engine/ops/autofit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "engine/common/text.h"
#include "engine/model/sheet.h"
#include "engine/model/workbook.h"
#include "engine/ops/installed_fonts.h"
#include "engine/ops/number_format.h"
#include "engine/ops/sheet_ops.h"

namespace plyfold::engine {
namespace {

// Advance widths of the printable ASCII characters (space to tilde) in thousandths of an em.
using AdvanceTable = std::array<uint16_t, 95>;

// Calibri-like: the proportions of the usual default font of spreadsheets.
constexpr AdvanceTable kCalibri = {
    226, 326, 401, 498, 507, 715, 682, 221, 303, 303, 498, 498, 250, 306, 252,
    386,  //  !"#$%&'()*+,-./
    507, 507, 507, 507, 507, 507, 507, 507, 507, 507, 268, 268, 498, 498, 498,
    463,  // 0-9 :;<=>?
    894, 579, 544, 533, 615, 488, 459, 631, 623, 252, 319, 520, 420, 855, 646,
    662,  // @A-O
    517, 673, 543, 459, 487, 642, 567, 890, 519, 487, 468, 307, 386, 307, 498,
    498,  // P-Z [\]^_
    291, 479, 525, 423, 525, 498, 305, 471, 525, 230, 239, 455, 230, 799, 525,
    527,                                                                        // `a-o
    525, 525, 349, 391, 335, 525, 452, 715, 433, 453, 395, 314, 460, 314, 498,  // p-z {|}~
};

// Arial-like (the metrics Arial, Helvetica and Liberation Sans share).
constexpr AdvanceTable kArial = {
    278, 278, 355, 556, 556, 889, 667, 191, 333, 333, 389, 584, 278, 333,  278, 278, 556, 556, 556,
    556, 556, 556, 556, 556, 556, 556, 278, 278, 584, 584, 584, 556, 1015, 667, 667, 722, 722, 667,
    611, 778, 722, 278, 500, 667, 556, 833, 722, 778, 667, 778, 722, 667,  611, 722, 667, 944, 667,
    667, 611, 278, 278, 278, 469, 556, 333, 556, 556, 500, 556, 556, 278,  556, 556, 222, 222, 500,
    222, 833, 556, 556, 556, 556, 333, 500, 278, 556, 500, 722, 500, 500,  500, 334, 260, 334, 584,
};

struct FontMetrics {
    const AdvanceTable* table = nullptr;  // nullptr for a monospaced font
    double digit = 0.0;                   // advance of the widest digit, in thousandths of an em
    // A font the tables do not cover, measured as the machine shows it; its bold is its own.
    std::shared_ptr<const InstalledFont> installed;
};

// The families the tables hold exactly: these are measured without looking at the fonts
// installed, and alike on every machine.
std::optional<FontMetrics> builtInMetrics(const std::string& name) {
    static const std::array<std::string_view, 2> calibri = {"calibri", "carlito"};
    static const std::array<std::string_view, 4> arial = {"arial", "helvetica", "liberation sans",
                                                          "arimo"};
    static const std::array<std::string_view, 4> courier = {"courier new", "courier",
                                                            "liberation mono", "cousine"};
    auto among = [&](const auto& names) {
        return std::find(names.begin(), names.end(), name) != names.end();
    };
    if (among(calibri)) {
        return FontMetrics{&kCalibri, 507.0, nullptr};
    }
    if (among(arial)) {
        return FontMetrics{&kArial, 556.0, nullptr};
    }
    if (among(courier)) {
        return FontMetrics{nullptr, 600.0, nullptr};
    }
    return std::nullopt;
}

FontMetrics metricsOf(const Font& font) {
    const std::string name = asciiLower(font.name);
    if (std::optional<FontMetrics> builtIn = builtInMetrics(name)) {
        return *builtIn;
    }
    if (auto installed = InstalledFont::find(font.name, font.bold, font.italic)) {
        double digit = 0.0;
        for (uint32_t cp = '0'; cp <= '9'; ++cp) {
            digit = std::max(digit, installed->advance(cp).value_or(0.0));
        }
        if (digit > 0) {
            return {nullptr, digit, std::move(installed)};
        }
    }
    // Nothing installed matches: the table nearest the family's kind.
    auto has = [&](std::string_view part) { return name.find(part) != std::string::npos; };
    if (has("courier") || has("consolas") || has("mono") || has("lucida console")) {
        return {nullptr, 600.0, nullptr};
    }
    if (has("arial") || has("helvetica") || has("liberation sans") || has("tahoma") ||
        has("verdana") || has("segoe")) {
        return {&kArial, 556.0, nullptr};
    }
    return {&kCalibri, 507.0, nullptr};
}

bool isWide(uint32_t cp) {
    return (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
           (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
           (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
           (cp >= 0xFFE0 && cp <= 0xFFE6) || cp >= 0x20000;
}

bool isZeroWidth(uint32_t cp) {
    return cp < 0x20 || (cp >= 0x300 && cp <= 0x36F) || (cp >= 0x200B && cp <= 0x200F) ||
           cp == 0xFEFF;
}

// Advance of one code point in thousandths of an em.
double advance(uint32_t cp, const FontMetrics& metrics) {
    if (isZeroWidth(cp)) {
        return 0.0;
    }
    if (metrics.installed) {
        if (std::optional<double> found = metrics.installed->advance(cp)) {
            return *found;
        }
    }
    if (isWide(cp)) {
        return 1000.0;
    }
    if (!metrics.table) {
        return metrics.digit;
    }
    if (cp >= 0x20 && cp <= 0x7E) {
        return (*metrics.table)[cp - 0x20];
    }
    // Other letters (accented Latin, Greek, Cyrillic ...) are about a digit wide.
    return metrics.digit;
}

uint32_t nextCodePoint(std::string_view text, size_t& i) {
    const auto b = static_cast<unsigned char>(text[i]);
    size_t length = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
    length = std::min(length, text.size() - i);
    uint32_t cp = length == 1 ? b : b & (0x3F >> (length - 1));
    for (size_t k = 1; k < length; ++k) {
        cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    }
    i += length;
    return cp;
}

// Bold glyphs run a little wider than regular ones.
constexpr double kBoldFactor = 1.07;
// Room a column needs around its text: the cell margins and the gridline, about a digit.
constexpr double kPadding = 1.0;
// An indent level is about three spaces wide.
constexpr double kIndentDigits = 1.3;

double sizeOf(const Font& font) {
    return font.size > 0 ? font.size : 11.0;
}

// How a font measures in the unit of column widths: advances (thousandths of an em) times
// scale give digit widths of the default font.
struct FontMeasure {
    FontMetrics metrics;
    double scale = 0.0;

    FontMeasure(const Font& font, const Font& defaultFont) : metrics(metricsOf(font)) {
        const double digitPoints = metricsOf(defaultFont).digit / 1000.0 * sizeOf(defaultFont);
        // The tables hold regular glyphs, and a face without a bold of its own is thickened.
        const bool thickened = font.bold && (!metrics.installed || metrics.installed->emboldened());
        scale = sizeOf(font) / 1000.0 / digitPoints * (thickened ? kBoldFactor : 1.0);
    }

    double width(std::string_view text) const { return thousandths(text) * scale; }

    // Unscaled: in thousandths of an em.
    double thousandths(std::string_view text) const {
        double thousandths = 0.0;
        for (size_t i = 0; i < text.size();) {
            const auto b = static_cast<unsigned char>(text[i]);
            if (b >= 0x20 && b < 0x7F && metrics.table) {
                thousandths += (*metrics.table)[b - 0x20];  // the common case, not decoded
                ++i;
            } else {
                thousandths += advance(nextCodePoint(text, i), metrics);
            }
        }
        return thousandths;
    }
};

// What measuring a cell depends on, worked out once a style.
struct StyleMeasure {
    bool wrap = false;
    bool showsTextAsIs = false;  // the format has no text section
    double indent = 0.0;
    FontMeasure font;
};

// Upper bounds of shown widths, so that what cannot widen a column is not measured, and the
// widths already measured for a style. Bounds are summed in thousandths of an em and scaled
// as widths are: with the built-in tables every advance is a whole number, the sums are
// exact, and a bound equal to a width is not above it.
struct StyleShortcuts {
    double scale = 0.0;
    // Over the sums of a font the machine measures (advances with fractions), a bound counts
    // only when it is above the width by more than the rounding of either sum.
    double margin = 1.0;
    // The most a byte of UTF-8 text can add: the widest printable ASCII character, a digit,
    // or a third of a wide character (those take three bytes); none for a font the machine
    // measures, whose other glyphs can be of any width.
    double perByte = std::numeric_limits<double>::infinity();
    bool general = false;  // the format is General alone
    // Set where the shape of a number's text follows from its sign and magnitude alone.
    const NumberFormat* shaped = nullptr;
    bool date1904 = false;
    double digitOrSpace = 0.0;
    // Bounds by sign and decimal magnitude (0 to 14) for a shaped format, in thousandths:
    // of the numbers up to the largest that does not carry, and of those above it.
    struct Shape {
        bool known = false;
        double uncarried = 0.0;
        double below = 0.0;
        double above = 0.0;
    };
    std::array<Shape, 30> shapes;
    double digit = 0.0;  // the widest digit
    double point = 0.0;
    double minus = 0.0;
    // Widths of the texts of the string pool shown in this style, by text id; NaN where not
    // measured yet. Styles that show texts as they are in the same font and wrapping share
    // them.
    std::vector<double>* texts = nullptr;
    std::vector<double> ownTexts;
    // Widths of numbers shown in this style, while enough of them repeat (dates, mostly).
    std::unordered_map<uint64_t, double> numbers;
    bool cachesNumbers = true;
    size_t numberLookups = 0;
    size_t numberHits = 0;

    StyleShortcuts(const FontMeasure& font, std::string_view formatCode, const NumberFormat& format,
                   bool date1904OfBook)
        : scale(font.scale), date1904(date1904OfBook), m_font(font) {
        if (font.metrics.installed) {
            margin = 1.0 + 1e-9;
        } else {
            double widest = std::max(font.metrics.digit, 334.0);
            if (font.metrics.table) {
                widest = std::max(widest, double(*std::max_element(font.metrics.table->begin(),
                                                                   font.metrics.table->end())));
            }
            perByte = widest;
        }
        general = formatCode.empty() || equalsIgnoringAsciiCase(formatCode, "General");
        for (char c = '0'; c <= '9'; ++c) {
            digit = std::max(digit, font.thousandths(std::string_view(&c, 1)));
        }
        point = font.thousandths(".");
        minus = font.thousandths("-");
        digitOrSpace = std::max(digit, font.thousandths(" "));
        if (!general && !format.isDateTime() && shapedByMagnitude(formatCode)) {
            shaped = &format;
        }
    }

    // True for a format whose sections are picked by sign alone (no conditions) and show a
    // number's digits in places its magnitude decides: no dates, times or fractions.
    static bool shapedByMagnitude(std::string_view code) {
        for (size_t i = 0; i < code.size(); ++i) {
            const char c = code[i];
            if (c == '"') {
                const size_t end = code.find('"', i + 1);
                if (end == std::string_view::npos) {
                    return false;
                }
                i = end;
            } else if (c == '\\') {
                ++i;
            } else if (c == '[') {
                if (i + 1 < code.size() && std::strchr("<>=", code[i + 1])) {
                    return false;
                }
                const size_t end = code.find(']', i + 1);
                if (end == std::string_view::npos) {
                    return false;
                }
                i = end;
            } else if (c == '/') {
                return false;
            }
        }
        return true;
    }

    // An upper bound of the width of a number shown through a shaped format, or infinity
    // where none is cheap. Numbers of one sign and decimal magnitude show the same text but
    // for their digits (a '?' shows a space for a digit, a '#' decimal nothing), unless
    // rounding carries them to the next power of ten. So the text of 1.11111111111111 times
    // the power, whose digits all show, bounds those that do not carry when each digit or
    // space counts as the widest of those; rounding only goes up with the number, so below
    // the largest of 9, 99, 999 ... times a power of ten that does not carry, none does, and
    // above it the text of 9.99999999999999 times the power, which carries where any does,
    // counts too. Numbers at the very ends of a magnitude are left to be measured.
    double shapeBound(double value) {
        static constexpr std::array<double, 16> kPowers = {
            1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
        const double magnitude = std::fabs(value);
        if (!shaped || !(magnitude >= 1.0 && magnitude < 1e15)) {
            return std::numeric_limits<double>::infinity();
        }
        size_t power = 0;
        while (magnitude >= kPowers[power + 1]) {
            ++power;
        }
        if (magnitude <= kPowers[power] * (1 + 1e-12) ||
            magnitude >= kPowers[power + 1] * (1 - 1e-12)) {
            return std::numeric_limits<double>::infinity();
        }
        Shape& shape = shapes[power * 2 + (value < 0 ? 1 : 0)];
        if (!shape.known) {
            const double sign = value < 0 ? -1.0 : 1.0;
            shape.known = true;
            shape.below = shapeWidth(sign * 1.11111111111111 * kPowers[power]);
            const std::string carried = shaped->format(sign * kPowers[power + 1], date1904);
            for (size_t nines = 1; nines <= 14; ++nines) {
                const double candidate = (kPowers[nines] - 1) * kPowers[power + 1] / kPowers[nines];
                if (shaped->format(sign * candidate, date1904) == carried) {
                    break;
                }
                shape.uncarried = candidate;
                shape.below = std::max(shape.below, shapeWidth(sign * candidate));
            }
            shape.above =
                std::max(shape.below, shapeWidth(sign * 9.99999999999999 * kPowers[power]));
        }
        return (magnitude <= shape.uncarried ? shape.below : shape.above) * scale * margin;
    }

private:
    // The width of a number's text, in thousandths, with each digit or space as wide as the
    // widest of them.
    double shapeWidth(double value) const {
        const std::string text = shaped->format(value, date1904);
        double thousandths = m_font.thousandths(text);
        for (const char c : text) {
            if ((c >= '0' && c <= '9') || c == ' ') {
                thousandths += digitOrSpace - m_font.thousandths(std::string_view(&c, 1));
            }
        }
        return thousandths;
    }

    const FontMeasure& m_font;

public:
    // An upper bound of the width of a text of the string pool shown as it is.
    double textBound(std::string_view text) const {
        return perByte == std::numeric_limits<double>::infinity()
                   ? perByte
                   : static_cast<double>(text.size()) * perByte * scale;
    }

    // An upper bound of the width of a number shown in General, or infinity where none is
    // cheap: a number of 1 to 10^9 with at most three decimals shows them all, unrounded, so
    // its text has as many digits as its integer part and decimals, a point and a sign.
    double generalBound(double value) const {
        static constexpr std::array<double, 10> kPowers = {1e0, 1e1, 1e2, 1e3, 1e4,
                                                           1e5, 1e6, 1e7, 1e8, 1e9};
        const double magnitude = std::fabs(value);
        if (!(magnitude >= 1.0 && magnitude < 1e9)) {
            return std::numeric_limits<double>::infinity();
        }
        size_t integerDigits = 1;
        while (magnitude >= kPowers[integerDigits]) {
            ++integerDigits;
        }
        for (size_t decimals = 0; decimals <= 3 && integerDigits + decimals <= 10; ++decimals) {
            const double scaled = std::nearbyint(magnitude * kPowers[decimals]);
            if (scaled / kPowers[decimals] == magnitude) {
                const double thousandths = static_cast<double>(integerDigits + decimals) * digit +
                                           (decimals > 0 ? point : 0.0) + (value < 0 ? minus : 0.0);
                return thousandths * scale * margin;
            }
        }
        return std::numeric_limits<double>::infinity();
    }
};

// After this many numbers looked up in a style, the style stops keeping their widths unless
// a quarter of the lookups found one.
constexpr size_t kNumberCacheTrial = 4096;
// The most number widths a style keeps.
constexpr size_t kNumbersKept = size_t{1} << 18;

constexpr double kNothingShown = -1.0;

// The width of a shown text before wrapping at the column's width: for wrapped text, the
// width of its widest line, since its own line breaks can make it narrower.
double measuredWidth(std::string_view text, const StyleMeasure& measure) {
    if (!measure.wrap) {
        return measure.font.width(text);
    }
    double width = 0.0;
    for (size_t start = 0; start <= text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        width = std::max(width, measure.font.width(text.substr(start, end - start)));
        start = end + 1;
    }
    return width;
}

// A column holding formulas whose results are not known yet gets no narrower than its floor
// (the width of the column they came from), since their results will need that room; fitted
// is the width its shown texts ask for, or < 0 when nothing is shown.
void fitAwaitingColumn(Sheet& sheet, int32_t column, double fitted) {
    const auto found = sheet.fitFloors().find(column);
    const double floor = found == sheet.fitFloors().end() ? 0.0 : found->second;
    if (fitted >= 0) {
        sheet.setColumnWidth(column, std::max(fitted, std::min(floor, kMaxColumnWidth)));
        return;
    }
    double current = sheet.columnWidth(column);
    if (current <= 0) {
        current = sheet.defaultColumnWidth();
    }
    if (floor > current) {
        sheet.setColumnWidth(column, std::min(floor, kMaxColumnWidth));
    }
}

}  // namespace

double textWidthInDigits(std::string_view text, const Font& font, const Font& defaultFont) {
    return FontMeasure(font, defaultFont).width(text);
}

bool awaitsItsResult(const Workbook& workbook, const Cell& cell) {
    return cell.hasFormula() &&
           (cell.type == CellType::Blank ||
            (cell.type == CellType::Text && workbook.strings().text(cell.value.text).empty()));
}

double columnWidthForText(double textWidth) {
    const double width = std::ceil((textWidth + kPadding) * 256.0) / 256.0;
    return std::min(width, kMaxColumnWidth);
}

namespace {

void fitColumns(Sheet& sheet, bool shortcuts) {
    const Workbook& workbook = sheet.workbook();
    const StyleTable& styles = workbook.styles();
    const Font& defaultFont = styles.font(0);
    const auto& rows = sheet.rows();

    // Cells in merged ranges do not count, as in spreadsheet programs: they are found by a
    // sweep over the rows with the merges that cover the current row.
    std::vector<CellRange> merges = sheet.merges();
    std::sort(merges.begin(), merges.end(),
              [](const CellRange& a, const CellRange& b) { return a.first.row < b.first.row; });
    std::vector<CellRange> active;
    size_t nextMerge = 0;

    std::vector<double> widest;  // by column; < 0 where nothing was measured
    std::vector<bool> awaiting;  // by column: holds a formula whose result is not known yet
    std::vector<std::optional<StyleMeasure>> measures(styles.styleCount());
    DisplayFormatter formatter(workbook);
    std::string shown;
    // The width of what a cell shows, before wrapping at the column's width; kNothingShown
    // when it shows nothing.
    auto measureShown = [&](const Cell& cell, const StyleMeasure& measure) {
        // A text shown as it is gets measured in place, without a copy.
        std::string_view text;
        if (cell.type == CellType::Text && measure.showsTextAsIs) {
            text = workbook.strings().text(cell.value.text);
        } else {
            shown = formatter.text(cell);
            text = shown;
        }
        return text.empty() ? kNothingShown : measuredWidth(text, measure);
    };
    std::vector<std::unique_ptr<StyleShortcuts>> shortcutsOf(styles.styleCount());
    std::map<std::pair<uint32_t, bool>, std::vector<double>> textWidths;  // by font and wrap

    for (const Row& row : rows) {
        while (nextMerge < merges.size() && merges[nextMerge].first.row <= row.index) {
            active.push_back(merges[nextMerge++]);
        }
        active.erase(std::remove_if(active.begin(), active.end(),
                                    [&](const CellRange& m) { return m.last.row < row.index; }),
                     active.end());
        for (const Cell& cell : row.cells) {
            if (cell.type == CellType::Blank && !cell.hasFormula()) {
                continue;
            }
            const int32_t column = cell.column;
            if (std::any_of(active.begin(), active.end(), [&](const CellRange& m) {
                    return column >= m.first.column && column <= m.last.column;
                })) {
                continue;
            }
            if (awaitsItsResult(workbook, cell)) {
                if (static_cast<size_t>(column) >= awaiting.size()) {
                    awaiting.resize(static_cast<size_t>(column) + 1, false);
                }
                awaiting[static_cast<size_t>(column)] = true;
                continue;
            }
            const uint32_t styleId = cell.style < measures.size() ? cell.style : 0;
            auto& slot = measures[styleId];
            if (!slot) {
                const CellStyle& style = styles.style(styleId);
                const Font& font = styles.font(style.font < styles.fontCount() ? style.font : 0);
                slot.emplace(StyleMeasure{
                    style.alignment.wrapText, !formatter.formatOfStyle(styleId).hasTextSection(),
                    style.alignment.indent * kIndentDigits, FontMeasure(font, defaultFont)});
                if (shortcuts) {
                    const uint32_t code = style.numberFormat;
                    auto known = std::make_unique<StyleShortcuts>(
                        slot->font,
                        code < styles.formatCodeCount() ? styles.formatCode(code) : "General",
                        formatter.formatOfStyle(styleId), workbook.isDate1904());
                    known->texts = slot->showsTextAsIs
                                       ? &textWidths[{style.font, style.alignment.wrapText}]
                                       : &known->ownTexts;
                    shortcutsOf[styleId] = std::move(known);
                }
            }
            const StyleMeasure& measure = *slot;
            const auto index = static_cast<size_t>(column);
            if (index >= widest.size()) {
                widest.resize(index + 1, -1.0);
            }
            // The room wrapped text gets: it breaks at the column's width, so it never asks
            // for more.
            auto widthInColumn = [&](double width) {
                if (measure.wrap) {
                    double current = sheet.columnWidth(column);
                    if (current <= 0) {
                        current = sheet.defaultColumnWidth();
                    }
                    width = std::min(width, std::max(0.0, current - kPadding));
                }
                return width + measure.indent;
            };
            double width = 0.0;
            if (shortcuts) {
                StyleShortcuts& known = *shortcutsOf[styleId];
                double bound = std::numeric_limits<double>::infinity();
                if (cell.type == CellType::Text && measure.showsTextAsIs) {
                    bound = known.textBound(workbook.strings().text(cell.value.text));
                } else if (cell.type == CellType::Number && known.general) {
                    bound = known.generalBound(cell.value.number);
                } else if (cell.type == CellType::Number) {
                    bound = known.shapeBound(cell.value.number);
                }
                if (widest[index] >= 0 && bound < std::numeric_limits<double>::infinity() &&
                    widthInColumn(bound) <= widest[index]) {
                    continue;  // cannot widen the column
                }
                if (cell.type == CellType::Text) {
                    if (known.texts->empty()) {
                        known.texts->resize(workbook.strings().size(),
                                            std::numeric_limits<double>::quiet_NaN());
                    }
                    double& cached = (*known.texts)[cell.value.text];
                    if (std::isnan(cached)) {
                        cached = measureShown(cell, measure);
                    }
                    width = cached;
                } else if (cell.type == CellType::Number && known.cachesNumbers &&
                           known.numbers.size() < kNumbersKept) {
                    uint64_t bits = 0;
                    std::memcpy(&bits, &cell.value.number, sizeof bits);
                    auto [found, isNew] = known.numbers.try_emplace(bits, kNothingShown);
                    if (isNew) {
                        found->second = measureShown(cell, measure);
                    } else {
                        ++known.numberHits;
                    }
                    width = found->second;
                    if (++known.numberLookups == kNumberCacheTrial &&
                        known.numberHits < kNumberCacheTrial / 4) {
                        known.cachesNumbers = false;
                        known.numbers = {};
                    }
                } else {
                    width = measureShown(cell, measure);
                }
            } else {
                width = measureShown(cell, measure);
            }
            if (width < 0.0) {
                continue;  // nothing shown
            }
            widest[index] = std::max(widest[index], widthInColumn(width));
        }
    }

    auto isHidden = [&](int32_t column) {
        for (const ColumnInfo& info : sheet.columns()) {
            if (column >= info.first && column <= info.last) {
                return info.hidden;
            }
        }
        return false;
    };
    for (size_t column = 0; column < std::max(widest.size(), awaiting.size()); ++column) {
        const auto index = static_cast<int32_t>(column);
        const bool measured = column < widest.size() && widest[column] >= 0;
        const bool awaits = column < awaiting.size() && awaiting[column];
        if ((!measured && !awaits) || isHidden(index)) {
            continue;
        }
        if (awaits) {
            fitAwaitingColumn(sheet, index, measured ? columnWidthForText(widest[column]) : -1.0);
        } else if (measured) {
            sheet.setColumnWidth(index, columnWidthForText(widest[column]));
        }
    }
}

}  // namespace

void autoFitColumns(Sheet& sheet) {
    fitColumns(sheet, true);
}

void autoFitColumnsMeasuringEveryCell(Sheet& sheet) {
    fitColumns(sheet, false);
}

}  // namespace plyfold::engine
