#include "engine/xls/freexl_dates.h"

#include <charconv>

namespace plyfold::engine::xls {
namespace {

bool readNumber(std::string_view text, size_t at, size_t count, int& value) {
    if (at + count > text.size()) {
        return false;
    }
    auto [ptr, ec] = std::from_chars(text.data() + at, text.data() + at + count, value);
    return ec == std::errc() && ptr == text.data() + at + count;
}

bool isFreeXlLeapYear(int year) {
    return year % 4 == 0;
}

// Days from 1900-01-01 in FreeXL's calendar.
long freeXlDayNumber(int year, int month, int day) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    long days = 0;
    for (int y = 1900; y < year; ++y) {
        days += isFreeXlLeapYear(y) ? 366 : 365;
    }
    for (int m = 1; m < month; ++m) {
        days += kDays[m - 1] + (m == 2 && isFreeXlLeapYear(year) ? 1 : 0);
    }
    return days + day - 1;
}

std::optional<double> timeOfDay(std::string_view text) {
    size_t colon = text.find(':');
    int hours = 0;
    int minutes = 0;
    int seconds = 0;
    if (colon == std::string_view::npos || colon == 0 || text.size() != colon + 6 ||
        text[colon + 3] != ':' || !readNumber(text, 0, colon, hours) ||
        !readNumber(text, colon + 1, 2, minutes) || !readNumber(text, colon + 4, 2, seconds) ||
        minutes > 59 || seconds > 59) {
        return std::nullopt;
    }
    return (hours * 3600.0 + minutes * 60.0 + seconds) / 86400.0;
}

}  // namespace

std::optional<double> serialOfFreeXlDate(std::string_view text, bool date1904) {
    int year = 0;
    int month = 0;
    int day = 0;
    if (text.size() != 10 || text[4] != '-' || text[7] != '-' || !readNumber(text, 0, 4, year) ||
        !readNumber(text, 5, 2, month) || !readNumber(text, 8, 2, day) || month < 1 || month > 12 ||
        day < 1 || day > 31 || year < (date1904 ? 1904 : 1900)) {
        return std::nullopt;
    }
    long days = freeXlDayNumber(year, month, day);
    // FreeXL shows serial n as the n-th day from 1900-01-01 (1900 system) or 1904-01-02.
    long serial = date1904 ? days - freeXlDayNumber(1904, 1, 1) : days + 1;
    return static_cast<double>(serial);
}

std::optional<double> serialOfFreeXlDateTime(std::string_view text, bool date1904) {
    if (text.size() < 12 || text[10] != ' ') {
        return std::nullopt;
    }
    auto date = serialOfFreeXlDate(text.substr(0, 10), date1904);
    auto time = timeOfDay(text.substr(11));
    if (!date || !time) {
        return std::nullopt;
    }
    return *date + *time;
}

std::optional<double> serialOfFreeXlTime(std::string_view text) {
    return timeOfDay(text);
}

}  // namespace plyfold::engine::xls
