#include "engine/ops/structured_refs.h"

#include <algorithm>

#include "engine/common/text.h"
#include "engine/model/limits.h"
#include "engine/model/workbook.h"
#include "engine/ops/formula_lexer.h"

namespace plyfold::engine {
namespace {

using formula::RefEnd;
using formula::RefKind;
using formula::StructuredReference;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// An absolute column and a row that is relative or absolute, as a reference writes it.
RefEnd end(int32_t row, int32_t column, bool absoluteRow) {
    RefEnd e;
    e.row = row;
    e.column = column;
    e.absoluteRow = absoluteRow;
    e.absoluteColumn = true;
    return e;
}

bool rowsOf(const Table& table, uint8_t items, int32_t& first, int32_t& last) {
    const int32_t top = table.range.first.row;
    const int32_t bottom = table.range.last.row;
    const int32_t dataFirst = top + table.headerRowCount;
    const int32_t dataLast = bottom - table.totalsRowCount;
    if (items == formula::kTableAll) {
        first = top;
        last = bottom;
        return true;
    }
    if (items == 0 || items == formula::kTableThisRow) {
        items = formula::kTableData;
    }
    first = INT32_MAX;
    last = INT32_MIN;
    auto add = [&](int32_t low, int32_t high) {
        if (low > high) {
            return false;
        }
        first = std::min(first, low);
        last = std::max(last, high);
        return true;
    };
    if ((items & formula::kTableHeaders) && !add(top, top + table.headerRowCount - 1)) {
        return false;
    }
    if ((items & formula::kTableData) && !add(dataFirst, dataLast)) {
        return false;
    }
    if ((items & formula::kTableTotals) && !add(bottom - table.totalsRowCount + 1, bottom)) {
        return false;
    }
    return first <= last;
}

}  // namespace

TableAreaResult tableArea(const Table& table, const StructuredReference& reference,
                          CellRange& area) {
    int32_t firstColumn = table.range.first.column;
    int32_t lastColumn = table.range.last.column;
    if (!reference.firstColumn.empty()) {
        const int32_t a = table.columnIndex(reference.firstColumn);
        const int32_t b = table.columnIndex(reference.lastColumn);
        if (a < 0 || b < 0) {
            return TableAreaResult::UnknownColumn;
        }
        firstColumn = table.range.first.column + std::min(a, b);
        lastColumn = table.range.first.column + std::max(a, b);
    }
    int32_t firstRow = 0;
    int32_t lastRow = 0;
    if (!rowsOf(table, reference.items, firstRow, lastRow)) {
        return TableAreaResult::MissingPart;
    }
    area = CellRange{{firstRow, firstColumn}, {lastRow, lastColumn}};
    return TableAreaResult::Found;
}

bool holdsStructuredReference(std::string_view text) {
    if (!mayHoldStructuredReference(text)) {
        return false;
    }
    struct Finder final : formula::ReferenceVisitor {
        void visit(size_t, size_t, const formula::Reference& ref) override {
            found = found || ref.kind == RefKind::Structured;
        }
        bool found = false;
    } finder;
    formula::scanReferences(text, finder);
    return finder.found;
}

std::string formulaWithTableReferences(std::string_view text, TableRefPolicy& policy,
                                       const FormulaSite& site) {
    if (!mayHoldStructuredReference(text)) {
        return std::string(text);
    }
    std::string out;
    size_t copied = 0;
    bool changed = false;
    for (const formula::Token& token : formula::tokenize(text)) {
        if (token.kind != formula::TokenKind::Reference || token.ref.kind != RefKind::Structured) {
            continue;
        }
        const auto reference = formula::parseStructuredReference(token.ref.body);
        const Table* table = reference ? policy.find(reference->table, site.cell) : nullptr;
        if (!table) {
            continue;
        }
        const TableRefAction action = policy.action(*table);
        std::string replacement;
        if (action.kind == TableRefAction::Kind::Keep) {
            continue;
        }
        if (action.kind == TableRefAction::Kind::Rename) {
            if (reference->table.empty()) {
                continue;  // a reference inside the table names none
            }
            replacement =
                action.newName + std::string(token.ref.body.substr(reference->table.size()));
        } else {
            CellRange area;
            const TableAreaResult found = tableArea(*table, *reference, area);
            if (found == TableAreaResult::UnknownColumn) {
                continue;
            }
            const bool thisRow = reference->items == formula::kTableThisRow;
            if (found == TableAreaResult::MissingPart) {
                replacement = "#REF!";
            } else if (thisRow && site.checkThisRow &&
                       (site.cell.row < area.first.row || site.cell.row > area.last.row)) {
                replacement = "#VALUE!";
            } else {
                RefEnd first;
                RefEnd last;
                const int32_t left = area.first.column + action.columnOffset;
                const int32_t right = area.last.column + action.columnOffset;
                if (thisRow) {
                    const int32_t row = site.readRow + action.rowOffset;
                    first = end(row, left, false);
                    last = end(row, right, false);
                } else {
                    first = end(area.first.row + action.rowOffset, left, true);
                    last = end(area.last.row + action.rowOffset, right, true);
                }
                const bool single = first.row == last.row && first.column == last.column;
                const bool valid = first.row >= 0 && last.row < kMaxRows && first.column >= 0 &&
                                   last.column < kMaxColumns;
                replacement = action.prefix;
                replacement += valid ? formula::referenceBody(
                                           single ? RefKind::Cell : RefKind::Area, first, last)
                                     : std::string("#REF!");
            }
        }
        const size_t begin = static_cast<size_t>(token.text.data() - text.data());
        out.append(text.substr(copied, begin - copied));
        out += replacement;
        copied = begin + token.text.size();
        changed = true;
    }
    if (!changed) {
        return std::string(text);
    }
    out.append(text.substr(copied));
    return out;
}

std::string uniqueTableName(const Workbook& workbook, std::string_view base,
                            const std::function<bool(std::string_view)>& isTaken) {
    auto taken = [&](std::string_view name) {
        for (int32_t s = 0; s < workbook.sheetCount(); ++s) {
            for (const Table& table : workbook.sheet(s).tables()) {
                if (equalsIgnoringAsciiCase(table.displayName, name) ||
                    equalsIgnoringAsciiCase(table.name, name)) {
                    return true;
                }
            }
        }
        return isTaken && isTaken(name);
    };
    if (isValidTableName(base) && !taken(base)) {
        return std::string(base);
    }
    // "Table1" goes on as "Table2", "Sales" as "Sales2".
    size_t stem = base.size();
    while (stem > 0 && isDigit(base[stem - 1])) {
        --stem;
    }
    int64_t start = 2;
    if (stem < base.size() && base.size() - stem <= 9) {
        start = std::stoll(std::string(base.substr(stem))) + 1;
    } else {
        stem = base.size();
    }
    const std::string plain(base.substr(0, stem));
    std::string fallback = isValidTableName(base) ? std::string(base) : std::string("Table");
    for (int64_t n = std::max<int64_t>(start, 2);; ++n) {
        std::string candidate = plain + std::to_string(n);
        if (!isValidTableName(candidate)) {
            candidate = fallback + "_" + std::to_string(n);
        }
        if (candidate.size() > 255) {
            candidate = fallback.substr(0, 240) + "_" + std::to_string(n);
        }
        if (!taken(candidate)) {
            return candidate;
        }
    }
}

}  // namespace plyfold::engine
