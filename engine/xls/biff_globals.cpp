#include "engine/xls/biff_globals.h"

#include <algorithm>
#include <string>
#include <unordered_map>

#include "engine/dbf/code_page.h"
#include "engine/number_format.h"
#include "engine/xls/biff_records.h"

namespace plyfold::engine::xls {
namespace {

constexpr uint16_t kBof = 0x0809;
constexpr uint16_t kEof = 0x000A;
constexpr uint16_t kFilePass = 0x002F;
constexpr uint16_t kBoundSheet = 0x0085;
constexpr uint16_t kCodePage = 0x0042;
constexpr uint16_t kFormat = 0x041E;
constexpr uint16_t kXf = 0x00E0;
constexpr uint16_t kDateMode = 0x0022;
constexpr uint16_t kSst = 0x00FC;

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
        uint16_t count = biffU16(data, 2);
        bool wide = (static_cast<unsigned char>(data[4]) & 0x01) != 0;
        for (size_t i = 0, at = 5; i < count && at + (wide ? 2 : 1) <= data.size(); ++i) {
            uint16_t unit = wide ? biffU16(data, at) : static_cast<unsigned char>(data[at]);
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
    std::vector<std::string_view> eightBitNames;  // BIFF5, converted once the code page is known
    BiffRecordCursor records(stream, 0);
    auto bof = records.next();
    if (!bof || bof->type != kBof || bof->data.size() < 2) {
        return globals;  // not a BIFF5/8 stream: leave the judgement to FreeXL
    }
    globals.isBiff5Or8 = true;
    globals.biff8 = biffU16(bof->data, 0) == 0x0600;
    while (auto record = records.next()) {
        std::string_view data = record->data;
        if (record->type == kEof) {
            globals.complete = true;
            break;
        }
        switch (record->type) {
            case kFilePass:
                globals.encrypted = true;
                return globals;
            case kBoundSheet:
                if (data.size() >= 6) {
                    BiffSheetInfo info;
                    info.position = biffU32(data, 0);
                    info.visibility = static_cast<uint8_t>(data[4]) & 0x03;
                    info.type = sheetType(static_cast<uint8_t>(data[5]));
                    if (globals.biff8) {
                        try {
                            BiffContinuedReader name({data.substr(6)}, {});
                            info.name = name.unicodeString(1, BiffContinuedReader::Layout::Plain);
                        } catch (const BiffDamage&) {
                            info.name.clear();  // a name cut short: the reader names the sheet
                        }
                    } else if (data.size() >= 7) {
                        size_t count =
                            std::min<size_t>(static_cast<unsigned char>(data[6]), data.size() - 7);
                        eightBitNames.resize(globals.sheets.size());
                        eightBitNames.push_back(data.substr(7, count));
                    }
                    globals.sheets.push_back(std::move(info));
                }
                break;
            case kCodePage:
                if (data.size() >= 2) {
                    globals.codePage = biffU16(data, 0);
                }
                break;
            case kDateMode:
                if (data.size() >= 2) {
                    globals.date1904 = biffU16(data, 0) == 1;
                }
                break;
            case kSst:
                if (!globals.sharedStringsAt) {
                    globals.sharedStringsAt = records.position() - data.size() - 4;
                }
                break;
            case kFormat:
                if (data.size() >= 2) {
                    customIsDate[biffU16(data, 0)] =
                        isDateTimeFormatCode(formatCodeText(data, globals.biff8));
                }
                break;
            case kXf:
                if (data.size() >= 4) {
                    xfFormats.push_back(biffU16(data, 2));
                }
                break;
            default:
                break;
        }
    }
    if (!eightBitNames.empty()) {
        dbf::CodePageConverter converter(biffCodePageName(globals.codePage));
        for (size_t i = 0; i < eightBitNames.size() && i < globals.sheets.size(); ++i) {
            converter.appendUtf8(globals.sheets[i].name, eightBitNames[i]);
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

std::vector<std::string> readSharedStrings(std::string_view stream, const BiffGlobals& globals) {
    std::vector<std::string> strings;
    if (!globals.sharedStringsAt || !globals.biff8) {
        return strings;  // BIFF5 keeps its texts in the cells
    }
    const char* damage = "is damaged: its table of shared texts is broken";
    BiffRecordCursor records(stream, *globals.sharedStringsAt);
    auto sst = records.next();
    if (!sst || sst->data.size() < 8) {
        throw BiffDamage(damage);
    }
    const uint32_t count = biffU32(sst->data, 4);
    std::vector<std::string_view> segments{sst->data.substr(8)};
    records.takeContinues(segments);
    size_t bytes = 0;
    for (std::string_view segment : segments) {
        bytes += segment.size();
    }
    // Each string takes at least three bytes, so a count beyond that is not believed.
    strings.reserve(std::min<size_t>(count, bytes / 3));
    BiffContinuedReader reader(std::move(segments), damage);
    // Some writers state more strings than they write; the table ends with its records.
    while (strings.size() < count && !reader.atEnd()) {
        strings.push_back(reader.unicodeString(2, BiffContinuedReader::Layout::WithFormatting));
    }
    return strings;
}

}  // namespace plyfold::engine::xls
