#include "discovery/sheet_filter.h"

#include <cstdint>
#include <optional>
#include <utility>

#include "engine/common/text.h"

namespace plyfold::discovery {
namespace {

using engine::codePoints;
using engine::foldCase;

bool sameLetter(char32_t a, char32_t b) {
    return a == b || foldCase(a) == foldCase(b);
}

// Matches one character against the bracket expression starting at pattern[at] ("["). The
// index past its "]" and whether it matched; nothing when the bracket is never closed.
std::optional<std::pair<size_t, bool>> matchBracket(const std::u32string& pattern, size_t at,
                                                    char32_t c) {
    size_t i = at + 1;
    const bool negated = i < pattern.size() && (pattern[i] == '!' || pattern[i] == '^');
    if (negated) {
        ++i;
    }
    bool matched = false;
    bool first = true;
    while (i < pattern.size()) {
        if (pattern[i] == ']' && !first) {
            return std::pair{i + 1, matched != negated};
        }
        first = false;
        char32_t low = pattern[i];
        if (low == '\\' && i + 1 < pattern.size()) {
            low = pattern[++i];
        }
        ++i;
        char32_t high = low;
        if (i + 1 < pattern.size() && pattern[i] == '-' && pattern[i + 1] != ']') {
            high = pattern[i + 1];
            if (high == '\\' && i + 2 < pattern.size()) {
                high = pattern[++i + 1];
            }
            i += 2;
        }
        const char32_t folded = foldCase(c);
        if ((c >= low && c <= high) || (folded >= foldCase(low) && folded <= foldCase(high))) {
            matched = true;
        }
    }
    return std::nullopt;
}

bool matchCodePoints(const std::u32string& pattern, const std::u32string& name) {
    size_t p = 0;
    size_t n = 0;
    // Where the last "*" was and the name position it is retried from.
    std::optional<std::pair<size_t, size_t>> star;
    while (n < name.size()) {
        if (p < pattern.size()) {
            const char32_t token = pattern[p];
            if (token == '*') {
                star = std::pair{++p, n};
                continue;
            }
            if (token == '?') {
                ++p;
                ++n;
                continue;
            }
            if (token == '[') {
                if (auto bracket = matchBracket(pattern, p, name[n])) {
                    if (bracket->second) {
                        p = bracket->first;
                        ++n;
                        continue;
                    }
                } else if (sameLetter('[', name[n])) {
                    ++p;
                    ++n;
                    continue;
                }
            } else {
                const bool escaped = token == '\\' && p + 1 < pattern.size();
                if (sameLetter(pattern[p + (escaped ? 1 : 0)], name[n])) {
                    p += escaped ? 2 : 1;
                    ++n;
                    continue;
                }
            }
        }
        if (!star) {
            return false;
        }
        // Let the last "*" take one more character and try again from there.
        p = star->first;
        n = ++star->second;
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

}  // namespace

bool matchesSheetPattern(std::string_view pattern, std::string_view name) {
    return matchCodePoints(codePoints(pattern), codePoints(name));
}

SheetFilter SheetFilter::fromText(std::string_view text) {
    SheetFilter filter;
    auto take = [&filter](std::string& piece) {
        if (piece.size() > 1 && (piece[0] == '-' || piece[0] == '!')) {
            filter.m_exclude.push_back(piece.substr(1));
        } else if (!piece.empty()) {
            filter.m_include.push_back(piece);
        }
        piece.clear();
    };
    std::string piece;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ' || c == '\t' || c == ';') {
            take(piece);
        } else if (c == '\\' && i + 1 < text.size() && (text[i + 1] == ' ' || text[i + 1] == ';')) {
            // An escaped blank or semicolon belongs to the pattern: names may hold them.
            piece += text[++i];
        } else {
            piece += c;
        }
    }
    take(piece);
    return filter;
}

bool SheetFilter::accepts(std::string_view sheetName) const {
    bool included = m_include.empty();
    for (const std::string& pattern : m_include) {
        if (matchesSheetPattern(pattern, sheetName)) {
            included = true;
            break;
        }
    }
    if (!included) {
        return false;
    }
    for (const std::string& pattern : m_exclude) {
        if (matchesSheetPattern(pattern, sheetName)) {
            return false;
        }
    }
    return true;
}

}  // namespace plyfold::discovery
