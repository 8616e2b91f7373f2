#include "engine/model/cell_ref.h"

#include <algorithm>

#include "engine/common/text.h"
#include "engine/model/limits.h"

namespace plyfold::engine {

std::string columnName(int32_t column) {
    std::string name;
    for (int32_t n = column + 1; n > 0; n = (n - 1) / 26) {
        name.push_back(static_cast<char>('A' + (n - 1) % 26));
    }
    std::reverse(name.begin(), name.end());
    return name;
}

std::optional<int32_t> parseColumnName(std::string_view name) {
    if (name.empty() || name.size() > 3) {
        return std::nullopt;
    }
    int32_t value = 0;
    for (char c : name) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
        if (c < 'A' || c > 'Z') {
            return std::nullopt;
        }
        value = value * 26 + (c - 'A' + 1);
    }
    if (value > kMaxColumns) {
        return std::nullopt;
    }
    return value - 1;
}

std::string cellName(CellRef ref) {
    return columnName(ref.column) + std::to_string(ref.row + 1);
}

std::string absoluteCellName(CellRef ref) {
    return "$" + columnName(ref.column) + "$" + std::to_string(ref.row + 1);
}

std::string rangeName(const CellRange& range) {
    if (range.first == range.last) {
        return cellName(range.first);
    }
    return cellName(range.first) + ":" + cellName(range.last);
}

std::optional<CellRef> parseCellName(std::string_view text) {
    size_t pos = 0;
    if (pos < text.size() && text[pos] == '$') {
        ++pos;
    }
    size_t letters = pos;
    while (letters < text.size() && ((text[letters] >= 'A' && text[letters] <= 'Z') ||
                                     (text[letters] >= 'a' && text[letters] <= 'z'))) {
        ++letters;
    }
    auto column = parseColumnName(text.substr(pos, letters - pos));
    if (!column) {
        return std::nullopt;
    }
    pos = letters;
    if (pos < text.size() && text[pos] == '$') {
        ++pos;
    }
    if (pos >= text.size() || text.size() - pos > 7) {
        return std::nullopt;
    }
    int32_t row = 0;
    for (; pos < text.size(); ++pos) {
        if (text[pos] < '0' || text[pos] > '9') {
            return std::nullopt;
        }
        row = row * 10 + (text[pos] - '0');
    }
    if (row < 1 || row > kMaxRows) {
        return std::nullopt;
    }
    return CellRef{row - 1, *column};
}

std::optional<CellRange> parseRangeName(std::string_view text) {
    auto colon = text.find(':');
    if (colon == std::string_view::npos) {
        auto cell = parseCellName(text);
        if (!cell) {
            return std::nullopt;
        }
        return CellRange{*cell, *cell};
    }
    auto a = parseCellName(text.substr(0, colon));
    auto b = parseCellName(text.substr(colon + 1));
    if (!a || !b) {
        return std::nullopt;
    }
    return CellRange{{std::min(a->row, b->row), std::min(a->column, b->column)},
                     {std::max(a->row, b->row), std::max(a->column, b->column)}};
}

namespace {

// "R", "C", "R1", "C2", "R1C1", "RC" read as references in the R1C1 style.
bool looksLikeR1C1(std::string_view text) {
    size_t i = 0;
    auto digits = [&] {
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
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

bool readsAsCellOrLogical(std::string_view word) {
    return parseCellName(word) || looksLikeR1C1(word) || equalsIgnoringAsciiCase(word, "TRUE") ||
           equalsIgnoringAsciiCase(word, "FALSE");
}

}  // namespace plyfold::engine
