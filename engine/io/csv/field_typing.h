#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/common/text_dialect.h"

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

// How a file writes the decimals of its numbers.
enum class DecimalMark {
    Point,  // 1234.56
    Comma,  // 1234,56 or 1.234,56: points group the thousands, in groups of exactly three
};

TypedField typeField(std::string_view field, DecimalMark mark = DecimalMark::Point);

// The number format that shows a date kind as it was written; empty for other kinds.
std::string_view dateFormatCode(FieldKind kind);

// What one field tells about the decimal mark of its file.
enum class DecimalEvidence {
    None,   // no decimals, or readable either way ("1.234", "42", "31.01.2026")
    Comma,  // a number only with a decimal comma: "12,5", "1.234,56", "-0,75"
    Point,  // a number only with a decimal point: "12.50", "0.5", "1.5e3", "1,234.56"
};

DecimalEvidence decimalEvidence(std::string_view field);

// A field written like a date with slashes, dots or dashes: a four-digit year and two parts
// of one or two digits, the year last (31.01.2026, 1/31/2026) or first (2026/01/31). Two-digit
// years are not read: "01.02.03" is as often a version or a code as a date.
struct DateLikeField {
    int year = 0;
    int first = 0;  // the two short parts in the order they are written
    int second = 0;
    bool firstHasTwoDigits = false;
    bool secondHasTwoDigits = false;
    bool yearFirst = false;
    char separator = '/';
};

std::optional<DateLikeField> readDateLike(std::string_view field);

// The serial of the date read in order, or nullopt when the order does not match where the
// year is written, or the parts name no day. DateOrder::Automatic reads nothing.
std::optional<double> dateSerial(const DateLikeField& date, DateOrder order);

// The number format that shows such a date the way it was written ("dd.mm.yyyy", "m/d/yyyy").
std::string dateFormatCode(const DateLikeField& date, DateOrder order);

}  // namespace plyfold::engine::csv
