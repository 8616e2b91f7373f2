#include "engine/io/csv/field_typing.h"

#include <charconv>
#include <cmath>
#include <cstdint>

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

TypedField typeField(std::string_view field) {
    TypedField typed;
    if (field.empty()) {
        return typed;
    }
    char first = field[0];
    if (isDigit(first) || first == '-' || first == '+' || first == '.') {
        if (isDigit(first) && parseIsoDate(field, typed)) {
            return typed;
        }
        if (parseNumber(field, typed.number)) {
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

}  // namespace plyfold::engine::csv
