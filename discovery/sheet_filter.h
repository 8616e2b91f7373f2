#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace plyfold::discovery {

// Whether a whole worksheet name matches a shell-style pattern: "*" any run of characters,
// "?" one character, "[abc]", "[a-z]" and "[!a]" (or "[^a]") one character of (or not of) a
// set, "\" taking the next character literally. Letters match without regard to case (ASCII,
// Latin-1, Latin Extended-A, Greek and Cyrillic); characters are UTF-8 code points, so "?"
// matches "é" whole. A "[" without its "]" is a literal "[".
bool matchesSheetPattern(std::string_view pattern, std::string_view name);

// Which worksheets a source contributes: those matching an include pattern (every one when
// there is none) and no exclude pattern.
class SheetFilter {
public:
    SheetFilter() = default;
    SheetFilter(std::vector<std::string> include, std::vector<std::string> exclude)
        : m_include(std::move(include)), m_exclude(std::move(exclude)) {}

    // The filter a pattern text gives, as the window's filter box takes it: patterns separated
    // by blanks or semicolons ("\ " and "\;" keep one in a pattern), one beginning with "-"
    // or "!" an exclusion.
    static SheetFilter fromText(std::string_view text);

    bool isEmpty() const { return m_include.empty() && m_exclude.empty(); }
    bool accepts(std::string_view sheetName) const;

    const std::vector<std::string>& include() const { return m_include; }
    const std::vector<std::string>& exclude() const { return m_exclude; }

private:
    std::vector<std::string> m_include;
    std::vector<std::string> m_exclude;
};

}  // namespace plyfold::discovery
