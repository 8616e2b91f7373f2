#pragma once

#include <optional>

namespace plyfold::engine {

// The serial number of a calendar date in the 1900 date system, as spreadsheets count it:
// 1900-01-01 is 1 and the nonexistent 1900-02-29 is 60, so 1900-03-01 is 61. nullopt for a
// date that does not exist or lies before 1900 or after 9999.
std::optional<double> dateSerial1900(int year, int month, int day);

// The fraction of a day of a time of day; nullopt when a part is out of range.
std::optional<double> timeFraction(int hour, int minute, double second);

}  // namespace plyfold::engine
