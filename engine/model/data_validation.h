#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/model/cell_ref.h"

namespace plyfold::engine {

enum class ValidationType : uint8_t { None, Whole, Decimal, List, Date, Time, TextLength, Custom };

enum class ValidationOperator : uint8_t {
    Between,
    NotBetween,
    Equal,
    NotEqual,
    LessThan,
    LessThanOrEqual,
    GreaterThan,
    GreaterThanOrEqual,
};

enum class ValidationErrorStyle : uint8_t { Stop, Warning, Information };

// A data validation rule over a list of ranges (sqref). Its formulas are written as they read
// at the top-left cell of the ranges, without "=".
struct DataValidation {
    std::vector<CellRange> ranges;
    ValidationType type = ValidationType::None;
    ValidationOperator op = ValidationOperator::Between;
    ValidationErrorStyle errorStyle = ValidationErrorStyle::Stop;
    bool allowBlank = false;
    bool showDropDown = false;  // true hides the in-cell list's arrow, as the file format has it
    bool showInputMessage = false;
    bool showErrorMessage = false;
    std::string errorTitle;
    std::string error;
    std::string promptTitle;
    std::string prompt;
    std::string formula1;
    std::string formula2;
};

std::string_view validationTypeName(ValidationType type);
std::optional<ValidationType> validationTypeFromName(std::string_view name);
std::string_view validationOperatorName(ValidationOperator op);
std::optional<ValidationOperator> validationOperatorFromName(std::string_view name);
std::string_view validationErrorStyleName(ValidationErrorStyle style);
std::optional<ValidationErrorStyle> validationErrorStyleFromName(std::string_view name);

}  // namespace plyfold::engine
