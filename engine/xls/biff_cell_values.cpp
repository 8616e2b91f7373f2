#include "engine/xls/biff_cell_values.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/dbf/code_page.h"
#include "engine/text.h"

namespace plyfold::engine::xls {
namespace {

constexpr uint16_t kEof = 0x000A;
constexpr uint16_t kFormula = 0x0006;
constexpr uint16_t kFormulaBiff4 = 0x0406;
constexpr uint16_t kString = 0x0207;
constexpr uint16_t kBoolErr = 0x0205;

uint16_t le16(std::string_view b, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(b[at]) |
                                 static_cast<unsigned char>(b[at + 1]) << 8);
}

bool errorOfCode(uint8_t code, ErrorValue& error) {
    switch (code) {
        case 0x00:
            error = ErrorValue::Null;
            return true;
        case 0x07:
            error = ErrorValue::Div0;
            return true;
        case 0x0F:
            error = ErrorValue::Value;
            return true;
        case 0x17:
            error = ErrorValue::Ref;
            return true;
        case 0x1D:
            error = ErrorValue::Name;
            return true;
        case 0x24:
            error = ErrorValue::Num;
            return true;
        case 0x2A:
            error = ErrorValue::NA;
            return true;
        case 0x2B:
            error = ErrorValue::GettingData;
            return true;
        default:
            return false;
    }
}

std::string codePageName(uint16_t codePage) {
    switch (codePage) {
        case 367:
            return "ASCII";
        case 10000:
        case 32768:
            return "MACINTOSH";
        case 32769:
        case 1252:
            return "CP1252";
        default:
            return "CP" + std::to_string(codePage);
    }
}

class ValueReader {
public:
    ValueReader(const BiffGlobals& globals)
        : m_globals(globals),
          m_codePage(globals.biff8 ? "CP1252" : codePageName(globals.codePage)) {}

    std::string stringRecord(std::string_view data) {
        std::string text;
        if (m_globals.biff8) {
            if (data.size() < 3) {
                return text;
            }
            uint16_t count = le16(data, 0);
            bool wide = (static_cast<unsigned char>(data[2]) & 0x01) != 0;
            size_t at = 3;
            for (uint16_t i = 0; i < count && at + (wide ? 2 : 1) <= data.size(); ++i) {
                uint32_t unit = wide ? le16(data, at) : static_cast<unsigned char>(data[at]);
                at += wide ? 2 : 1;
                if (unit >= 0xD800 && unit <= 0xDBFF && at + 2 <= data.size()) {
                    uint32_t low = le16(data, at);
                    if (low >= 0xDC00 && low <= 0xDFFF) {
                        unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                        at += 2;
                        ++i;
                    }
                }
                appendUtf8(text, unit);
            }
        } else if (data.size() >= 2) {
            size_t count = std::min<size_t>(le16(data, 0), data.size() - 2);
            m_codePage.appendUtf8(text, data.substr(2, count));
        }
        return text;
    }

    bool isDate(uint16_t xf) const {
        return xf < m_globals.xfIsDate.size() && m_globals.xfIsDate[xf];
    }

private:
    const BiffGlobals& m_globals;
    dbf::CodePageConverter m_codePage;
};

}  // namespace

std::vector<BiffCellValue> scanSheetValues(std::string_view stream, const BiffSheetInfo& sheet,
                                           const BiffGlobals& globals) {
    std::vector<BiffCellValue> values;
    ValueReader reader(globals);
    size_t at = sheet.position;
    bool started = false;
    bool awaitingString = false;
    while (at + 4 <= stream.size()) {
        uint16_t type = le16(stream, at);
        uint16_t length = le16(stream, at + 2);
        at += 4;
        if (at + length > stream.size()) {
            break;
        }
        std::string_view data = stream.substr(at, length);
        at += length;
        if (!started) {
            started = true;  // the sheet's BOF
            continue;
        }
        if (type == kEof) {
            break;
        }
        if (type == kString && awaitingString) {
            values.back().text = reader.stringRecord(data);
            awaitingString = false;
            continue;
        }
        awaitingString = false;
        if ((type == kFormula || type == kFormulaBiff4) && data.size() >= 14) {
            BiffCellValue value;
            value.row = le16(data, 0);
            value.column = le16(data, 2);
            uint16_t xf = le16(data, 4);
            std::string_view result = data.substr(6, 8);
            if (le16(result, 6) == 0xFFFF) {
                switch (static_cast<uint8_t>(result[0])) {
                    case 0:  // text, in the STRING record that follows
                        value.type = CellType::Text;
                        values.push_back(std::move(value));
                        awaitingString = true;
                        continue;
                    case 1:
                        value.type = CellType::Boolean;
                        value.boolean = result[2] != 0;
                        break;
                    case 2:
                        if (!errorOfCode(static_cast<uint8_t>(result[2]), value.error)) {
                            continue;
                        }
                        value.type = CellType::Error;
                        break;
                    default:
                        continue;  // an empty text: no value
                }
            } else {
                double number;
                std::memcpy(&number, result.data(), 8);
                if (!std::isfinite(number)) {
                    continue;
                }
                value.type = CellType::Number;
                value.number = number;
                value.isDate = reader.isDate(xf);
            }
            values.push_back(std::move(value));
        } else if (type == kBoolErr && data.size() >= 8) {
            BiffCellValue value;
            value.row = le16(data, 0);
            value.column = le16(data, 2);
            auto code = static_cast<uint8_t>(data[6]);
            if (data[7] != 0) {
                if (!errorOfCode(code, value.error)) {
                    continue;
                }
                value.type = CellType::Error;
            } else {
                value.type = CellType::Boolean;
                value.boolean = code != 0;
            }
            values.push_back(std::move(value));
        }
    }
    // A text result whose STRING record never came is no value.
    values.erase(std::remove_if(values.begin(), values.end(),
                                [](const BiffCellValue& v) {
                                    return v.type == CellType::Text && v.text.empty();
                                }),
                 values.end());
    std::stable_sort(values.begin(), values.end(), [](const auto& a, const auto& b) {
        return a.row != b.row ? a.row < b.row : a.column < b.column;
    });
    return values;
}

}  // namespace plyfold::engine::xls
