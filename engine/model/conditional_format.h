#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/model/cell_ref.h"
#include "engine/model/style.h"

namespace plyfold::engine {

// The kinds of conditional formatting rules, in the order of their names in a file.
enum class ConditionalFormatType : uint8_t {
    Expression,
    CellIs,
    ColorScale,
    DataBar,
    IconSet,
    Top10,
    UniqueValues,
    DuplicateValues,
    ContainsText,
    NotContainsText,
    BeginsWith,
    EndsWith,
    ContainsBlanks,
    NotContainsBlanks,
    ContainsErrors,
    NotContainsErrors,
    TimePeriod,
    AboveAverage,
};

// How a cell-is or text rule compares; None where the rule has no operator.
enum class ConditionalFormatOperator : uint8_t {
    None,
    LessThan,
    LessThanOrEqual,
    Equal,
    NotEqual,
    GreaterThanOrEqual,
    GreaterThan,
    Between,
    NotBetween,
    ContainsText,
    NotContains,
    BeginsWith,
    EndsWith,
};

// A threshold of a colour scale, data bar or icon set (cfvo): its kind ("min", "max", "num",
// "percent", "percentile", "formula") and its value, a number or a formula without "=".
struct ConditionalValue {
    std::string type;
    std::string value;
    bool greaterOrEqual = true;
    friend bool operator==(const ConditionalValue&, const ConditionalValue&) = default;
};

// One rule. Its formulas (and the formulas of its thresholds) are written as they read at
// the top-left cell of the format's ranges; the other cells read them moved from there.
struct ConditionalFormatRule {
    ConditionalFormatType type = ConditionalFormatType::Expression;
    std::optional<uint32_t> differentialStyle;  // id in the workbook's StyleTable
    int32_t priority = 1;                       // 1 applies first
    bool stopIfTrue = false;
    ConditionalFormatOperator op = ConditionalFormatOperator::None;
    std::string text;        // what a text rule looks for
    std::string timePeriod;  // "today", "last7Days", ...
    int32_t rank = 0;        // top/bottom N
    bool percent = false;
    bool bottom = false;
    bool aboveAverage = true;
    bool equalAverage = false;
    int32_t stdDev = 0;
    std::vector<std::string> formulas;  // at most three, without "="

    // Colour scales, data bars and icon sets.
    std::vector<ConditionalValue> values;
    std::vector<Color> colors;  // a colour scale's, one a value; a data bar's one
    std::string iconSet;        // "3TrafficLights1", ...; empty for the default
    bool showValue = true;
    bool reverseIcons = false;
    uint32_t minLength = 10;  // data bar, in percent of the cell
    uint32_t maxLength = 90;
};

// A list of rules over a list of ranges (sqref).
struct ConditionalFormat {
    std::vector<CellRange> ranges;
    bool pivot = false;
    std::vector<ConditionalFormatRule> rules;
};

// The names a file uses.
std::string_view conditionalFormatTypeName(ConditionalFormatType type);
std::optional<ConditionalFormatType> conditionalFormatTypeFromName(std::string_view name);
std::string_view conditionalFormatOperatorName(ConditionalFormatOperator op);
std::optional<ConditionalFormatOperator> conditionalFormatOperatorFromName(std::string_view name);

// The top-left corner of a list of ranges, which a rule's formulas are relative to: the
// first row and the first column any range covers.
std::optional<CellRef> topLeftOf(const std::vector<CellRange>& ranges);

}  // namespace plyfold::engine
