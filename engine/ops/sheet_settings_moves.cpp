#include "engine/ops/sheet_settings_moves.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace plyfold::engine {
namespace {

struct Lines {
    bool rows;
    int32_t first;
    int32_t count;

    int64_t end() const { return int64_t{first} + count; }
    bool deleted(int32_t line) const { return line >= first && line < end(); }

    int32_t& of(CellRef& ref) const { return rows ? ref.row : ref.column; }

    // The span [lo, hi] after the deletion; false when all of it was deleted.
    bool span(int32_t& lo, int32_t& hi) const {
        if (hi < first) {
            return true;
        }
        if (lo >= end()) {
            lo -= count;
            hi -= count;
            return true;
        }
        if (lo >= first && hi < end()) {
            return false;
        }
        const int32_t newLo = lo < first ? lo : first;
        hi = hi >= end() ? hi - count : first - 1;
        lo = newLo;
        return true;
    }

    bool range(CellRange& range) const { return span(of(range.first), of(range.last)); }

    // A cell on a deleted line moves to the first line after them (now at first).
    void cell(CellRef& ref) const {
        int32_t& line = of(ref);
        if (line >= end()) {
            line -= count;
        } else if (line >= first) {
            line = first;
        }
    }
};

void moveAutoFilter(std::optional<AutoFilter>& filter, const Lines& lines) {
    if (!filter) {
        return;
    }
    const int32_t oldFirstColumn = filter->range.first.column;
    if (!lines.range(filter->range)) {
        filter.reset();
        return;
    }
    if (!lines.rows) {
        // Filter columns count from the range's first column: those of deleted columns go.
        std::vector<FilterColumn> kept;
        for (FilterColumn& column : filter->columns) {
            CellRef at{0, oldFirstColumn + column.column};
            if (lines.deleted(at.column)) {
                continue;
            }
            lines.cell(at);
            column.column = at.column - filter->range.first.column;
            kept.push_back(std::move(column));
        }
        filter->columns = std::move(kept);
    }
    if (filter->sortState) {
        SortState& state = *filter->sortState;
        if (!lines.range(state.range)) {
            filter->sortState.reset();
            return;
        }
        std::vector<SortCondition> kept;
        for (SortCondition& condition : state.conditions) {
            if (lines.range(condition.range)) {
                kept.push_back(condition);
            }
        }
        state.conditions = std::move(kept);
    }
}

void moveBreaks(std::vector<PageBreak>& breaks, const Lines& lines) {
    std::vector<PageBreak> kept;
    for (PageBreak pageBreak : breaks) {
        if (lines.deleted(pageBreak.line)) {
            continue;
        }
        if (pageBreak.line >= lines.end()) {
            pageBreak.line -= lines.count;
        }
        kept.push_back(pageBreak);
    }
    breaks = std::move(kept);
}

// Across the breaks of the other axis, the span they cross shrinks.
void moveBreakSpans(std::vector<PageBreak>& breaks, const Lines& lines) {
    for (PageBreak& pageBreak : breaks) {
        if (!lines.span(pageBreak.min, pageBreak.max)) {
            pageBreak.min = 0;
            pageBreak.max = 0;
        }
    }
}

void moveView(SheetView& view, const Lines& lines) {
    if (view.topLeftCell) {
        lines.cell(*view.topLeftCell);
    }
    if (view.pane) {
        Pane& pane = *view.pane;
        if (pane.state != PaneState::Split) {
            // The frozen lines are those before the split: deleting some of them freezes fewer.
            double& split = lines.rows ? pane.ySplit : pane.xSplit;
            const int64_t frozen = static_cast<int64_t>(std::llround(split));
            const int64_t overlap =
                std::max<int64_t>(0, std::min<int64_t>(frozen, lines.end()) - lines.first);
            split = static_cast<double>(frozen - overlap);
            if (pane.xSplit <= 0 && pane.ySplit <= 0) {
                view.pane.reset();
            }
        }
        if (view.pane && pane.topLeftCell) {
            lines.cell(*pane.topLeftCell);
        }
    }
    for (Selection& selection : view.selections) {
        if (selection.activeCell) {
            lines.cell(*selection.activeCell);
        }
        std::vector<CellRange> kept;
        for (CellRange range : selection.ranges) {
            if (lines.range(range)) {
                kept.push_back(range);
            }
        }
        if (kept.empty() && selection.activeCell) {
            kept.push_back(CellRange{*selection.activeCell, *selection.activeCell});
        }
        selection.ranges = std::move(kept);
    }
}

void settingsAfterDeleting(SheetSettings& settings, const Lines& lines) {
    moveAutoFilter(settings.autoFilter, lines);
    moveBreaks(lines.rows ? settings.rowBreaks : settings.columnBreaks, lines);
    moveBreakSpans(lines.rows ? settings.columnBreaks : settings.rowBreaks, lines);
    moveView(settings.view, lines);
}

}  // namespace

void settingsAfterDeletingRows(SheetSettings& settings, int32_t first, int32_t count) {
    settingsAfterDeleting(settings, Lines{true, first, count});
}

void settingsAfterDeletingColumns(SheetSettings& settings, int32_t first, int32_t count) {
    settingsAfterDeleting(settings, Lines{false, first, count});
}

}  // namespace plyfold::engine
