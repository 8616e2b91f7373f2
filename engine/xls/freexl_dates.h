#pragma once

#include <optional>
#include <string_view>

namespace plyfold::engine::xls {

// FreeXL hands out cells with a date or time format as text: "YYYY-MM-DD",
// "YYYY-MM-DD HH:MM:SS" or "HH:MM:SS". These give back the serial numbers the file stores.
// FreeXL counts every fourth year as a leap year (1900 and 2100 too), so the count back uses
// the same calendar and returns the stored serial exactly (to the second).
std::optional<double> serialOfFreeXlDate(std::string_view text, bool date1904);
std::optional<double> serialOfFreeXlDateTime(std::string_view text, bool date1904);
std::optional<double> serialOfFreeXlTime(std::string_view text);

}  // namespace plyfold::engine::xls
