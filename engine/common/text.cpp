#include "engine/common/text.h"

namespace plyfold::engine {
namespace {

// Length of the UTF-8 sequence starting with byte b, or 0 when b cannot start one.
size_t sequenceLength(unsigned char b) {
    if (b < 0x80)
        return 1;
    if (b >= 0xC2 && b <= 0xDF)
        return 2;
    if (b >= 0xE0 && b <= 0xEF)
        return 3;
    if (b >= 0xF0 && b <= 0xF4)
        return 4;
    return 0;
}

}  // namespace

size_t utf16Length(std::string_view utf8) {
    size_t units = 0;
    for (unsigned char b : utf8) {
        if ((b & 0xC0) != 0x80) {
            units += b >= 0xF0 ? 2 : 1;
        }
    }
    return units;
}

std::string_view utf16Prefix(std::string_view utf8, size_t maxUnits) {
    size_t units = 0;
    for (size_t i = 0; i < utf8.size(); ++i) {
        unsigned char b = static_cast<unsigned char>(utf8[i]);
        if ((b & 0xC0) == 0x80) {
            continue;
        }
        size_t add = b >= 0xF0 ? 2 : 1;
        if (units + add > maxUnits) {
            return utf8.substr(0, i);
        }
        units += add;
    }
    return utf8;
}

bool isValidUtf8(std::string_view bytes) {
    for (size_t i = 0; i < bytes.size();) {
        unsigned char b = static_cast<unsigned char>(bytes[i]);
        size_t len = sequenceLength(b);
        if (len == 0 || i + len > bytes.size()) {
            return false;
        }
        for (size_t k = 1; k < len; ++k) {
            if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        unsigned char b1 = len > 1 ? static_cast<unsigned char>(bytes[i + 1]) : 0;
        if ((b == 0xE0 && b1 < 0xA0) || (b == 0xED && b1 > 0x9F) || (b == 0xF0 && b1 < 0x90) ||
            (b == 0xF4 && b1 > 0x8F)) {
            return false;  // overlong forms, surrogates, beyond U+10FFFF
        }
        i += len;
    }
    return true;
}

void appendUtf8(std::string& out, uint32_t codePoint) {
    if (codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
        codePoint = 0xFFFD;
    }
    if (codePoint < 0x80) {
        out.push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

std::string withThousands(int64_t n) {
    const std::string digits = std::to_string(n < 0 ? -n : n);
    std::string out = n < 0 ? "-" : "";
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            out.push_back(',');
        }
        out.push_back(digits[i]);
    }
    return out;
}

std::string asciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y) {
            return false;
        }
    }
    return true;
}

// The code points of UTF-8 text. A byte that begins no valid sequence becomes a lone
// surrogate of its own (U+DC80 to U+DCFF), which no letter folds to: any name can be matched,
// and a stray byte never passes for a character.
std::u32string codePoints(std::string_view text) {
    std::u32string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const size_t length = lead < 0x80           ? 1
                              : (lead >> 5) == 0x6  ? 2
                              : (lead >> 4) == 0xE  ? 3
                              : (lead >> 3) == 0x1E ? 4
                                                    : 0;
        char32_t value = length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
        bool valid = length != 0 && i + length <= text.size();
        for (size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            value = (value << 6) | (next & 0x3F);
        }
        if (length == 1) {
            out.push_back(lead);
            ++i;
        } else if (!valid) {
            out.push_back(0xDC00 + lead);
            ++i;
        } else {
            out.push_back(value);
            i += length;
        }
    }
    return out;
}

char32_t foldCase(char32_t c) {
    if (c >= 'A' && c <= 'Z') {
        return c + 0x20;
    }
    if (c < 0xC0) {
        return c;
    }
    if (c <= 0xDE && c != 0xD7) {
        return c + 0x20;  // Latin-1 capitals
    }
    if (c >= 0x100 && c <= 0x17F) {
        // Latin Extended-A pairs capital and small letters: even-odd, except in two runs.
        const bool oddPairs = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) {
            return c;
        }
        if (c == 0x178) {
            return 0xFF;  // Ÿ
        }
        return oddPairs ? (c % 2 == 1 ? c + 1 : c) : (c % 2 == 0 ? c + 1 : c);
    }
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) {
        return c + 0x20;  // Greek capitals
    }
    if (c == 0x3C2) {
        return 0x3C3;  // final sigma
    }
    if (c >= 0x410 && c <= 0x42F) {
        return c + 0x20;  // Cyrillic capitals
    }
    if (c >= 0x400 && c <= 0x40F) {
        return c + 0x50;
    }
    return c;
}

std::string caseFolded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char32_t c : codePoints(text)) {
        if (c >= 0xDC80 && c <= 0xDCFF) {
            out.push_back(static_cast<char>(c - 0xDC00));  // a stray byte stays as it was
        } else {
            appendUtf8(out, foldCase(c));
        }
    }
    return out;
}

}  // namespace plyfold::engine
