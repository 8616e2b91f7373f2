#include "engine/ops/date_serial.h"

namespace plyfold::engine {
namespace {

// Days since 1970-01-01 of a proleptic Gregorian date, and back (Hinnant's algorithms).
int64_t daysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2 ? 1 : 0;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

CivilDate civilFromDays(int64_t z) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const int64_t m = mp < 10 ? mp + 3 : mp - 9;
    const int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
    return {static_cast<int32_t>(y), static_cast<int32_t>(m), static_cast<int32_t>(d)};
}

bool isLeapYear(int64_t y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int64_t y, int64_t m) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeapYear(y) ? 29 : kDays[m - 1];
}

// 1899-12-30: serial 61 and later of the 1900 system count from here.
const int64_t kEpoch1900 = daysFromCivil(1899, 12, 30);
const int64_t kEpoch1904 = daysFromCivil(1904, 1, 1);

int64_t maxSerial(bool date1904) {
    return date1904 ? kMaxDateSerial1900 - kDate1904Offset : kMaxDateSerial1900;
}

}  // namespace

std::optional<CivilDate> dateFromSerial(int64_t serial, bool date1904) {
    if (serial < 0 || serial > maxSerial(date1904)) {
        return std::nullopt;
    }
    if (date1904) {
        return civilFromDays(kEpoch1904 + serial);
    }
    if (serial == 0) {
        return CivilDate{1900, 1, 0};
    }
    if (serial == 60) {
        return CivilDate{1900, 2, 29};
    }
    // Before the phantom leap day every serial is one day later than the real count.
    return civilFromDays(kEpoch1900 + serial + (serial < 60 ? 1 : 0));
}

std::optional<int64_t> serialFromDate(CivilDate date, bool date1904) {
    if (date.month < 1 || date.month > 12 || date.year < 1 || date.year > 9999) {
        return std::nullopt;
    }
    if (!date1904 && date.year == 1900 && date.month == 2 && date.day == 29) {
        return 60;
    }
    if (!date1904 && date.year == 1900 && date.month == 1 && date.day == 0) {
        return 0;
    }
    if (date.day < 1 || date.day > daysInMonth(date.year, date.month)) {
        return std::nullopt;
    }
    const int64_t days = daysFromCivil(date.year, date.month, date.day);
    int64_t serial;
    if (date1904) {
        serial = days - kEpoch1904;
    } else {
        serial = days - kEpoch1900;
        if (serial < 61) {
            serial -= 1;
        }
        if (serial < 1) {
            return std::nullopt;  // before 1900-01-01; its serial 0 is "1900-01-00"
        }
    }
    if (serial < 0 || serial > maxSerial(date1904)) {
        return std::nullopt;
    }
    return serial;
}

int weekdayOfSerial(int64_t serial, bool date1904) {
    if (date1904) {
        serial += kDate1904Offset;
    }
    // Serial 1 (and, by the same count, every serial of the 1900 system) is a Sunday plus
    // serial - 1 days; 1904 serials are first moved to the 1900 count.
    int64_t weekday = (serial + 6) % 7;
    return static_cast<int>(weekday < 0 ? weekday + 7 : weekday);
}

}  // namespace plyfold::engine
