#include "engine/io/csv/field_typing.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "engine/ops/date_serial.h"

namespace plyfold::engine::csv {
namespace {

constexpr int kMaxSignificantDigits = 15;
constexpr size_t kLongDigitString = 16;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool parseNumber(std::string_view field, double& value) {
    size_t i = 0;
    const size_t n = field.size();
    if (field[0] == '+' || field[0] == '-') {
        i = 1;
    }
    const size_t integerStart = i;
    while (i < n && isDigit(field[i])) {
        ++i;
    }
    const size_t integerDigits = i - integerStart;
    size_t fractionStart = i;
    size_t fractionDigits = 0;
    if (i < n && field[i] == '.') {
        fractionStart = ++i;
        while (i < n && isDigit(field[i])) {
            ++i;
        }
        fractionDigits = i - fractionStart;
    }
    if (integerDigits + fractionDigits == 0) {
        return false;
    }
    if (i < n && (field[i] == 'e' || field[i] == 'E')) {
        ++i;
        if (i < n && (field[i] == '+' || field[i] == '-')) {
            ++i;
        }
        const size_t exponentStart = i;
        while (i < n && isDigit(field[i])) {
            ++i;
        }
        if (i == exponentStart) {
            return false;
        }
    }
    if (i != n) {
        return false;
    }
    if (integerDigits > 1 && field[integerStart] == '0') {
        return false;  // 00123: an identifier, not a number
    }
    if (integerDigits >= kLongDigitString) {
        return false;
    }
    // Significant digits: from the first non-zero digit to the last non-zero digit of the
    // fraction (trailing zeros of the fraction carry no value; those of the integer do).
    std::string_view integer = field.substr(integerStart, integerDigits);
    std::string_view fraction = field.substr(fractionStart, fractionDigits);
    while (!fraction.empty() && fraction.back() == '0') {
        fraction.remove_suffix(1);
    }
    size_t significant = 0;
    size_t firstNonZero = integer.find_first_not_of('0');
    if (firstNonZero != std::string_view::npos) {
        significant = integer.size() - firstNonZero + fraction.size();
    } else {
        size_t fractionNonZero = fraction.find_first_not_of('0');
        significant =
            fractionNonZero == std::string_view::npos ? 0 : fraction.size() - fractionNonZero;
    }
    if (significant > static_cast<size_t>(kMaxSignificantDigits)) {
        return false;
    }
    // The common case, at most 15 digits and no exponent: the digits as an integer are exact
    // in a double, and one division by an exact power of ten rounds correctly.
    if (i == fractionStart + fractionDigits && integerDigits + fractionDigits <= 15) {
        static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                  1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
        int64_t digits = 0;
        for (size_t k = integerStart; k < i; ++k) {
            if (field[k] != '.') {
                digits = digits * 10 + (field[k] - '0');
            }
        }
        value = static_cast<double>(digits) / kPowersOfTen[fractionDigits];
        if (field[0] == '-') {
            value = -value;
        }
        if (value == 0.0) {
            value = 0.0;
        }
        return true;
    }
    const char* begin = field.data() + (field[0] == '+' ? 1 : 0);
    const char* end = field.data() + n;
    auto [ptr, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || ptr != end || !std::isfinite(value)) {
        return false;  // beyond the range of a double: kept as written
    }
    if (value == 0.0) {
        value = 0.0;  // -0 shows as 0 in a spreadsheet
    }
    return true;
}

// A number written with a decimal comma: rewritten with a decimal point and without the
// thousands points, then read by the rules above (leading zeros, significant digits). A
// thousands point must be followed by exactly three digits and follow a first group of one to
// three digits that does not start with 0 ("0.123" is no thousand).
bool parseCommaNumber(std::string_view field, double& value) {
    if (field.find_first_of(".,") == std::string_view::npos) {
        return parseNumber(field, value);
    }
    // Longer fields are no number a person writes; they stay text.
    char buffer[256];
    if (field.size() > sizeof buffer) {
        return false;
    }
    size_t out = 0;
    size_t i = 0;
    const size_t n = field.size();
    if (field[0] == '+' || field[0] == '-') {
        buffer[out++] = field[i++];
    }
    const size_t groupStart = i;
    while (i < n && isDigit(field[i])) {
        buffer[out++] = field[i++];
    }
    if (i < n && field[i] == '.') {
        const size_t firstGroup = i - groupStart;
        if (firstGroup == 0 || firstGroup > 3 || field[groupStart] == '0') {
            return false;
        }
        while (i < n && field[i] == '.') {
            ++i;
            if (i + 3 > n || !isDigit(field[i]) || !isDigit(field[i + 1]) ||
                !isDigit(field[i + 2]) || (i + 3 < n && isDigit(field[i + 3]))) {
                return false;
            }
            std::memcpy(buffer + out, field.data() + i, 3);
            out += 3;
            i += 3;
        }
    }
    if (i < n && field[i] == ',') {
        buffer[out++] = '.';
        ++i;
    }
    // The fraction and an exponent as written; a second point or comma makes it text.
    for (; i < n; ++i) {
        if (field[i] == '.' || field[i] == ',') {
            return false;
        }
        buffer[out++] = field[i];
    }
    return out > 0 && parseNumber(std::string_view(buffer, out), value);
}

bool equalsIgnoringCase(std::string_view text, std::string_view upper) {
    if (text.size() != upper.size()) {
        return false;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
        if (c != upper[i]) {
            return false;
        }
    }
    return true;
}

// Reads exactly count digits at pos.
bool readDigits(std::string_view text, size_t pos, size_t count, int& value) {
    if (pos + count > text.size()) {
        return false;
    }
    value = 0;
    for (size_t i = pos; i < pos + count; ++i) {
        if (!isDigit(text[i])) {
            return false;
        }
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

bool parseIsoDate(std::string_view field, TypedField& typed) {
    int year = 0;
    int month = 0;
    int day = 0;
    if (field.size() < 10 || field[4] != '-' || field[7] != '-' || !readDigits(field, 0, 4, year) ||
        !readDigits(field, 5, 2, month) || !readDigits(field, 8, 2, day)) {
        return false;
    }
    auto whole = serialFromDate(CivilDate{year, month, day}, false);
    if (!whole || *whole < 1) {
        return false;
    }
    const auto serial = static_cast<double>(*whole);
    if (field.size() == 10) {
        typed = {FieldKind::Date, serial};
        return true;
    }
    int hour = 0;
    int minute = 0;
    if (field.size() < 16 || (field[10] != 'T' && field[10] != ' ') || field[13] != ':' ||
        !readDigits(field, 11, 2, hour) || !readDigits(field, 14, 2, minute)) {
        return false;
    }
    FieldKind kind = FieldKind::DateTimeMinutes;
    double second = 0.0;
    if (field.size() > 16) {
        int wholeSecond = 0;
        if (field[16] != ':' || !readDigits(field, 17, 2, wholeSecond)) {
            return false;
        }
        second = wholeSecond;
        kind = FieldKind::DateTimeSeconds;
        if (field.size() > 19) {
            if (field[19] != '.' || field.size() == 20) {
                return false;
            }
            double scale = 0.1;
            for (size_t i = 20; i < field.size(); ++i) {
                if (!isDigit(field[i])) {
                    return false;
                }
                second += (field[i] - '0') * scale;
                scale /= 10.0;
            }
            kind = FieldKind::DateTimeFraction;
        }
    }
    if (hour > 23 || minute > 59 || second >= 60.0) {
        return false;
    }
    typed = {kind, serial + (hour * 3600.0 + minute * 60.0 + second) / 86400.0};
    return true;
}

}  // namespace

TypedField typeField(std::string_view field, DecimalMark mark) {
    TypedField typed;
    if (field.empty()) {
        return typed;
    }
    char first = field[0];
    if (isDigit(first) || first == '-' || first == '+' || first == '.' ||
        (first == ',' && mark == DecimalMark::Comma)) {
        if (isDigit(first) && parseIsoDate(field, typed)) {
            return typed;
        }
        const bool number = mark == DecimalMark::Point ? parseNumber(field, typed.number)
                                                       : parseCommaNumber(field, typed.number);
        if (number) {
            typed.kind = FieldKind::Number;
        }
        return typed;
    }
    if (equalsIgnoringCase(field, "TRUE")) {
        return {FieldKind::Boolean, 1.0};
    }
    if (equalsIgnoringCase(field, "FALSE")) {
        return {FieldKind::Boolean, 0.0};
    }
    return typed;
}

std::string_view dateFormatCode(FieldKind kind) {
    switch (kind) {
        case FieldKind::Date:
            return "yyyy-mm-dd";
        case FieldKind::DateTimeMinutes:
            return "yyyy-mm-dd hh:mm";
        case FieldKind::DateTimeSeconds:
            return "yyyy-mm-dd hh:mm:ss";
        case FieldKind::DateTimeFraction:
            return "yyyy-mm-dd hh:mm:ss.000";
        default:
            return {};
    }
}

DecimalEvidence decimalEvidence(std::string_view field) {
    if (field.empty()) {
        return DecimalEvidence::None;
    }
    const char first = field[0];
    if (!isDigit(first) && first != '-' && first != '+' && first != '.' && first != ',') {
        return DecimalEvidence::None;
    }
    const size_t lastComma = field.rfind(',');
    const size_t lastPoint = field.rfind('.');
    if (lastComma == std::string_view::npos && lastPoint == std::string_view::npos) {
        return DecimalEvidence::None;
    }
    double value = 0.0;
    const bool commaNumber = parseCommaNumber(field, value);
    if (commaNumber && lastComma != std::string_view::npos) {
        return DecimalEvidence::Comma;
    }
    if (commaNumber) {
        return DecimalEvidence::None;  // "1.234": a thousand or one and a bit
    }
    if (lastPoint != std::string_view::npos && typeField(field).kind == FieldKind::Number) {
        return DecimalEvidence::Point;
    }
    // "1,234.56": thousands commas before a decimal point.
    if (lastComma != std::string_view::npos && lastPoint != std::string_view::npos &&
        lastPoint > lastComma && isDigit(field.back()) &&
        field.find_first_not_of("0123456789,.+-") == std::string_view::npos) {
        return DecimalEvidence::Point;
    }
    return DecimalEvidence::None;
}

std::optional<DateLikeField> readDateLike(std::string_view field) {
    if (field.size() < 8 || field.size() > 10) {
        return std::nullopt;
    }
    int parts[3] = {};
    size_t widths[3] = {};
    char separator = 0;
    size_t i = 0;
    for (int k = 0; k < 3; ++k) {
        const size_t start = i;
        while (i < field.size() && isDigit(field[i]) && i - start < 4) {
            parts[k] = parts[k] * 10 + (field[i] - '0');
            ++i;
        }
        widths[k] = i - start;
        if (widths[k] == 0) {
            return std::nullopt;
        }
        if (k == 2) {
            break;
        }
        if (i == field.size()) {
            return std::nullopt;
        }
        const char c = field[i++];
        if ((c != '/' && c != '.' && c != '-') || (k == 1 && c != separator)) {
            return std::nullopt;
        }
        separator = c;
    }
    if (i != field.size()) {
        return std::nullopt;
    }
    auto isShort = [](size_t width) { return width == 1 || width == 2; };
    DateLikeField date;
    date.separator = separator;
    if (isShort(widths[0]) && isShort(widths[1]) && widths[2] == 4) {
        date.first = parts[0];
        date.second = parts[1];
        date.year = parts[2];
        date.firstHasTwoDigits = widths[0] == 2;
        date.secondHasTwoDigits = widths[1] == 2;
        return date;
    }
    if (widths[0] == 4 && isShort(widths[1]) && isShort(widths[2])) {
        date.year = parts[0];
        date.first = parts[1];
        date.second = parts[2];
        date.firstHasTwoDigits = widths[1] == 2;
        date.secondHasTwoDigits = widths[2] == 2;
        date.yearFirst = true;
        return date;
    }
    return std::nullopt;
}

std::optional<double> dateSerial(const DateLikeField& date, DateOrder order) {
    CivilDate civil{date.year, 0, 0};
    switch (order) {
        case DateOrder::Automatic:
            return std::nullopt;
        case DateOrder::DayMonthYear:
            civil.day = date.first;
            civil.month = date.second;
            break;
        case DateOrder::MonthDayYear:
        case DateOrder::YearMonthDay:
            civil.month = date.first;
            civil.day = date.second;
            break;
    }
    if (date.yearFirst != (order == DateOrder::YearMonthDay) || civil.day < 1) {
        return std::nullopt;
    }
    auto serial = serialFromDate(civil, false);
    if (!serial || *serial < 1) {
        return std::nullopt;
    }
    return static_cast<double>(*serial);
}

std::string dateFormatCode(const DateLikeField& date, DateOrder order) {
    const bool dayFirst = order == DateOrder::DayMonthYear;
    const bool wideDay = dayFirst ? date.firstHasTwoDigits : date.secondHasTwoDigits;
    const bool wideMonth = dayFirst ? date.secondHasTwoDigits : date.firstHasTwoDigits;
    const std::string day = wideDay ? "dd" : "d";
    const std::string month = wideMonth ? "mm" : "m";
    // A point in a number format is a decimal point; as a literal it is escaped.
    const std::string separator =
        date.separator == '.' ? std::string("\\.") : std::string(1, date.separator);
    switch (order) {
        case DateOrder::DayMonthYear:
            return day + separator + month + separator + "yyyy";
        case DateOrder::YearMonthDay:
            return "yyyy" + separator + month + separator + day;
        default:
            return month + separator + day + separator + "yyyy";
    }
}

}  // namespace plyfold::engine::csv
