#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace plyfold::merge {

// A header as columns are matched by it: blanks trimmed from both ends, letters folded.
std::string headerKey(std::string_view header);

// The result's columns when blocks are matched by header: the headers of every block placed
// so far, in order of first appearance.
class HeaderUnion {
public:
    // Where each of a block's columns goes (0-based result columns, headers as shown): under
    // the same header, a repeated header under its repeat of the same rank (the second
    // "Amount" under the second); a header the result lacks adds a column at the end.
    std::vector<int32_t> place(const std::vector<std::string>& headers);
    int32_t columnCount() const { return static_cast<int32_t>(m_keys.size()); }

private:
    std::vector<std::string> m_keys;
};

// How a block's header row differs from the first block's: "lacks Units; adds Region", or
// "the same headers in another order"; empty when they match column for column.
std::string headerDifference(const std::vector<std::string>& first,
                             const std::vector<std::string>& other);

}  // namespace plyfold::merge
