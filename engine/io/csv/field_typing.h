#pragma once

#include <string_view>

namespace plyfold::engine::csv {

// What a field of a text file holds, judged as a careful spreadsheet user would: plain
// decimal numbers, TRUE and FALSE, ISO dates with an optional time; everything else is text,
// and so are numbers a spreadsheet would damage (leading zeros, more than 15 significant
// digits, long digit strings such as card or phone numbers).
enum class FieldKind {
    Text,
    Number,
    Boolean,
    Date,              // 2024-03-31
    DateTimeMinutes,   // 2024-03-31 12:30
    DateTimeSeconds,   // 2024-03-31 12:30:45
    DateTimeFraction,  // 2024-03-31 12:30:45.250
};

struct TypedField {
    FieldKind kind = FieldKind::Text;
    double number = 0.0;  // the number, the date serial, or 1/0 for a boolean
};

TypedField typeField(std::string_view field);

// The number format that shows a date kind as it was written; empty for other kinds.
std::string_view dateFormatCode(FieldKind kind);

}  // namespace plyfold::engine::csv
