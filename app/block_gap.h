#pragma once

#include <cstdint>
#include <string_view>

namespace plyfold::app {

// The number that the gap text reads as: blanks, tabs and line feeds anywhere are ignored; a
// decimal number with an optional sign, at most one "." and an optional E or D exponent, or
// &H (hexadecimal) and &O (octal) digits, read as a signed 16-bit value when they fit in 16
// bits and as a signed 32-bit value otherwise; text with no number at its start reads as 0.
// The value is rounded half to even. A value past the 32-bit range reads as the largest
// 32-bit value, one below it as the smallest.
int32_t ReadGapNumber(std::string_view text);

}  // namespace plyfold::app
