#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "discovery/sheet_filter.h"

namespace plyfold::discovery {
namespace {

struct PatternCase {
    const char* pattern;
    const char* name;
    bool matches;
};

TEST(SheetPattern, MatchesWholeNamesWithWildcardsSetsAndEscapes) {
    const PatternCase cases[] = {
        // Plain names, whole and case-blind.
        {"Data", "Data", true},
        {"data", "DATA", true},
        {"Data", "Data2", false},
        {"Data", "My Data", false},
        {"", "", true},
        {"", "Data", false},
        // "*" and "?".
        {"*", "", true},
        {"*", "Anything at all", true},
        {"Q*", "q1 2026", true},
        {"*2026", "Sales 2026", true},
        {"*2026", "2026 Sales", false},
        {"*a*b*", "xxaxxbxx", true},
        {"*a*b*", "xxbxxaxx", false},
        {"**", "x", true},
        {"?", "", false},
        {"?", "x", true},
        {"??", "x", false},
        {"Q?", "Q1", true},
        {"Q?", "Q10", false},
        {"a*a", "aaa", true},
        {"a*a", "a", false},
        // Sets, ranges and negation.
        {"Q[1-4]", "Q3", true},
        {"Q[1-4]", "Q5", false},
        {"[abc]x", "Bx", true},
        {"[a-c]x", "Cx", true},
        {"[A-C]x", "bx", true},
        {"[!a]x", "bx", true},
        {"[!a]x", "Ax", false},
        {"[^a]x", "ax", false},
        {"[!a-c]", "d", true},
        {"[]]", "]", true},
        {"[!]]", "]", false},
        {"[a-]", "-", true},
        {"[x", "[x", true},
        {"[x", "x", false},
        {"M[0-9][0-9]", "M07", true},
        {"M[0-9][0-9]", "M7", false},
        // Escaped special characters are literal, and so is a trailing backslash.
        {"\\*", "*", true},
        {"\\*", "a", false},
        {"a\\?", "a?", true},
        {"a\\?", "ab", false},
        {"\\[x]", "[x]", true},
        {"[\\]]", "]", true},
        {"a\\", "a\\", true},
        {"50%", "50%", true},
        {"(2)*", "(2) copy", true},
        // Names beyond ASCII: "?" takes a whole character and letters fold across cases.
        {"?t?", "\xC3\xA9t\xC3\xA9", true},                // été
        {"\xC3\x89T\xC3\x89", "\xC3\xA9t\xC3\xA9", true},  // ÉTÉ
        {"\xD0\x9F*", "\xD0\xBF\xD1\x80\xD0\xBE", true},   // П* against про
        {"\xCE\xA3*", "\xCF\x83\xCF\x89", true},           // Σ* against σω
        {"\xC5\x81\xC3\xB3"
         "d\xC5\xBA",
         "\xC5\x82\xC3\x93"
         "D\xC5\xB9",
         true},                                     // Łódź
        {"[\xC3\xA0-\xC3\xBF]", "\xC3\x89", true},  // [à-ÿ] against É
        {"?", "\xE6\x97\xA5", true},                // one CJK character
        {"??", "\xE6\x97\xA5", false},
        {"?", "\xF0\x9F\x93\x8A", true},  // one character outside the BMP
        {"\xC3\xA9", "e", false},
        // Bytes that are no UTF-8 still match as themselves.
        {"a?b",
         "a\xFF"
         "b",
         true},
        {"a\xFF", "A\xFF", true},
        {"\xC9", "\xC3\x89", false},  // a Latin-1 byte is not the character it would be there
        {"\xC9", "\xC3\xA9", false},
        {"[\xC0-\xFF]", "\xC3\xA9", false},
    };
    for (const PatternCase& k : cases) {
        EXPECT_EQ(matchesSheetPattern(k.pattern, k.name), k.matches)
            << "'" << k.pattern << "' against '" << k.name << "'";
    }
}

TEST(SheetPattern, ManyStarsBacktrackOnlyFromTheLast) {
    // Backtracking from the last star only: linear in the name for each star.
    const std::string name(31, 'a');
    EXPECT_FALSE(matchesSheetPattern("*a*a*a*a*a*a*a*a*a*a*b", name));
    EXPECT_TRUE(matchesSheetPattern("*a*a*a*a*a*a*a*a*a*a*", name));
}

struct FilterCase {
    const char* text;
    std::vector<std::string> include;
    std::vector<std::string> exclude;
};

TEST(SheetFilter, ReadsPatternsSeparatedByBlanksAndSemicolons) {
    const FilterCase cases[] = {
        {"", {}, {}},
        {"  ;; \t", {}, {}},
        {"Data", {"Data"}, {}},
        {"Q1;Q2 Q3", {"Q1", "Q2", "Q3"}, {}},
        {"*;-Notes !Chart*", {"*"}, {"Notes", "Chart*"}},
        {"-Notes", {}, {"Notes"}},
        {"- !", {"-", "!"}, {}},
        {"My\\ Data;Profit\\;Loss", {"My Data", "Profit;Loss"}, {}},
        {"a\\b", {"a\\b"}, {}},
    };
    for (const FilterCase& k : cases) {
        const SheetFilter filter = SheetFilter::fromText(k.text);
        EXPECT_EQ(filter.include(), k.include) << k.text;
        EXPECT_EQ(filter.exclude(), k.exclude) << k.text;
        EXPECT_EQ(filter.isEmpty(), k.include.empty() && k.exclude.empty()) << k.text;
    }
}

TEST(SheetFilter, AcceptsWhatAnIncludeMatchesAndNoExcludeMatches) {
    const std::vector<std::string> names = {"Data", "data 2", "Notes", "Summary", "Chart1"};
    const struct {
        const char* text;
        std::vector<bool> accepted;
    } cases[] = {
        {"", {true, true, true, true, true}},
        {"data*", {true, true, false, false, false}},
        {"-notes", {true, true, false, true, true}},
        {"data* summary", {true, true, false, true, false}},
        {"* -*2 -c*", {true, false, true, true, false}},
        {"data* -data*", {false, false, false, false, false}},
        {"nothing", {false, false, false, false, false}},
    };
    for (const auto& k : cases) {
        const SheetFilter filter = SheetFilter::fromText(k.text);
        for (size_t i = 0; i < names.size(); ++i) {
            EXPECT_EQ(filter.accepts(names[i]), k.accepted[i]) << k.text << " / " << names[i];
        }
    }
}

}  // namespace
}  // namespace plyfold::discovery
