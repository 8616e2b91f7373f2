#include "engine/io/xlsx/value_parsing.h"

#include <charconv>
#include <cmath>

#include "engine/common/text.h"
#include "engine/model/limits.h"

namespace plyfold::engine::xlsx_read {
namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The UTF-16 unit of an escape "_xHHHH_" starting at text[at], or -1.
int32_t escapeAt(std::string_view text, size_t at) {
    if (at + 7 > text.size() || text[at] != '_' || text[at + 1] != 'x' || text[at + 6] != '_') {
        return -1;
    }
    int32_t unit = 0;
    for (size_t i = at + 2; i < at + 6; ++i) {
        int d = hexDigit(text[i]);
        if (d < 0) {
            return -1;
        }
        unit = unit * 16 + d;
    }
    return unit;
}

std::string_view trimSpace(std::string_view text) {
    auto space = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!text.empty() && space(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && space(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// Days from 1970-01-01 of a date in the proleptic Gregorian calendar.
int64_t daysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2;
    int64_t era = (y >= 0 ? y : y - 399) / 400;
    int64_t yoe = y - era * 400;
    int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

bool isLeapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int y, int m) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeapYear(y) ? 29 : kDays[m - 1];
}

// Reads exactly `digits` decimal digits.
bool readDigits(std::string_view& text, size_t digits, int& value) {
    if (text.size() < digits) {
        return false;
    }
    value = 0;
    for (size_t i = 0; i < digits; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        value = value * 10 + (text[i] - '0');
    }
    text.remove_prefix(digits);
    return true;
}

bool take(std::string_view& text, char c) {
    if (text.empty() || text.front() != c) {
        return false;
    }
    text.remove_prefix(1);
    return true;
}

// "HH:MM[:SS[.fff]]" followed by an optional zone; the fraction of a day.
std::optional<double> parseTime(std::string_view text) {
    int hour = 0, minute = 0, second = 0;
    if (!readDigits(text, 2, hour) || !take(text, ':') || !readDigits(text, 2, minute)) {
        return std::nullopt;
    }
    double fraction = 0.0;
    if (take(text, ':')) {
        if (!readDigits(text, 2, second)) {
            return std::nullopt;
        }
        if (take(text, '.')) {
            double scale = 0.1;
            size_t n = 0;
            while (!text.empty() && text.front() >= '0' && text.front() <= '9') {
                fraction += (text.front() - '0') * scale;
                scale /= 10;
                text.remove_prefix(1);
                ++n;
            }
            if (n == 0) {
                return std::nullopt;
            }
        }
    }
    if (!text.empty() && !(text == "Z" || ((text[0] == '+' || text[0] == '-') &&
                                           (text.size() == 6 || text.size() == 5)))) {
        return std::nullopt;
    }
    if (hour > 24 || minute > 59 || second > 59 || (hour == 24 && (minute || second))) {
        return std::nullopt;
    }
    return (hour * 3600.0 + minute * 60.0 + second + fraction) / 86400.0;
}

}  // namespace

void decodeEscapes(std::string& text) {
    size_t first = text.find("_x");
    if (first == std::string::npos) {
        return;
    }
    std::string out(text, 0, first);
    for (size_t i = first; i < text.size();) {
        int32_t unit = escapeAt(text, i);
        if (unit < 0) {
            out.push_back(text[i]);
            ++i;
            continue;
        }
        i += 7;
        uint32_t codePoint = static_cast<uint32_t>(unit);
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            int32_t low = escapeAt(text, i);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                codePoint = 0x10000 + ((static_cast<uint32_t>(unit) - 0xD800) << 10) +
                            (static_cast<uint32_t>(low) - 0xDC00);
                i += 7;
            }
        }
        appendUtf8(out, codePoint);  // lone surrogates become U+FFFD there
    }
    text = std::move(out);
}

bool parseNumber(std::string_view text, double& value) {
    text = trimSpace(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
            return false;
        }
    }
    if (text.empty()) {
        return false;
    }
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && std::isfinite(value);
}

bool parseIndex(std::string_view text, uint32_t& value) {
    text = trimSpace(text);
    if (text.empty()) {
        return false;
    }
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

std::optional<bool> parseBoolean(std::string_view text) {
    text = trimSpace(text);
    if (text == "1" || text == "true") {
        return true;
    }
    if (text == "0" || text == "false") {
        return false;
    }
    return std::nullopt;
}

std::optional<double> parseIsoDateSerial(std::string_view text, bool date1904) {
    text = trimSpace(text);
    if (text.size() >= 5 && text[2] == ':') {
        return parseTime(text);
    }
    if (!text.empty() && text.front() == 'T') {
        return parseTime(text.substr(1));
    }
    int year = 0, month = 0, day = 0;
    if (!readDigits(text, 4, year) || !take(text, '-') || !readDigits(text, 2, month) ||
        !take(text, '-') || !readDigits(text, 2, day)) {
        return std::nullopt;
    }
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month)) {
        return std::nullopt;
    }
    double time = 0.0;
    if (!text.empty()) {
        if (!take(text, 'T') && !take(text, ' ')) {
            return std::nullopt;
        }
        std::optional<double> t = parseTime(text);
        if (!t) {
            return std::nullopt;
        }
        time = *t;
    }
    int64_t days = daysFromCivil(year, month, day);
    double serial;
    if (date1904) {
        serial = static_cast<double>(days - daysFromCivil(1904, 1, 1));
    } else if (days >= daysFromCivil(1900, 3, 1)) {
        serial = static_cast<double>(days - daysFromCivil(1899, 12, 30));
    } else if (days >= daysFromCivil(1899, 12, 31)) {
        // Before March 1900 the 1900 system counts from 1900-01-00, one day later, since it
        // holds the nonexistent 1900-02-29 (serial 60).
        serial = static_cast<double>(days - daysFromCivil(1899, 12, 31));
    } else if (days == daysFromCivil(1899, 12, 30)) {
        serial = 0.0;  // the day some writers give times without a date
    } else {
        return std::nullopt;
    }
    if (serial < 0) {
        return std::nullopt;
    }
    return serial + time;
}

bool isXmlText(std::string_view text) {
    for (unsigned char c : text) {
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
            return false;
        }
    }
    return isValidUtf8(text);
}

ReferenceStatus parseCellReference(std::string_view text, CellRef& ref) {
    size_t i = 0;
    int64_t column = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') {
            column = column * 26 + (c - 'A' + 1);
        } else if (c >= 'a' && c <= 'z') {
            column = column * 26 + (c - 'a' + 1);
        } else {
            break;
        }
        if (column > int64_t{kMaxColumns} * 26) {
            column = int64_t{kMaxColumns} * 26;  // stays beyond the limit without overflowing
        }
        ++i;
    }
    if (i == 0 || i == text.size()) {
        return ReferenceStatus::Invalid;
    }
    int64_t row = 0;
    for (size_t j = i; j < text.size(); ++j) {
        char c = text[j];
        if (c < '0' || c > '9') {
            return ReferenceStatus::Invalid;
        }
        row = row * 10 + (c - '0');
        if (row > int64_t(kMaxRows) * 10) {
            row = int64_t(kMaxRows) * 10;
        }
    }
    if (row == 0) {
        return ReferenceStatus::Invalid;
    }
    if (column > kMaxColumns || row > kMaxRows) {
        return ReferenceStatus::BeyondLimits;
    }
    ref.row = static_cast<int32_t>(row - 1);
    ref.column = static_cast<int32_t>(column - 1);
    return ReferenceStatus::Ok;
}

bool booleanAttribute(XmlAttributes attributes, std::string_view name, bool fallback) {
    const std::string_view* text = findAttribute(attributes, name);
    return text ? parseBoolean(*text).value_or(fallback) : fallback;
}

std::string textAttribute(XmlAttributes attributes, std::string_view name) {
    std::string text(attributeOr(attributes, name));
    if (!isXmlText(text)) {
        return {};
    }
    decodeEscapes(text);
    return text;
}

}  // namespace plyfold::engine::xlsx_read
