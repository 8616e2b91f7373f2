#include "engine/model/table.h"

#include "engine/common/text.h"

namespace plyfold::engine {
namespace {

bool isAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool isAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

std::optional<CellRange> Table::dataRange() const {
    CellRange data = range;
    data.first.row += headerRowCount;
    data.last.row -= totalsRowCount;
    if (data.first.row > data.last.row) {
        return std::nullopt;
    }
    return data;
}

int32_t Table::columnIndex(std::string_view columnName) const {
    for (size_t i = 0; i < columns.size(); ++i) {
        if (equalsIgnoringAsciiCase(columns[i].name, columnName)) {
            return static_cast<int32_t>(i);
        }
    }
    return -1;
}

bool isValidTableName(std::string_view text) {
    if (text.empty() || text.size() > 255) {
        return false;
    }
    const char first = text.front();
    if (!isAsciiLetter(first) && first != '_' && first != '\\' &&
        static_cast<unsigned char>(first) < 0x80) {
        return false;
    }
    for (char c : text) {
        if (!isAsciiLetter(c) && !isAsciiDigit(c) && c != '_' && c != '.' && c != '\\' &&
            static_cast<unsigned char>(c) < 0x80) {
            return false;
        }
    }
    return !readsAsCellOrLogical(text);
}

}  // namespace plyfold::engine
