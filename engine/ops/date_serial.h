#pragma once

#include <cstdint>
#include <optional>

namespace plyfold::engine {

// Days between the zero points of the two date systems: serial 0 of the 1904 system is
// serial 1462 of the 1900 system.
inline constexpr int32_t kDate1904Offset = 1462;
// The last serial a date can have: 9999-12-31 in the 1900 system.
inline constexpr int32_t kMaxDateSerial1900 = 2'958'465;

struct CivilDate {
    int32_t year = 0;
    int32_t month = 0;  // 1..12
    int32_t day = 0;    // 1..31; 0 only for serial 0 of the 1900 system ("1900-01-00")
    friend bool operator==(const CivilDate&, const CivilDate&) = default;
};

// The calendar day of a whole serial, or nullopt outside the dates a spreadsheet shows
// (before the system's zero point or after 9999-12-31). The 1900 system counts the
// 29 February 1900 that never was as serial 60, as spreadsheets have always done.
std::optional<CivilDate> dateFromSerial(int64_t serial, bool date1904);

// The serial of a calendar day, or nullopt for a day that does not exist or lies outside
// the system's range; 1900-02-29 is 60 in the 1900 system.
std::optional<int64_t> serialFromDate(CivilDate date, bool date1904);

// 0 for Sunday to 6 for Saturday, as a spreadsheet shows it: serial 1 of the 1900 system
// is a Sunday (the missing leap day shifts everything before March 1900 by one).
int weekdayOfSerial(int64_t serial, bool date1904);

}  // namespace plyfold::engine
