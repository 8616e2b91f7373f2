#include "engine/model/data_validation.h"

#include <array>

namespace plyfold::engine {
namespace {

constexpr std::array<std::string_view, 8> kTypeNames = {"none", "whole", "decimal",    "list",
                                                        "date", "time",  "textLength", "custom"};

constexpr std::array<std::string_view, 8> kOperatorNames = {
    "between",  "notBetween",      "equal",       "notEqual",
    "lessThan", "lessThanOrEqual", "greaterThan", "greaterThanOrEqual"};

constexpr std::array<std::string_view, 3> kErrorStyleNames = {"stop", "warning", "information"};

template <typename Enum, size_t N>
std::optional<Enum> fromName(std::string_view name, const std::array<std::string_view, N>& names) {
    for (size_t i = 0; i < N; ++i) {
        if (names[i] == name) {
            return static_cast<Enum>(i);
        }
    }
    return std::nullopt;
}

}  // namespace

std::string_view validationTypeName(ValidationType type) {
    return kTypeNames[static_cast<size_t>(type)];
}
std::optional<ValidationType> validationTypeFromName(std::string_view name) {
    return fromName<ValidationType>(name, kTypeNames);
}
std::string_view validationOperatorName(ValidationOperator op) {
    return kOperatorNames[static_cast<size_t>(op)];
}
std::optional<ValidationOperator> validationOperatorFromName(std::string_view name) {
    return fromName<ValidationOperator>(name, kOperatorNames);
}
std::string_view validationErrorStyleName(ValidationErrorStyle style) {
    return kErrorStyleNames[static_cast<size_t>(style)];
}
std::optional<ValidationErrorStyle> validationErrorStyleFromName(std::string_view name) {
    return fromName<ValidationErrorStyle>(name, kErrorStyleNames);
}

}  // namespace plyfold::engine
