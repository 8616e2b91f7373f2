#pragma once

#include <string>
#include <string_view>

namespace plyfold::engine::csv {

// The separator of a comma-separated file, from its first lines (up to 50 lines or 64 KB,
// counting outside quotes): ';', TAB or '|' when every sampled line holds it the same number
// of times, or at least four lines in five do, with two lines or more; otherwise ','. Commas
// that do the same win, unless each of them stands between two digits or before a space
// (decimals and prose, as in "12,5;Smith, J").
char guessDelimiter(std::string_view text);

// Whether the numbers of a file are written with a decimal comma: at least one field reads as
// a number only that way ("12,5", "1.234,56") and none only with a decimal point ("12.50").
bool writesDecimalCommas(std::string_view text, char delimiter, const std::string& displayName);

}  // namespace plyfold::engine::csv
