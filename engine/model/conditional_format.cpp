#include "engine/model/conditional_format.h"

#include <algorithm>
#include <array>

namespace plyfold::engine {
namespace {

constexpr std::array<std::string_view, 18> kTypeNames = {"expression",     "cellIs",
                                                         "colorScale",     "dataBar",
                                                         "iconSet",        "top10",
                                                         "uniqueValues",   "duplicateValues",
                                                         "containsText",   "notContainsText",
                                                         "beginsWith",     "endsWith",
                                                         "containsBlanks", "notContainsBlanks",
                                                         "containsErrors", "notContainsErrors",
                                                         "timePeriod",     "aboveAverage"};

constexpr std::array<std::string_view, 13> kOperatorNames = {
    "",           "lessThan",           "lessThanOrEqual", "equal",
    "notEqual",   "greaterThanOrEqual", "greaterThan",     "between",
    "notBetween", "containsText",       "notContains",     "beginsWith",
    "endsWith"};

template <typename Enum, size_t N>
std::optional<Enum> fromName(std::string_view name, const std::array<std::string_view, N>& names) {
    for (size_t i = 0; i < N; ++i) {
        if (!names[i].empty() && names[i] == name) {
            return static_cast<Enum>(i);
        }
    }
    return std::nullopt;
}

}  // namespace

std::string_view conditionalFormatTypeName(ConditionalFormatType type) {
    return kTypeNames[static_cast<size_t>(type)];
}

std::optional<ConditionalFormatType> conditionalFormatTypeFromName(std::string_view name) {
    return fromName<ConditionalFormatType>(name, kTypeNames);
}

std::string_view conditionalFormatOperatorName(ConditionalFormatOperator op) {
    return kOperatorNames[static_cast<size_t>(op)];
}

std::optional<ConditionalFormatOperator> conditionalFormatOperatorFromName(std::string_view name) {
    return fromName<ConditionalFormatOperator>(name, kOperatorNames);
}

std::optional<CellRef> topLeftOf(const std::vector<CellRange>& ranges) {
    if (ranges.empty()) {
        return std::nullopt;
    }
    CellRef corner = ranges.front().first;
    for (const CellRange& range : ranges) {
        corner.row = std::min(corner.row, range.first.row);
        corner.column = std::min(corner.column, range.first.column);
    }
    return corner;
}

}  // namespace plyfold::engine
