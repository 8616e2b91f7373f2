#include "engine/io/xlsx/xml_stream_writer.h"

#include <array>
#include <charconv>
#include <cmath>

namespace plyfold::engine::xlsx {
namespace {

constexpr std::string_view kDeclaration =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
constexpr size_t kBufferSlack = XmlStreamWriter::kMaxReserve;

enum class Context { Text, Attribute };

// Bytes that leave the plain copy loop: markup characters, every control character and
// every non-ASCII byte (checked as UTF-8), and the underscore (a possible _xHHHH_).
constexpr std::array<bool, 256> kSpecial = [] {
    std::array<bool, 256> table{};
    for (int b = 0; b < 0x20; ++b) {
        table[b] = true;
    }
    for (int b = 0x80; b < 0x100; ++b) {
        table[b] = true;
    }
    table['&'] = table['<'] = table['>'] = table['"'] = table['_'] = true;
    return table;
}();

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Whether the character at the start of text is written as an escape "_xHHHH_".
bool writtenAsEscape(std::string_view text, Context context) {
    const auto b = static_cast<unsigned char>(text[0]);
    if (b < 0x20) {
        return b != '\t' && b != '\n' && (b != '\r' || context == Context::Text);
    }
    return text.size() >= 3 && b == 0xEF && static_cast<unsigned char>(text[1]) == 0xBF &&
           static_cast<unsigned char>(text[2]) >= 0xBE;
}

// "_xHHHH_" at the start of text as it will be written, which a reader would decode as an
// escape: the closing "_" may be the first of an escape written for the next character.
bool startsEscapeLike(std::string_view text, Context context) {
    return text.size() >= 7 && text[0] == '_' && (text[1] == 'x' || text[1] == 'X') &&
           isHexDigit(text[2]) && isHexDigit(text[3]) && isHexDigit(text[4]) &&
           isHexDigit(text[5]) && (text[6] == '_' || writtenAsEscape(text.substr(6), context));
}

// The length of the valid UTF-8 sequence at the start of text, or 0.
size_t validSequenceLength(std::string_view text) {
    const auto b0 = static_cast<unsigned char>(text[0]);
    size_t len = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
    } else {
        return 0;
    }
    if (text.size() < len) {
        return 0;
    }
    for (size_t k = 1; k < len; ++k) {
        if ((static_cast<unsigned char>(text[k]) & 0xC0) != 0x80) {
            return 0;
        }
    }
    const auto b1 = static_cast<unsigned char>(text[1]);
    if ((b0 == 0xE0 && b1 < 0xA0) || (b0 == 0xED && b1 > 0x9F) || (b0 == 0xF0 && b1 < 0x90) ||
        (b0 == 0xF4 && b1 > 0x8F)) {
        return 0;  // overlong forms, surrogates, past U+10FFFF
    }
    return len;
}

void hexEscape(char* out, uint32_t codeUnit) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out[0] = '_';
    out[1] = 'x';
    out[2] = kHex[(codeUnit >> 12) & 0xF];
    out[3] = kHex[(codeUnit >> 8) & 0xF];
    out[4] = kHex[(codeUnit >> 4) & 0xF];
    out[5] = kHex[codeUnit & 0xF];
    out[6] = '_';
}

template <typename Append>
void escapeInto(std::string_view text, Context context, Append&& append) {
    size_t plainStart = 0;
    size_t i = 0;
    auto flushPlain = [&] {
        if (i > plainStart) {
            append(text.substr(plainStart, i - plainStart));
        }
    };
    char escape[8];
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (!kSpecial[b]) {
            ++i;
            continue;
        }
        std::string_view replacement;
        size_t consumed = 1;
        switch (b) {
            case '&':
                replacement = "&amp;";
                break;
            case '<':
                replacement = "&lt;";
                break;
            case '>':
                replacement = "&gt;";
                break;
            case '"':
                if (context == Context::Attribute) {
                    replacement = "&quot;";
                }
                break;
            case '\t':
                if (context == Context::Attribute) {
                    replacement = "&#9;";
                }
                break;
            case '\n':
                if (context == Context::Attribute) {
                    replacement = "&#10;";
                }
                break;
            case '\r':
                if (context == Context::Attribute) {
                    replacement = "&#13;";
                } else {
                    hexEscape(escape, b);
                    replacement = std::string_view(escape, 7);
                }
                break;
            case '_':
                if (startsEscapeLike(text.substr(i), context)) {
                    replacement = "_x005F_";
                }
                break;
            default:
                if (b < 0x20) {
                    hexEscape(escape, b);
                    replacement = std::string_view(escape, 7);
                } else {
                    size_t len = validSequenceLength(text.substr(i));
                    if (len == 0) {
                        replacement = "\xEF\xBF\xBD";  // U+FFFD for a byte that is not UTF-8
                    } else if (len == 3 && b == 0xEF &&
                               static_cast<unsigned char>(text[i + 1]) == 0xBF &&
                               static_cast<unsigned char>(text[i + 2]) >= 0xBE) {
                        // U+FFFE and U+FFFF are not XML characters.
                        hexEscape(escape,
                                  0xFFC0u | (static_cast<unsigned char>(text[i + 2]) & 0x3Fu));
                        replacement = std::string_view(escape, 7);
                        consumed = 3;
                    } else {
                        i += len;  // valid: stays in the plain run
                        continue;
                    }
                }
                break;
        }
        if (replacement.empty()) {
            ++i;  // a special byte that needs nothing here
            continue;
        }
        flushPlain();
        append(replacement);
        i += consumed;
        plainStart = i;
    }
    flushPlain();
}

}  // namespace

size_t formatNumber(double value, char* out) {
    if (value == 0.0) {
        out[0] = '0';  // also for -0, which spreadsheets do not tell apart
        return 1;
    }
    auto result = std::to_chars(out, out + 32, value);
    return static_cast<size_t>(result.ptr - out);
}

bool needsSpacePreserve(std::string_view text) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    return !text.empty() && (blank(text.front()) || blank(text.back()));
}

void appendEscapedText(std::string& out, std::string_view text) {
    escapeInto(text, Context::Text, [&out](std::string_view piece) { out.append(piece); });
}

void appendEscapedAttribute(std::string& out, std::string_view text) {
    escapeInto(text, Context::Attribute, [&out](std::string_view piece) { out.append(piece); });
}

XmlStreamWriter::XmlStreamWriter(ZipWriter& zip, std::string_view partName) : m_zip(zip) {
    m_capacity = zip.chunkSize() + kBufferSlack;
    m_buffer.resize(m_capacity);
    m_zip.beginEntry(partName);
    raw(kDeclaration);
}

void XmlStreamWriter::grow(size_t n) {
    flush();
    if (m_size + n > m_capacity) {
        // Only reached when a caller reserves more than kMaxReserve.
        m_capacity = m_size + n;
        m_buffer.resize(m_capacity);
    }
}

void XmlStreamWriter::flush() {
    m_buffer.resize(m_size);
    m_zip.writeChunk(m_buffer);
    m_size = 0;
    m_buffer.resize(m_capacity);
}

void XmlStreamWriter::finish() {
    if (m_finished) {
        return;
    }
    flush();
    m_zip.endEntry();
    m_finished = true;
}

void XmlStreamWriter::rawLarge(std::string_view text) {
    constexpr size_t kPiece = kMaxReserve / 4;
    while (!text.empty()) {
        size_t take = std::min(kPiece, text.size());
        char* p = reserve(take);
        std::memcpy(p, text.data(), take);
        m_size += take;
        text.remove_prefix(take);
    }
}

void XmlStreamWriter::number(double value) {
    char* p = reserve(32);
    m_size += formatNumber(value, p);
}

void XmlStreamWriter::integer(int64_t value) {
    char* p = reserve(24);
    m_size += static_cast<size_t>(std::to_chars(p, p + 24, value).ptr - p);
}

void XmlStreamWriter::text(std::string_view text) {
    escapeInto(text, Context::Text, [this](std::string_view piece) { raw(piece); });
}

void XmlStreamWriter::attributeValue(std::string_view text) {
    escapeInto(text, Context::Attribute, [this](std::string_view piece) { raw(piece); });
}

void XmlStreamWriter::attribute(std::string_view name, std::string_view value) {
    raw(' ');
    raw(name);
    raw("=\"");
    attributeValue(value);
    raw('"');
}

void XmlStreamWriter::attribute(std::string_view name, int64_t value) {
    raw(' ');
    raw(name);
    raw("=\"");
    integer(value);
    raw('"');
}

void XmlStreamWriter::attributeNumber(std::string_view name, double value) {
    raw(' ');
    raw(name);
    raw("=\"");
    number(value);
    raw('"');
}

}  // namespace plyfold::engine::xlsx
