#include "engine/io/xls/biff_globals.h"

#include <algorithm>
#include <string>
#include <unordered_map>

#include "engine/common/byte_order.h"
#include "engine/common/code_page.h"
#include "engine/io/xls/biff_records.h"
#include "engine/ops/number_format.h"

namespace plyfold::engine::xls {
namespace {

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

// The code of a BIFF8 FORMAT record, in full; empty when it is cut short.
std::string formatCodeOfBiff8(std::string_view data) {
    try {
        BiffContinuedReader code({data.substr(2)}, {});
        return code.unicodeString(2, BiffContinuedReader::Layout::Plain);
    } catch (const BiffDamage&) {
        return {};
    }
}

// The bytes of an 8-bit text whose one-byte length is at `at`, as far as the record holds them.
std::string_view eightBitText(std::string_view data, size_t at) {
    if (data.size() <= at) {
        return {};
    }
    const size_t count = static_cast<unsigned char>(data[at]);
    return data.substr(at + 1, std::min(count, data.size() - at - 1));
}

// The code page and the date system, which every BIFF version states in the same records.
void readTextAndDateSettings(const BiffRecord& record, BiffGlobals& globals) {
    if (record.data.size() < 2) {
        return;
    }
    if (record.type == kCodePage) {
        globals.codePage = le16(record.data, 0);
    } else if (record.type == kDateMode) {
        globals.date1904 = le16(record.data, 0) == 1;
    }
}

}  // namespace

BiffGlobals scanBiffGlobals(std::string_view stream) {
    BiffGlobals globals;
    std::unordered_map<uint16_t, std::string> customCodes;         // BIFF8, UTF-8
    std::unordered_map<uint16_t, std::string_view> eightBitCodes;  // BIFF5, in the code page
    std::vector<uint16_t> xfFormats;
    std::vector<std::string_view> eightBitNames;  // BIFF5, converted once the code page is known
    BiffRecordCursor records(stream, 0);
    auto bof = records.next();
    if (!bof || bof->type != kBof || bof->data.size() < 2) {
        return globals;  // not a BIFF5/8 stream
    }
    globals.isBiff5Or8 = true;
    globals.biff8 = le16(bof->data, 0) == 0x0600;
    while (auto record = records.next()) {
        std::string_view data = record->data;
        if (record->type == kEof) {
            globals.complete = true;
            break;
        }
        readTextAndDateSettings(*record, globals);
        switch (record->type) {
            case kFilePass:
                globals.encrypted = true;
                return globals;
            case kBoundSheet:
                if (data.size() >= 6) {
                    BiffSheetInfo info;
                    info.position = le32(data, 0);
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
                        eightBitNames.resize(globals.sheets.size());
                        eightBitNames.push_back(eightBitText(data, 6));
                    }
                    globals.sheets.push_back(std::move(info));
                }
                break;
            case kSst:
                if (!globals.sharedStringsAt) {
                    globals.sharedStringsAt = records.position() - data.size() - 4;
                }
                break;
            case kFormat:
                if (data.size() >= 2) {
                    const uint16_t id = le16(data, 0);
                    if (globals.biff8) {
                        customCodes[id] = formatCodeOfBiff8(data);
                    } else {
                        eightBitCodes[id] = eightBitText(data, 2);
                    }
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
    if (!eightBitNames.empty() || !eightBitCodes.empty()) {
        dbf::CodePageConverter converter(biffCodePageName(globals.codePage));
        for (size_t i = 0; i < eightBitNames.size() && i < globals.sheets.size(); ++i) {
            converter.appendUtf8(globals.sheets[i].name, eightBitNames[i]);
        }
        for (const auto& [id, bytes] : eightBitCodes) {
            converter.appendUtf8(customCodes[id], bytes);
        }
    }
    globals.xfIsDate.reserve(xfFormats.size());
    globals.xfFormatCode.reserve(xfFormats.size());
    for (uint16_t id : xfFormats) {
        auto code = customCodes.find(id);
        globals.xfFormatCode.emplace_back(code != customCodes.end() ? std::string_view(code->second)
                                                                    : builtinFormatCode(id));
        // The built-in formats of East Asian locales show dates the reader has no code for.
        const bool eastAsianDate =
            code == customCodes.end() && ((id >= 27 && id <= 36) || (id >= 50 && id <= 58));
        globals.xfIsDate.push_back(eastAsianDate ||
                                   isDateTimeFormatCode(globals.xfFormatCode.back()));
    }
    return globals;
}

BiffGlobals scanEarlyBiffGlobals(std::string_view stream) {
    BiffGlobals globals;
    BiffRecordCursor records(stream, 0);
    auto bof = records.next();
    if (!bof || bof->data.size() < 4) {
        return globals;
    }
    const int version = bof->type == 0x0009   ? 2
                        : bof->type == 0x0209 ? 3
                        : bof->type == 0x0409 ? 4
                                              : 0;
    if (!version) {
        return globals;
    }
    globals.earlyVersion = version;
    globals.biff8 = false;
    const uint16_t sheetType = le16(bof->data, 2);
    globals.isEarlyWorkbook = sheetType == 0x0100;
    BiffSheetInfo sheet;
    sheet.type = sheetType == 0x0010   ? BiffSheetInfo::Type::Worksheet
                 : sheetType == 0x0020 ? BiffSheetInfo::Type::Chart
                 : sheetType == 0x0040 ? BiffSheetInfo::Type::MacroSheet
                                       : BiffSheetInfo::Type::Other;
    sheet.name = "Worksheet";
    globals.sheets.push_back(std::move(sheet));
    // Formats are numbered in the order of their records; an XF names one by that number.
    std::vector<std::string_view> formatCodes;  // in the code page
    std::vector<uint8_t> xfFormats;
    const uint16_t xfType = version == 2 ? 0x0043 : version == 3 ? 0x0243 : 0x0443;
    int depth = 0;  // of substreams embedded in the sheet
    while (auto record = records.next()) {
        std::string_view data = record->data;
        if (record->type == 0x0009 || record->type == 0x0209 || record->type == 0x0409) {
            ++depth;
            continue;
        }
        if (record->type == kEof) {
            if (depth == 0) {
                globals.complete = true;
                break;
            }
            --depth;
            continue;
        }
        if (depth > 0) {
            continue;
        }
        readTextAndDateSettings(*record, globals);
        switch (record->type) {
            case kFilePass:
                globals.encrypted = true;
                return globals;
            case 0x001E:
                formatCodes.push_back(eightBitText(data, version == 4 ? 2 : 0));
                break;
            default:
                if (record->type == xfType && data.size() >= 3) {
                    xfFormats.push_back(version == 2 ? static_cast<uint8_t>(data[2]) & 0x3F
                                                     : static_cast<uint8_t>(data[1]));
                }
                break;
        }
    }
    dbf::CodePageConverter converter(biffCodePageName(globals.codePage));
    globals.xfIsDate.reserve(xfFormats.size());
    globals.xfFormatCode.reserve(xfFormats.size());
    for (uint8_t format : xfFormats) {
        std::string& code = globals.xfFormatCode.emplace_back();
        if (format < formatCodes.size()) {
            converter.appendUtf8(code, formatCodes[format]);
        }
        globals.xfIsDate.push_back(isDateTimeFormatCode(code));
    }
    return globals;
}

std::vector<std::string> readSharedStrings(std::string_view stream, const BiffGlobals& globals,
                                           std::vector<std::vector<BiffTextRun>>* runs) {
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
    const uint32_t count = le32(sst->data, 4);
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
    std::vector<BiffTextRun> stringRuns;
    while (strings.size() < count && !reader.atEnd()) {
        strings.push_back(reader.unicodeString(2, BiffContinuedReader::Layout::WithFormatting,
                                               runs ? &stringRuns : nullptr));
        if (runs && !stringRuns.empty()) {
            runs->resize(strings.size());
            runs->back() = std::move(stringRuns);
            stringRuns.clear();
        }
    }
    return strings;
}

}  // namespace plyfold::engine::xls
