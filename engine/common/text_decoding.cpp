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
    return isUtf8(bytes) ? TextEncoding::Utf8 : TextEncoding::Windows1252;
}

void appendWindows1252AsUtf8(std::string& out, std::string_view bytes) {
    out.reserve(out.size() + bytes.size() + bytes.size() / 4);
    for (char c : bytes) {
        auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out.push_back(c);
        } else if (b < 0xA0) {
            appendUtf8(out, kWindows1252High[b - 0x80]);
        } else {
            appendUtf8(out, b);
        }
    }
}

std::string_view decodeText(std::string_view bytes, TextEncoding encoding, std::string& storage) {
    switch (encoding) {
        case TextEncoding::Utf8:
            return bytes;
        case TextEncoding::Utf8WithBom:
            return bytes.substr(3);
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
