#include "engine/xls/biff_globals.h"

#include <string>
#include <unordered_map>

#include "engine/number_format.h"

namespace plyfold::engine::xls {
namespace {

constexpr uint16_t kBof = 0x0809;
constexpr uint16_t kEof = 0x000A;
constexpr uint16_t kFilePass = 0x002F;
constexpr uint16_t kBoundSheet = 0x0085;
constexpr uint16_t kCodePage = 0x0042;
constexpr uint16_t kFormat = 0x041E;
constexpr uint16_t kXf = 0x00E0;

uint16_t le16(std::string_view b, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(b[at]) |
                                 static_cast<unsigned char>(b[at + 1]) << 8);
}

uint32_t le32(std::string_view b, size_t at) {
    return le16(b, at) | static_cast<uint32_t>(le16(b, at + 2)) << 16;
}

BiffSheetInfo::Type sheetType(uint8_t code) {
    switch (code) {
        case 0x00:
            return BiffSheetInfo::Type::Worksheet;
        case 0x01:
            return BiffSheetInfo::Type::MacroSheet;
        case 0x02:
            return BiffSheetInfo::Type::Chart;
        case 0x06:
            return BiffSheetInfo::Type::VisualBasicModule;
        default:
            return BiffSheetInfo::Type::Other;
    }
}

// A format code, good enough to tell a date format: non-ASCII characters become '?'.
std::string formatCodeText(std::string_view data, bool biff8) {
    std::string code;
    if (biff8) {
        if (data.size() < 5) {
            return code;
        }
        uint16_t count = le16(data, 2);
        bool wide = (static_cast<unsigned char>(data[4]) & 0x01) != 0;
        for (size_t i = 0, at = 5; i < count && at + (wide ? 2 : 1) <= data.size(); ++i) {
            uint16_t unit = wide ? le16(data, at) : static_cast<unsigned char>(data[at]);
            at += wide ? 2 : 1;
            code.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
        }
    } else if (data.size() >= 3) {
        size_t count = static_cast<unsigned char>(data[2]);
        for (size_t i = 0; i < count && 3 + i < data.size(); ++i) {
            auto c = static_cast<unsigned char>(data[3 + i]);
            code.push_back(c < 0x80 ? static_cast<char>(c) : '?');
        }
    }
    return code;
}

bool isBuiltinDateFormat(uint16_t id) {
    return (id >= 14 && id <= 22) || (id >= 45 && id <= 47);
}

}  // namespace

BiffGlobals scanBiffGlobals(std::string_view stream) {
    BiffGlobals globals;
    std::unordered_map<uint16_t, bool> customIsDate;
    std::vector<uint16_t> xfFormats;
    size_t at = 0;
    bool first = true;
    while (at + 4 <= stream.size()) {
        uint16_t type = le16(stream, at);
        uint16_t length = le16(stream, at + 2);
        at += 4;
        if (at + length > stream.size()) {
            break;
        }
        std::string_view data = stream.substr(at, length);
        at += length;
        if (first) {
            if (type != kBof || data.size() < 2) {
                break;  // not a BIFF5/8 stream: leave the judgement to FreeXL
            }
            globals.biff8 = le16(data, 0) == 0x0600;
            first = false;
            continue;
        }
        if (type == kEof) {
            break;
        }
        switch (type) {
            case kFilePass:
                globals.encrypted = true;
                return globals;
            case kBoundSheet:
                if (data.size() >= 6) {
                    BiffSheetInfo info;
                    info.position = le32(data, 0);
                    info.visibility = static_cast<uint8_t>(data[4]) & 0x03;
                    info.type = sheetType(static_cast<uint8_t>(data[5]));
                    globals.sheets.push_back(info);
                }
                break;
            case kCodePage:
                if (data.size() >= 2) {
                    globals.codePage = le16(data, 0);
                }
                break;
            case kFormat:
                if (data.size() >= 2) {
                    customIsDate[le16(data, 0)] =
                        isDateTimeFormatCode(formatCodeText(data, globals.biff8));
                }
                break;
            case kXf:
                if (data.size() >= 4) {
                    xfFormats.push_back(le16(data, 2));
                }
                break;
            default:
                break;
        }
    }
    globals.xfIsDate.reserve(xfFormats.size());
    for (uint16_t id : xfFormats) {
        auto custom = customIsDate.find(id);
        globals.xfIsDate.push_back(custom != customIsDate.end() ? custom->second
                                                                : isBuiltinDateFormat(id));
    }
    return globals;
}

}  // namespace plyfold::engine::xls
