#include "engine/common/text_decoding.h"

#include <cstdint>
#include <cstring>

#include "engine/common/byte_order.h"
#include "engine/common/text.h"

namespace plyfold::engine::csv {
namespace {

// Windows-1252 0x80..0x9F; the rest of the code page equals Latin-1.
constexpr uint16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool startsWith(std::string_view bytes, std::string_view prefix) {
    return bytes.size() >= prefix.size() && bytes.substr(0, prefix.size()) == prefix;
}

void appendUtf16AsUtf8(std::string& out, std::string_view bytes, bool bigEndian) {
    out.reserve(out.size() + bytes.size());
    auto unitAt = [&](size_t i) -> uint32_t { return bigEndian ? be16(bytes, i) : le16(bytes, i); };
    size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        uint32_t unit = unitAt(i);
        if (unit < 0x80) {
            out.push_back(static_cast<char>(unit));
            continue;
        }
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size()) {
            uint32_t low = unitAt(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        appendUtf8(out, unit);  // a lone surrogate becomes U+FFFD
    }
    if (i < bytes.size()) {
        appendUtf8(out, 0xFFFD);  // an odd byte at the end
    }
}

// The length of the valid UTF-8 sequence of two bytes or more at the start of bytes, or 0.
size_t multiByteSequenceAt(std::string_view bytes) {
    const auto lead = static_cast<unsigned char>(bytes[0]);
    const size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                          : lead >= 0xE0 && lead <= 0xEF ? 3
                          : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                         : 0;
    if (length == 0 || length > bytes.size() || !isValidUtf8(bytes.substr(0, length))) {
        return 0;
    }
    return length;
}

void appendWindows1252Byte(std::string& out, unsigned char b) {
    if (b < 0x80) {
        out.push_back(static_cast<char>(b));
    } else if (b < 0xA0) {
        appendUtf8(out, kWindows1252High[b - 0x80]);
    } else {
        appendUtf8(out, b);
    }
}

// Whether more characters are valid multi-byte UTF-8 than there are bytes that are not.
bool isMostlyUtf8(std::string_view bytes) {
    size_t sequences = 0;
    size_t strayBytes = 0;
    for (size_t i = 0; i < bytes.size();) {
        if (static_cast<unsigned char>(bytes[i]) < 0x80) {
            ++i;
        } else if (size_t length = multiByteSequenceAt(bytes.substr(i))) {
            ++sequences;
            i += length;
        } else {
            ++strayBytes;
            ++i;
        }
    }
    return sequences > strayBytes;
}

}  // namespace

bool isUtf8(std::string_view bytes) {
    const char* p = bytes.data();
    const char* end = p + bytes.size();
    while (p < end) {
        // Skip ASCII eight bytes at a time; validate the rest up to the next ASCII run.
        while (end - p >= 8) {
            uint64_t word;
            std::memcpy(&word, p, 8);
            if (word & 0x8080808080808080ull) {
                break;
            }
            p += 8;
        }
        while (p < end && static_cast<unsigned char>(*p) < 0x80) {
            ++p;
        }
        const char* start = p;
        // Continue to just past the next ASCII byte that follows complete sequences.
        while (p < end && static_cast<unsigned char>(*p) >= 0x80) {
            ++p;
        }
        if (start != p && !isValidUtf8(std::string_view(start, static_cast<size_t>(p - start)))) {
            return false;
        }
    }
    return true;
}

TextEncoding detectTextEncoding(std::string_view bytes) {
    if (startsWith(bytes, "\xEF\xBB\xBF")) {
        return TextEncoding::Utf8WithBom;
    }
    if (startsWith(bytes, "\xFF\xFE")) {
        return TextEncoding::Utf16Le;
    }
    if (startsWith(bytes, "\xFE\xFF")) {
        return TextEncoding::Utf16Be;
    }
    if (isUtf8(bytes)) {
        return TextEncoding::Utf8;
    }
    return isMostlyUtf8(bytes) ? TextEncoding::Utf8WithStrayBytes : TextEncoding::Windows1252;
}

void appendWindows1252AsUtf8(std::string& out, std::string_view bytes) {
    out.reserve(out.size() + bytes.size() + bytes.size() / 4);
    for (char c : bytes) {
        appendWindows1252Byte(out, static_cast<unsigned char>(c));
    }
}

void appendUtf8WithStrayBytes(std::string& out, std::string_view bytes) {
    out.reserve(out.size() + bytes.size() + bytes.size() / 64);
    for (size_t i = 0; i < bytes.size();) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80) {
            out.push_back(static_cast<char>(b));
            ++i;
        } else if (size_t length = multiByteSequenceAt(bytes.substr(i))) {
            out.append(bytes.substr(i, length));
            i += length;
        } else {
            appendWindows1252Byte(out, b);
            ++i;
        }
    }
}

std::string_view decodeText(std::string_view bytes, TextEncoding encoding, std::string& storage) {
    switch (encoding) {
        case TextEncoding::Utf8:
            return bytes;
        case TextEncoding::Utf8WithBom:
            // The mark says UTF-8: bytes that are not are stray ones.
            if (!isUtf8(bytes.substr(3))) {
                storage.clear();
                appendUtf8WithStrayBytes(storage, bytes.substr(3));
                return storage;
            }
            return bytes.substr(3);
        case TextEncoding::Utf8WithStrayBytes:
            storage.clear();
            appendUtf8WithStrayBytes(storage, bytes);
            return storage;
        case TextEncoding::Utf16Le:
        case TextEncoding::Utf16Be:
            storage.clear();
            appendUtf16AsUtf8(storage, bytes.substr(2), encoding == TextEncoding::Utf16Be);
            return storage;
        case TextEncoding::Windows1252:
            storage.clear();
            appendWindows1252AsUtf8(storage, bytes);
            return storage;
    }
    return bytes;
}

}  // namespace plyfold::engine::csv
