#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace plyfold::engine {

// Length in UTF-16 code units, which is how spreadsheet limits are counted.
size_t utf16Length(std::string_view utf8);
// The longest prefix of at most maxUnits UTF-16 code units, cut at a character boundary.
std::string_view utf16Prefix(std::string_view utf8, size_t maxUnits);
bool isValidUtf8(std::string_view bytes);
// Appends the UTF-8 form of a code point (invalid ones become U+FFFD).
void appendUtf8(std::string& out, uint32_t codePoint);
// ASCII-only case folding, for names compared without regard to case.
std::string asciiLower(std::string_view text);
bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b);
// The code points of UTF-8 text. A byte that begins no valid sequence becomes a lone
// surrogate of its own (U+DC80 to U+DCFF), which no letter folds to.
std::u32string codePoints(std::string_view text);
// The lower-case form of a letter of the scripts names are mostly written in (ASCII,
// Latin-1, Latin Extended-A, Greek, Cyrillic); other code points stay as they are.
char32_t foldCase(char32_t c);
// UTF-8 text with every letter folded, for names compared without regard to case.
std::string caseFolded(std::string_view text);
// "1,048,576": a count as messages write it.
std::string withThousands(int64_t n);

}  // namespace plyfold::engine
