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

// "R", "C", "R1", "C2", "R1C1", "RC", "R[1]C" read as references in the R1C1 style.
bool looksLikeR1C1(std::string_view text) {
    size_t i = 0;
    auto digits = [&] {
        while (i < text.size() && isAsciiDigit(text[i])) {
            ++i;
        }
    };
    if (i < text.size() && (text[i] == 'R' || text[i] == 'r')) {
        ++i;
        digits();
    }
    if (i < text.size() && (text[i] == 'C' || text[i] == 'c')) {
        ++i;
        digits();
    }
    return i > 0 && i == text.size();
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
    return !parseCellName(text) && !looksLikeR1C1(text) && !equalsIgnoringAsciiCase(text, "TRUE") &&
           !equalsIgnoringAsciiCase(text, "FALSE");
}

}  // namespace plyfold::engine
