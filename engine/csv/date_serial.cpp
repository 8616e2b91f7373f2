#include "engine/csv/date_serial.h"

namespace plyfold::engine {
namespace {

bool isLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's days_from_civil).
long daysFromCivil(int year, int month, int day) {
    year -= month <= 2;
    const long era = (year >= 0 ? year : year - 399) / 400;
    const long yearOfEra = year - era * 400;
    const long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

}  // namespace

std::optional<double> dateSerial1900(int year, int month, int day) {
    if (year < 1900 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > daysInMonth(year, month)) {
        return std::nullopt;
    }
    long serial = daysFromCivil(year, month, day) - daysFromCivil(1899, 12, 30);
    if (serial < 61) {
        --serial;  // before the leap day the 1900 system invents
    }
    return static_cast<double>(serial);
}

std::optional<double> timeFraction(int hour, int minute, double second) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || !(second >= 0.0) || second >= 60.0) {
        return std::nullopt;
    }
    return (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
}

}  // namespace plyfold::engine
