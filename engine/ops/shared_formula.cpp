#include "engine/ops/shared_formula.h"

#include <algorithm>

#include "engine/model/cell.h"
#include "engine/model/limits.h"
#include "engine/model/workbook.h"
#include "engine/ops/formula_lexer.h"
#include "engine/ops/formula_refs.h"

namespace plyfold::engine {
namespace {

using formula::RefEnd;
using formula::Reference;
using formula::RefKind;

// Calls visit(ref) for every reference of text that moves when the formula is copied.
template <typename Visit>
void forEachMovingReference(std::string_view text, Visit visit) {
    struct Visitor final : formula::ReferenceVisitor {
        explicit Visitor(Visit& v) : onReference(v) {}
        void visit(size_t, size_t, const Reference& ref) override {
            if (formula::readsCells(ref.kind)) {
                onReference(ref);
            }
        }
        Visit& onReference;
    } visitor(visit);
    formula::scanReferences(text, visitor);
}

}  // namespace

CellRange formulaReach(std::string_view text, CellRef anchor) {
    int64_t rowLow = 0;
    int64_t rowHigh = kMaxRows - 1;
    int64_t columnLow = 0;
    int64_t columnHigh = kMaxColumns - 1;
    // The cell at p reads a relative part c of the anchor's text as c + (p - anchor), which
    // must stay within [0, limit).
    auto limit = [&](const RefEnd& end) {
        if (end.row >= 0 && !end.absoluteRow) {
            rowLow = std::max<int64_t>(rowLow, int64_t{anchor.row} - end.row);
            rowHigh = std::min<int64_t>(rowHigh, int64_t{anchor.row} + kMaxRows - 1 - end.row);
        }
        if (end.column >= 0 && !end.absoluteColumn) {
            columnLow = std::max<int64_t>(columnLow, int64_t{anchor.column} - end.column);
            columnHigh = std::min<int64_t>(columnHigh,
                                           int64_t{anchor.column} + kMaxColumns - 1 - end.column);
        }
    };
    forEachMovingReference(text, [&](const Reference& ref) {
        limit(ref.first);
        limit(ref.last);
    });
    return CellRange{{static_cast<int32_t>(rowLow), static_cast<int32_t>(columnLow)},
                     {static_cast<int32_t>(rowHigh), static_cast<int32_t>(columnHigh)}};
}

uint32_t addSharedFormula(Workbook& workbook, std::string_view text, CellRef anchor) {
    SharedFormula shared;
    shared.text = workbook.formulas().intern(text);
    shared.anchor = anchor;
    shared.reach = formulaReach(text, anchor);
    return workbook.addSharedFormula(shared);
}

std::string cellFormula(const Workbook& workbook, const Cell& cell, CellRef at) {
    if (!cell.hasFormula()) {
        return {};
    }
    if (!cell.hasSharedFormula()) {
        return std::string(workbook.formulas().text(cell.formulaId()));
    }
    const SharedFormula& shared = workbook.sharedFormula(cell.formulaId());
    return shiftFormula(workbook.formulas().text(shared.text), at.row - shared.anchor.row,
                        at.column - shared.anchor.column);
}

SharedFormulaDeletion::SharedFormulaDeletion(std::string_view text, CellRef anchor, bool rows,
                                             int32_t first, int32_t count)
    : m_first(first), m_end(int64_t{first} + count) {
    const int32_t anchorAt = rows ? anchor.row : anchor.column;
    auto coordinate = [rows](const RefEnd& end) { return rows ? end.row : end.column; };
    auto absolute = [rows](const RefEnd& end) {
        return rows ? end.absoluteRow : end.absoluteColumn;
    };
    std::vector<int64_t> starts{m_first, m_end};
    forEachMovingReference(text, [&](const Reference& ref) {
        for (const RefEnd* end : {&ref.first, &ref.last}) {
            if (coordinate(*end) < 0 || absolute(*end)) {
                continue;
            }
            // The cell at p reads this part as p + distance.
            const int32_t distance = coordinate(*end) - anchorAt;
            m_relative.push_back(distance);
            starts.push_back(m_first - int64_t{distance});
            starts.push_back(m_end - distance);
        }
        // A range with one relative and one absolute end turns round where they cross.
        const RefEnd* relative = nullptr;
        const RefEnd* fixed = nullptr;
        for (const RefEnd* end : {&ref.first, &ref.last}) {
            if (coordinate(*end) >= 0) {
                (absolute(*end) ? fixed : relative) = end;
            }
        }
        if (relative && fixed) {
            const int64_t crossing =
                int64_t{coordinate(*fixed)} - (coordinate(*relative) - anchorAt);
            starts.push_back(crossing);
            starts.push_back(crossing + 1);
        }
    });
    std::sort(m_relative.begin(), m_relative.end());
    m_relative.erase(std::unique(m_relative.begin(), m_relative.end()), m_relative.end());
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    for (int64_t start : starts) {
        // Positions outside the sheet split nothing.
        if (start > 0 && start < kMaxRows) {
            m_runStarts.push_back(static_cast<int32_t>(start));
        }
    }
}

uint32_t SharedFormulaDeletion::runOf(int32_t position) const {
    return static_cast<uint32_t>(
        std::upper_bound(m_runStarts.begin(), m_runStarts.end(), position) - m_runStarts.begin());
}

bool SharedFormulaDeletion::touchesDeleted(int32_t position) const {
    // Some distance d with first <= position + d < end.
    auto it = std::lower_bound(m_relative.begin(), m_relative.end(), int64_t{m_first} - position);
    return it != m_relative.end() && int64_t{position} + *it < m_end;
}

}  // namespace plyfold::engine
