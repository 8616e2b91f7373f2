#include "engine/common/code_page.h"

#include <iconv.h>
#include <array>
#include <cerrno>

#include "engine/common/text.h"
#include "engine/common/text_decoding.h"

namespace plyfold::engine::dbf {
namespace {

std::string upperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

bool allDigits(std::string_view text) {
    if (text.empty()) {
        return false;
    }
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

// Mazovia, the Polish DOS code page: code page 437 with Polish letters in some places.
const std::array<uint32_t, 256>& mazoviaTable() {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 0x80; ++i) {
            t[i] = i;
        }
        iconv_t cd = iconv_open("UTF-32LE", "CP437");
        for (uint32_t i = 0x80; i < 0x100; ++i) {
            t[i] = 0xFFFD;
            if (cd == reinterpret_cast<iconv_t>(-1)) {
                continue;
            }
            char in = static_cast<char>(i);
            unsigned char out[4] = {};
            char* inPtr = &in;
            char* outPtr = reinterpret_cast<char*>(out);
            size_t inLeft = 1;
            size_t outLeft = 4;
            if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1)) {
                t[i] = out[0] | out[1] << 8 | out[2] << 16 | static_cast<uint32_t>(out[3]) << 24;
            }
        }
        if (cd != reinterpret_cast<iconv_t>(-1)) {
            iconv_close(cd);
        }
        const std::pair<unsigned char, uint32_t> polish[] = {
            {0x86, 0x0105}, {0x8D, 0x0107}, {0x8F, 0x0104}, {0x90, 0x0118}, {0x91, 0x0119},
            {0x92, 0x0142}, {0x95, 0x0106}, {0x98, 0x015A}, {0x9C, 0x0141}, {0x9E, 0x015B},
            {0xA0, 0x0179}, {0xA1, 0x017B}, {0xA2, 0x00F3}, {0xA3, 0x00D3}, {0xA4, 0x0144},
            {0xA5, 0x0143}, {0xA6, 0x017A}, {0xA7, 0x017C}};
        for (auto [byte, codePoint] : polish) {
            t[byte] = codePoint;
        }
        return t;
    }();
    return table;
}

}  // namespace

struct CodePageConverter::Iconv {
    iconv_t handle = reinterpret_cast<iconv_t>(-1);
    ~Iconv() {
        if (handle != reinterpret_cast<iconv_t>(-1)) {
            iconv_close(handle);
        }
    }
};

CodePageConverter::CodePageConverter(std::string name) : m_name(std::move(name)) {
    if (m_name.empty() || m_name == "UTF-8" || m_name == "MAZOVIA" || m_name == "CP1252") {
        return;  // handled without iconv
    }
    auto converter = std::make_unique<Iconv>();
    converter->handle = iconv_open("UTF-8", m_name.c_str());
    if (converter->handle == reinterpret_cast<iconv_t>(-1)) {
        m_name = "CP1252";
        m_fallback = true;
        return;
    }
    m_iconv = std::move(converter);
}

CodePageConverter::~CodePageConverter() = default;

void CodePageConverter::appendUtf8(std::string& out, std::string_view bytes) {
    if (m_name.empty()) {
        if (csv::isUtf8(bytes)) {
            out.append(bytes);
        } else {
            csv::appendWindows1252AsUtf8(out, bytes);
        }
        return;
    }
    if (m_name == "UTF-8") {
        if (csv::isUtf8(bytes)) {
            out.append(bytes);
        } else {
            csv::appendWindows1252AsUtf8(out, bytes);  // mislabelled: the likelier reading
        }
        return;
    }
    if (m_name == "CP1252") {
        csv::appendWindows1252AsUtf8(out, bytes);
        return;
    }
    if (m_name == "MAZOVIA") {
        const auto& table = mazoviaTable();
        for (char c : bytes) {
            engine::appendUtf8(out, table[static_cast<unsigned char>(c)]);
        }
        return;
    }
    iconv(m_iconv->handle, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    char buffer[1024];
    // Code pages that compose characters across bytes (1258, 1255) hold the last character
    // back in case a combining mark follows: it is written out where the text ends or breaks.
    auto flush = [&] {
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        iconv(m_iconv->handle, nullptr, nullptr, &outPtr, &outLeft);
        out.append(buffer, static_cast<size_t>(outPtr - buffer));
    };
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        size_t result = iconv(m_iconv->handle, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<size_t>(outPtr - buffer));
        if (result == static_cast<size_t>(-1)) {
            if (errno == E2BIG) {
                continue;
            }
            // An invalid or incomplete sequence: one replacement character for its first byte.
            flush();
            engine::appendUtf8(out, 0xFFFD);
            ++in;
            --inLeft;
        }
    }
    flush();
}

std::string codePageOfLanguageDriver(unsigned char id) {
    switch (id) {
        case 0x01:
        case 0x09:
        case 0x0B:
        case 0x0D:
        case 0x0F:
        case 0x11:
        case 0x15:
        case 0x18:
        case 0x19:
        case 0x1B:
            return "CP437";
        case 0x02:
        case 0x0A:
        case 0x0E:
        case 0x10:
        case 0x12:
        case 0x14:
        case 0x16:
        case 0x1A:
        case 0x1D:
        case 0x25:
        case 0x37:
            return "CP850";
        case 0x03:
        case 0x57:
        case 0x58:
        case 0x59:
            return "CP1252";
        case 0x04:
            return "MACINTOSH";
        case 0x08:
        case 0x17:
        case 0x66:
            return "CP865";
        case 0x13:
        case 0x7B:
            return "CP932";
        case 0x1C:
        case 0x6C:
            return "CP863";
        case 0x1F:
        case 0x22:
        case 0x23:
        case 0x40:
        case 0x64:
        case 0x87:
            return "CP852";
        case 0x24:
            return "CP860";
        case 0x26:
        case 0x65:
            return "CP866";
        case 0x4D:
        case 0x7A:
            return "CP936";
        case 0x4E:
        case 0x79:
            return "CP949";
        case 0x4F:
        case 0x78:
            return "CP950";
        case 0x50:
        case 0x7C:
            return "CP874";
        case 0x67:
            return "CP861";
        case 0x69:
            return "MAZOVIA";
        case 0x6A:
        case 0x86:
            return "CP737";
        case 0x6B:
        case 0x88:
            return "CP857";
        case 0x7D:
            return "CP1255";
        case 0x7E:
            return "CP1256";
        case 0x96:
            return "MAC-CYRILLIC";
        case 0x97:
            return "MAC-CENTRALEUROPE";
        case 0x98:
            return "MACGREEK";
        case 0xC8:
            return "CP1250";
        case 0xC9:
            return "CP1251";
        case 0xCA:
            return "CP1254";
        case 0xCB:
            return "CP1253";
        case 0xCC:
            return "CP1257";
        default:
            return {};
    }
}

std::string codePageOfCpgText(std::string_view text) {
    size_t first = text.find_first_not_of(" \t\r\n\xEF\xBB\xBF");
    if (first == std::string_view::npos) {
        return {};
    }
    size_t last = text.find_last_not_of(" \t\r\n");
    std::string name = upperAscii(text.substr(first, last - first + 1));
    if (name == "UTF-8" || name == "UTF8" || name == "65001") {
        return "UTF-8";
    }
    if (name.rfind("ANSI ", 0) == 0) {
        name = name.substr(5);
    }
    if (allDigits(name)) {
        if (name.size() >= 5 && name.rfind("8859", 0) == 0) {
            return "ISO-8859-" + name.substr(4);  // 88591 -> ISO-8859-1
        }
        if (name == "10000") {
            return "MACINTOSH";
        }
        return "CP" + name;
    }
    if (name.rfind("WINDOWS-", 0) == 0 && allDigits(name.substr(8))) {
        return "CP" + name.substr(8);
    }
    if (name.rfind("8859-", 0) == 0) {
        return "ISO-" + name;
    }
    return name;  // CP1251, ISO-8859-5, KOI8-R... as iconv knows them
}

}  // namespace plyfold::engine::dbf
