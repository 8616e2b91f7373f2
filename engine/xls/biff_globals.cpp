#include "engine/xls/biff_globals.h"

namespace plyfold::engine::xls {
namespace {

constexpr uint16_t kBof = 0x0809;
constexpr uint16_t kEof = 0x000A;
constexpr uint16_t kFilePass = 0x002F;
constexpr uint16_t kBoundSheet = 0x0085;

uint16_t le16(std::string_view b, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(b[at]) |
                                 static_cast<unsigned char>(b[at + 1]) << 8);
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

}  // namespace

BiffGlobals scanBiffGlobals(std::string_view stream) {
    BiffGlobals globals;
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
            if (type != kBof) {
                break;  // not a BIFF5/8 stream: leave the judgement to FreeXL
            }
            first = false;
            continue;
        }
        if (type == kEof) {
            break;
        }
        if (type == kFilePass) {
            globals.encrypted = true;
            break;
        }
        if (type == kBoundSheet && data.size() >= 6) {
            BiffSheetInfo info;
            info.visibility = static_cast<uint8_t>(data[4]) & 0x03;
            info.type = sheetType(static_cast<uint8_t>(data[5]));
            globals.sheets.push_back(info);
        }
    }
    return globals;
}

}  // namespace plyfold::engine::xls
