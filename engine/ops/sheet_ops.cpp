#include "engine/ops/sheet_ops.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "engine/common/error.h"
#include "engine/model/limits.h"
#include "engine/model/sheet.h"
#include "engine/model/workbook.h"
#include "engine/ops/autofit.h"
#include "engine/ops/date_serial.h"
#include "engine/ops/drawing_copy.h"
#include "engine/ops/formula_refs.h"
#include "engine/ops/notes_copy.h"
#include "engine/ops/number_format.h"
#include "engine/ops/shared_formula.h"
#include "engine/ops/sheet_rules_copy.h"
#include "engine/ops/sheet_settings_moves.h"
#include "engine/ops/table_copy.h"
#include "engine/ops/workbook_links.h"

namespace plyfold::engine {
namespace {

constexpr uint32_t kUnmapped = UINT32_MAX;

// Ids of one workbook's table mapped to another's, each source id worked out once. A table
// much larger than the work at hand (a big string pool, a small block) is mapped through a
// hash table instead of a vector as long as the pool.
class IdCache {
public:
    IdCache(size_t sourceSize, size_t expectedLookups)
        : m_dense(sourceSize <= expectedLookups * 4 + 4096) {
        if (m_dense) {
            m_slots.assign(sourceSize, kUnmapped);
        }
    }

    template <typename Make>
    uint32_t get(uint32_t id, Make&& make) {
        if (m_dense) {
            if (id >= m_slots.size()) {
                m_slots.resize(size_t{id} + 1, kUnmapped);
            }
            if (m_slots[id] == kUnmapped) {
                m_slots[id] = make(id);
            }
            return m_slots[id];
        }
        auto it = m_map.find(id);
        if (it == m_map.end()) {
            it = m_map.emplace(id, make(id)).first;
        }
        return it->second;
    }

private:
    bool m_dense;
    std::vector<uint32_t> m_slots;
    std::unordered_map<uint32_t, uint32_t> m_map;
};

auto rowLowerBound(std::vector<Row>& rows, int32_t index) {
    return std::lower_bound(rows.begin(), rows.end(), index,
                            [](const Row& r, int32_t i) { return r.index < i; });
}
auto rowLowerBound(const std::vector<Row>& rows, int32_t index) {
    return std::lower_bound(rows.begin(), rows.end(), index,
                            [](const Row& r, int32_t i) { return r.index < i; });
}
template <typename Cells>
auto cellLowerBound(Cells& cells, int32_t column) {
    return std::lower_bound(cells.begin(), cells.end(), column,
                            [](const Cell& c, int32_t col) { return c.column < col; });
}

bool intersects(const CellRange& a, const CellRange& b) {
    return a.first.row <= b.last.row && b.first.row <= a.last.row &&
           a.first.column <= b.last.column && b.first.column <= a.last.column;
}

bool containsRange(const CellRange& outer, const CellRange& inner) {
    return outer.contains(inner.first) && outer.contains(inner.last);
}

// The cells two intersecting ranges share.
CellRange intersection(const CellRange& a, const CellRange& b) {
    return {{std::max(a.first.row, b.first.row), std::max(a.first.column, b.first.column)},
            {std::min(a.last.row, b.last.row), std::min(a.last.column, b.last.column)}};
}

uint64_t cellKey(CellRef ref) {
    return (static_cast<uint64_t>(static_cast<uint32_t>(ref.row)) << 32) |
           static_cast<uint32_t>(ref.column);
}

// How a cell's number changes between date systems: +1462 days from a 1904 workbook to a
// 1900 one, -1462 the other way, applied only to numbers whose format shows a calendar date.
// A time of day or a duration ([h]:mm, mm:ss) means the same in both systems and is kept.
class DateShift {
public:
    DateShift(const Workbook& from, const Workbook& to)
        : m_from(from),
          m_days(from.isDate1904() == to.isDate1904() ? 0
                 : from.isDate1904()                  ? kDate1904Offset
                                                      : -kDate1904Offset) {}

    void apply(Cell& cell, uint32_t sourceStyle) {
        if (m_days == 0 || cell.type != CellType::Number) {
            return;
        }
        if (sourceStyle >= m_isDate.size()) {
            m_isDate.resize(m_from.styles().styleCount(), -1);
            if (sourceStyle >= m_isDate.size()) {
                return;
            }
        }
        int8_t& isDate = m_isDate[sourceStyle];
        if (isDate < 0) {
            const auto& styles = m_from.styles();
            isDate =
                isCalendarDateFormatCode(styles.formatCode(styles.style(sourceStyle).numberFormat))
                    ? 1
                    : 0;
        }
        if (isDate) {
            cell.value.number += m_days;
        }
    }

private:
    const Workbook& m_from;
    int32_t m_days;
    std::vector<int8_t> m_isDate;
};

// Formulas that refer to themselves compute only where the workbook iterates: a workbook that
// takes such cells in iterates too, as often and as finely as the strictest source asks.
void carryIterativeCalculation(const Workbook& from, Workbook& to) {
    const IterativeCalculation& source = from.iterativeCalculation();
    if (!source.enabled || &from == &to) {
        return;
    }
    IterativeCalculation carried = source;
    if (const IterativeCalculation& own = to.iterativeCalculation(); own.enabled) {
        carried.maxIterations = std::max(own.maxIterations, source.maxIterations);
        carried.maxChange = std::min(own.maxChange, source.maxChange);
    }
    to.setIterativeCalculation(carried);
}

size_t countRefErrors(std::string_view text) {
    size_t count = 0;
    for (size_t at = text.find("#REF!"); at != std::string_view::npos;
         at = text.find("#REF!", at + 1)) {
        ++count;
    }
    return count;
}

// Maps cells of one workbook into another: styles, texts, dates across date systems, and
// formulas, moved by the offset of a paste and then rewritten by a caller-given function that
// does not depend on where the cell is (a sheet's new name). A shared formula stays shared: a
// cell read at its new place from the same anchor reads its formula moved by the offset.
class CellMapper {
public:
    using FormulaRewrite = std::function<std::string(std::string_view)>;

    CellMapper(const Workbook& from, Workbook& to, size_t expectedCells, CellRef offset,
               FormulaRewrite rewrite, FormulaCarrier* carrier = nullptr)
        : m_carrier(carrier),
          m_from(from),
          m_to(to),
          m_same(&from == &to),
          m_offset(offset),
          m_styles(from.styles().styleCount(), expectedCells),
          m_strings(from.strings().size(), expectedCells),
          m_formulas(from.formulas().size(), expectedCells),
          m_sharedFormulas(from.sharedFormulaCount(), expectedCells),
          m_dates(from, to),
          m_rewrite(std::move(rewrite)) {}

    // The cell lands at `at`, which is where it was moved by the offset.
    void map(Cell& cell, CellRef at) {
        const uint32_t sourceStyle = validStyle(cell.style);
        cell.style = mapStyle(sourceStyle);
        if (!m_same) {
            if (cell.type == CellType::Text) {
                cell.value.text = m_strings.get(cell.value.text, [&](uint32_t id) {
                    return m_to.strings().intern(m_from.strings().text(id));
                });
            }
            if (cell.richText != 0) {
                cell.richText = mapRichText(cell.richText);
            }
        }
        m_dates.apply(cell, sourceStyle);
        if (m_carrier && cell.hasFormula()) {
            carryFormula(cell, at);
        } else if (cell.hasSharedFormula()) {
            mapSharedFormula(cell, at);
        } else if (cell.hasFormula() && namesTables(cell.formulaId())) {
            mapFormulaWithTables(cell, at);
        } else if (cell.hasFormula()) {
            cell.formula = m_formulas.get(cell.formulaId(), [&](uint32_t id) {
                std::string text =
                    shiftFormula(m_from.formulas().text(id), m_offset.row, m_offset.column);
                return m_to.formulas().intern(m_rewrite ? m_rewrite(text) : text);
            }) + 1;
        }
    }

    // Structured references are rewritten as the policy says; it outlives the mapper.
    uint32_t mapRichText(uint32_t richText) {
        if (!m_richTexts) {
            m_richTexts.emplace(m_from, m_to);
        }
        return m_richTexts->carry(richText);
    }

    void setTableReferences(TableRefPolicy* policy, size_t expectedCells) {
        m_tables = policy;
        m_namesTables.emplace(m_from.formulas().size(), expectedCells);
        m_sharedNamesTables.emplace(m_from.sharedFormulaCount(), expectedCells);
    }

    // The source cells being mapped, for a carrier: shared formulas whose anchor lies outside
    // it cannot move with the block.
    void setBlock(const CellRange& block) { m_block = block; }
    // The block's columns land apart (a rearranged paste): only cells below a shared
    // formula's anchor, in its column, read the same references relative to where they land.
    void setRearranged() { m_rearranged = true; }

    uint32_t mapStyle(uint32_t style) {
        style = validStyle(style);
        return m_same ? style : m_styles.get(style, [&](uint32_t id) {
            return m_to.styles().importStyle(m_from.styles(), id);
        });
    }

private:
    // An id the source's table does not have stands for its default format.
    uint32_t validStyle(uint32_t style) const {
        return style < m_from.styles().styleCount() ? style : 0;
    }

    // Whether the source's formula holds a structured reference, found once a formula.
    bool namesTables(uint32_t formulaId) {
        return m_tables && m_namesTables->get(formulaId, [&](uint32_t id) {
            return holdsStructuredReference(m_from.formulas().text(id)) ? 1u : 0u;
        }) != 0;
    }

    // Whether the formula of the cell, its own or its group's, holds a structured reference.
    bool cellNamesTables(const Cell& cell) {
        if (!cell.hasSharedFormula()) {
            return namesTables(cell.formulaId());
        }
        return m_sharedNamesTables->get(cell.formulaId(), [&](uint32_t id) {
            const uint32_t text = m_from.sharedFormula(id).text;
            return holdsStructuredReference(m_from.formulas().text(text)) ? 1u : 0u;
        }) != 0;
    }

    // Into another workbook, a formula naming a table reads the table's cells through
    // ordinary references, made cell by cell (This Row, a reference without a table name)
    // where the cells stood, and is then carried like any other formula.
    void carryFormulaWithTables(Cell& cell, CellRef at) {
        const CellRef source{at.row - m_offset.row, at.column - m_offset.column};
        std::string text = cellFormula(m_from, cell, source);
        if (!m_carrier->movesLocalReferences()) {
            text = shiftFormula(text, m_offset.row, m_offset.column);
        }
        text = formulaWithTableReferences(text, *m_tables,
                                          FormulaSite{.cell = source, .readRow = source.row});
        cell.flags = static_cast<uint8_t>(cell.flags & ~kSharedFormula);
        cell.formula = m_to.formulas().intern(m_carrier->carry(text)) + 1;
    }

    // A formula naming a table can read differently in each cell (This Row, a reference
    // without a table name), so it is mapped cell by cell.
    void mapFormulaWithTables(Cell& cell, CellRef at) {
        const CellRef source{at.row - m_offset.row, at.column - m_offset.column};
        std::string text =
            shiftFormula(m_from.formulas().text(cell.formulaId()), m_offset.row, m_offset.column);
        text = formulaWithTableReferences(text, *m_tables,
                                          FormulaSite{.cell = source, .readRow = source.row});
        cell.formula = m_to.formulas().intern(m_rewrite ? m_rewrite(text) : text) + 1;
    }

    // The text of a shared formula as its anchor reads it, its structured references
    // rewritten: the cells read it moved from the anchor, so a This Row reference is written
    // relative to the row the anchor stands for.
    std::string withTables(std::string_view text, CellRef anchor) const {
        if (!m_tables || !holdsStructuredReference(text)) {
            return std::string(text);
        }
        return formulaWithTableReferences(
            text, *m_tables,
            FormulaSite{
                .cell = anchor, .readRow = anchor.row - m_offset.row, .checkThisRow = false});
    }

    // Into another workbook through the carrier: its references to other sheets become
    // external, and only the references to cells of the paste's own sheet move with it.
    void carryFormula(Cell& cell, CellRef at) {
        if (m_tables && cellNamesTables(cell)) {
            carryFormulaWithTables(cell, at);
            return;
        }
        const bool carrierMoves = m_carrier->movesLocalReferences();
        auto moved = [&](std::string_view text) {
            return carrierMoves ? m_carrier->carry(text)
                                : shiftLocalReferences(m_carrier->carry(text), m_offset.row,
                                                       m_offset.column);
        };
        if (!cell.hasSharedFormula()) {
            cell.formula = m_formulas.get(cell.formulaId(), [&](uint32_t id) {
                return m_to.formulas().intern(moved(m_from.formulas().text(id)));
            }) + 1;
            return;
        }
        const SharedFormula& source = m_from.sharedFormula(cell.formulaId());
        const CellRef sourceAt{at.row - m_offset.row, at.column - m_offset.column};
        if (carrierMoves) {
            // The carrier decides for each reference whether it moves with the block or reads
            // the source; the cells of the group that it decides alike for share one text.
            const uint32_t id = sharedForDecisions(cell.formulaId(), source, sourceAt);
            if (id != kUnmapped && m_to.sharedFormula(id).reach.contains(at)) {
                cell.formula = id + 1;
                return;
            }
        } else if (m_block.contains(source.anchor)) {
            // The group moves with its anchor; then every cell reads the group's formula at the
            // distance it did.
            const uint32_t id = m_sharedFormulas.get(cell.formulaId(), [&](uint32_t) {
                const CellRef anchor{source.anchor.row + m_offset.row,
                                     source.anchor.column + m_offset.column};
                const std::string carried = m_carrier->carry(m_from.formulas().text(source.text));
                const std::string text =
                    shiftLocalReferences(carried, m_offset.row, m_offset.column);
                // An anchor whose own references fall off the sheet cannot serve the others.
                if (countRefErrors(text) != countRefErrors(carried)) {
                    return kUnmapped;
                }
                return addSharedFormula(m_to, text, anchor);
            });
            if (id != kUnmapped && m_to.sharedFormula(id).reach.contains(at)) {
                cell.formula = id + 1;
                return;
            }
        }
        const std::string own = moved(cellFormula(m_from, cell, sourceAt));
        cell.flags = static_cast<uint8_t>(cell.flags & ~kSharedFormula);
        cell.formula = m_to.formulas().intern(own) + 1;
    }

    void mapSharedFormula(Cell& cell, CellRef at) {
        const uint32_t id = m_sharedFormulas.get(cell.formulaId(), [&](uint32_t from) {
            if (m_same && !m_rewrite && !m_tables) {
                return from;
            }
            const SharedFormula shared = m_from.sharedFormula(from);
            const std::string text = withTables(m_from.formulas().text(shared.text), shared.anchor);
            return addSharedFormula(m_to, m_rewrite ? m_rewrite(text) : text, shared.anchor);
        });
        const SharedFormula& shared = m_to.sharedFormula(id);
        if (shared.reach.contains(at)) {
            cell.formula = id + 1;
            return;
        }
        // There a reference of the formula would leave the sheet: the cell gets a text of its
        // own, with #REF! in its place.
        const std::string text =
            shiftFormula(m_to.formulas().text(shared.text), at.row - shared.anchor.row,
                         at.column - shared.anchor.column);
        cell.flags = static_cast<uint8_t>(cell.flags & ~kSharedFormula);
        cell.formula = m_to.formulas().intern(text) + 1;
    }

    // The target's shared formula for the cells of source shared formula `from` for which the
    // carrier decides as it does for the cell at sourceAt; kUnmapped where they cannot share
    // one (its anchor would land off the sheet, or a reference off it).
    uint32_t sharedForDecisions(uint32_t from, const SharedFormula& source, CellRef sourceAt) {
        if (m_rearranged && sourceAt.column != source.anchor.column) {
            return kUnmapped;
        }
        auto [boxes, added] = m_sharedBoxes.try_emplace(from);
        if (added) {
            boxes->second = m_carrier->blockBoxes(m_from.formulas().text(source.text));
        }
        if (boxes->second.size() > 64) {
            return kUnmapped;
        }
        uint64_t signature = 0;
        const int64_t rows = sourceAt.row - source.anchor.row;
        const int64_t columns = sourceAt.column - source.anchor.column;
        for (size_t i = 0; i < boxes->second.size(); ++i) {
            if (boxes->second[i].contains(rows, columns)) {
                signature |= uint64_t{1} << i;
            }
        }
        auto [found, isNew] = m_sharedByDecisions.try_emplace({from, signature}, kUnmapped);
        if (!isNew) {
            return found->second;
        }
        const CellRef anchor{source.anchor.row + m_offset.row,
                             source.anchor.column + m_offset.column};
        if (anchor.row < 0 || anchor.column < 0 || anchor.row >= kMaxRows ||
            anchor.column >= kMaxColumns) {
            return kUnmapped;
        }
        std::vector<bool> inside(boxes->second.size());
        for (size_t i = 0; i < inside.size(); ++i) {
            inside[i] = (signature >> i & 1) != 0;
        }
        const std::string_view original = m_from.formulas().text(source.text);
        const std::string text = m_carrier->carryDeciding(original, inside);
        // A reference moved off the sheet at the anchor cannot serve the others.
        if (countRefErrors(text) != countRefErrors(original)) {
            return kUnmapped;
        }
        found->second = addSharedFormula(m_to, text, anchor);
        return found->second;
    }

    FormulaCarrier* m_carrier;
    CellRange m_block{{0, 0}, {kMaxRows - 1, kMaxColumns - 1}};
    bool m_rearranged = false;
    std::unordered_map<uint32_t, std::vector<DistanceBox>> m_sharedBoxes;  // by source id
    // (source id, decisions) -> target id
    std::map<std::pair<uint32_t, uint64_t>, uint32_t> m_sharedByDecisions;
    const Workbook& m_from;
    Workbook& m_to;
    bool m_same;
    CellRef m_offset;
    IdCache m_styles;
    IdCache m_strings;
    IdCache m_formulas;
    IdCache m_sharedFormulas;
    DateShift m_dates;
    FormulaRewrite m_rewrite;
    TableRefPolicy* m_tables = nullptr;
    std::optional<RichTextCarrier> m_richTexts;
    std::optional<IdCache> m_namesTables;
    std::optional<IdCache> m_sharedNamesTables;
};

// The cells of the block's rows [rowsBegin, rowsEnd) mapped to where they land, into block.
template <typename RowIt>
void mapBlock(RowIt rowsBegin, RowIt rowsEnd, const CellRange& range, int32_t rowOffset,
              int32_t columnOffset, const std::unordered_set<uint64_t>& movedAnchors,
              CellMapper& mapper, std::vector<Row>& block) {
    for (auto it = rowsBegin; it != rowsEnd; ++it) {
        auto from = cellLowerBound(it->cells, range.first.column);
        auto to = cellLowerBound(it->cells, range.last.column + 1);
        if (from == to) {
            continue;
        }
        Row row;
        row.index = it->index + rowOffset;
        row.cells.reserve(static_cast<size_t>(to - from));
        for (auto cellIt = from; cellIt != to; ++cellIt) {
            Cell cell = *cellIt;
            if ((cell.flags & kArrayFormula) &&
                !movedAnchors.count(cellKey({it->index, cell.column}))) {
                cell.flags = static_cast<uint8_t>(cell.flags & ~kArrayFormula);
                cell.formula = 0;
            }
            cell.column = static_cast<uint16_t>(cell.column + columnOffset);
            mapper.map(cell, CellRef{row.index, cell.column});
            row.cells.push_back(cell);
        }
        block.push_back(std::move(row));
    }
}

void checkBlockFits(const CellRange& range, CellRef topLeft, const Sheet& target) {
    if (topLeft.row < 0 || topLeft.column < 0) {
        throw SpreadsheetError(ErrorNumber::ApplicationDefined,
                               "A block cannot be pasted before the first row or column of the "
                               "sheet '" +
                                   target.name() + "'.");
    }
    const bool pastLastRow = int64_t{topLeft.row} + range.rowCount() > kMaxRows;
    const bool pastLastColumn = int64_t{topLeft.column} + range.columnCount() > kMaxColumns;
    if (!pastLastRow && !pastLastColumn) {
        return;
    }
    const std::string where = topLeft.row < kMaxRows && topLeft.column < kMaxColumns
                                  ? "cell " + cellName(topLeft)
                                  : "row " + std::to_string(int64_t{topLeft.row} + 1) +
                                        ", column " + std::to_string(int64_t{topLeft.column} + 1);
    const std::string limit = pastLastRow ? "the last row (" + std::to_string(kMaxRows) + ")"
                                          : "the last column (" + columnName(kMaxColumns - 1) + ")";
    throw SpreadsheetError(ErrorNumber::ApplicationDefined,
                           "The copied block of " + std::to_string(range.rowCount()) +
                               " rows and " + std::to_string(range.columnCount()) +
                               " columns does not fit at " + where + " of the sheet '" +
                               target.name() + "': it would reach past " + limit + ".");
}

void checkRange(const CellRange& range, const Sheet& source) {
    if (range.first.row < 0 || range.first.column < 0 || range.last.row >= kMaxRows ||
        range.last.column >= kMaxColumns || range.last.row < range.first.row ||
        range.last.column < range.first.column) {
        throw SpreadsheetError(ErrorNumber::ApplicationDefined,
                               "The range to copy from the sheet '" + source.name() +
                                   "' is not a valid range of cells.");
    }
}

// Turns the anchor of an array formula into a plain value: used when part of the array is
// overwritten or deleted, since the formula would otherwise spill over the new contents.
void dropArrayFormulaAt(Sheet& sheet, CellRef anchor) {
    auto& rows = sheet.mutableRows();
    auto row = rowLowerBound(rows, anchor.row);
    if (row == rows.end() || row->index != anchor.row) {
        return;
    }
    auto cell = cellLowerBound(row->cells, anchor.column);
    if (cell != row->cells.end() && cell->column == anchor.column) {
        cell->formula = 0;
        cell->flags = static_cast<uint8_t>(cell->flags & ~kArrayFormula);
    }
}

void clearRectangle(Sheet& target, const CellRange& rect) {
    auto& rows = target.mutableRows();
    for (auto it = rowLowerBound(rows, rect.first.row);
         it != rows.end() && it->index <= rect.last.row; ++it) {
        auto& cells = it->cells;
        auto from = cellLowerBound(cells, rect.first.column);
        auto to = cellLowerBound(cells, rect.last.column + 1);
        cells.erase(from, to);
    }
    auto& merges = target.merges();
    merges.erase(std::remove_if(merges.begin(), merges.end(),
                                [&](const CellRange& m) { return intersects(m, rect); }),
                 merges.end());
    auto& arrays = target.arrayFormulas();
    std::vector<CellRef> orphanedAnchors;
    arrays.erase(std::remove_if(arrays.begin(), arrays.end(),
                                [&](const ArrayFormula& a) {
                                    if (!intersects(a.range, rect)) {
                                        return false;
                                    }
                                    if (!rect.contains(a.range.first)) {
                                        orphanedAnchors.push_back(a.range.first);
                                    }
                                    return true;
                                }),
                 arrays.end());
    for (CellRef anchor : orphanedAnchors) {
        dropArrayFormulaAt(target, anchor);
    }
}

// Puts rows of a block (sorted, all within [first, last]) into the sheet, whose rows in that
// span hold no cells in the block's columns any more.
void insertBlockRows(std::vector<Row>& rows, std::vector<Row>&& block) {
    if (block.empty()) {
        return;
    }
    auto begin = rowLowerBound(rows, block.front().index);
    auto end = rowLowerBound(rows, block.back().index + 1);
    if (begin == end) {
        rows.insert(begin, std::make_move_iterator(block.begin()),
                    std::make_move_iterator(block.end()));
        return;
    }
    std::vector<Row> merged;
    merged.reserve(static_cast<size_t>(end - begin) + block.size());
    auto existing = begin;
    for (Row& row : block) {
        while (existing != end && existing->index < row.index) {
            merged.push_back(std::move(*existing++));
        }
        if (existing != end && existing->index == row.index) {
            Row joined = std::move(*existing++);
            auto at = cellLowerBound(joined.cells, row.cells.front().column);
            joined.cells.insert(at, row.cells.begin(), row.cells.end());
            merged.push_back(std::move(joined));
        } else {
            merged.push_back(std::move(row));
        }
    }
    while (existing != end) {
        merged.push_back(std::move(*existing++));
    }
    const auto offset = begin - rows.begin();
    rows.erase(begin, end);
    rows.insert(rows.begin() + offset, std::make_move_iterator(merged.begin()),
                std::make_move_iterator(merged.end()));
}

// A copy of the part of sheet that a paste from it to itself reads, taken before the
// target rectangle is cleared.
void copyBlockInto(const Sheet& sheet, const CellRange& range, Sheet& copy) {
    const auto& rows = sheet.rows();
    for (auto it = rowLowerBound(rows, range.first.row);
         it != rows.end() && it->index <= range.last.row; ++it) {
        auto from = cellLowerBound(it->cells, range.first.column);
        auto to = cellLowerBound(it->cells, range.last.column + 1);
        if (from != to) {
            copy.appendRow(it->index).cells.assign(from, to);
        }
    }
    copy.merges() = sheet.merges();
    copy.arrayFormulas() = sheet.arrayFormulas();
    copy.conditionalFormats() = sheet.conditionalFormats();
    copy.dataValidations() = sheet.dataValidations();
    copy.hyperlinks() = sheet.hyperlinks();
    copy.comments() = sheet.comments();
    copy.drawings() = sheet.drawings();
    copy.columns() = sheet.columns();
    copy.fitFloors() = sheet.fitFloors();
    copy.setDefaultColumnWidth(sheet.defaultColumnWidth());
}

// The width a column of source shows its cells in: its own, or the sheet's default.
double shownWidth(const Sheet& source, int32_t column) {
    const double width = source.columnWidth(column);
    return width > 0 ? width : source.defaultColumnWidth();
}

// For each column of the block holding formulas whose results are not known yet, the target
// column they land in keeps the source column's width as its fit floor: fitting it to what it
// shows now would leave too little room for the results once computed.
void carryFitFloors(const Sheet& source, const CellRange& range, Sheet& target,
                    int32_t columnOffset) {
    const Workbook& book = source.workbook();
    std::vector<bool> awaiting(static_cast<size_t>(range.columnCount()), false);
    bool any = false;
    const auto& rows = source.rows();
    for (auto it = rowLowerBound(rows, range.first.row);
         it != rows.end() && it->index <= range.last.row; ++it) {
        for (auto cell = cellLowerBound(it->cells, range.first.column);
             cell != it->cells.end() && cell->column <= range.last.column; ++cell) {
            if (awaitsItsResult(book, *cell)) {
                awaiting[static_cast<size_t>(cell->column - range.first.column)] = true;
                any = true;
            }
        }
    }
    if (!any) {
        return;
    }
    // Widths count digits of each workbook's default font: the floor is the same room in the
    // target's digits.
    const double digitRatio =
        &book == &target.workbook()
            ? 1.0
            : textWidthInDigits("0", book.styles().font(0), target.workbook().styles().font(0));
    for (size_t i = 0; i < awaiting.size(); ++i) {
        if (!awaiting[i]) {
            continue;
        }
        const int32_t column = range.first.column + static_cast<int32_t>(i);
        double width = shownWidth(source, column);
        if (const auto floor = source.fitFloors().find(column); floor != source.fitFloors().end()) {
            width = std::max(width, floor->second);
        }
        target.raiseFitFloor(column + columnOffset, width * digitRatio);
    }
}

// Fit floors move with their columns when columns are deleted; those of deleted ones go.
void fitFloorsAfterDeletingColumns(Sheet& sheet, int32_t first, int32_t count) {
    std::map<int32_t, double> kept;
    for (const auto& [column, width] : sheet.fitFloors()) {
        if (column < first) {
            kept.emplace(column, width);
        } else if (int64_t{column} >= int64_t{first} + count) {
            kept.emplace(column - count, width);
        }
    }
    sheet.fitFloors().swap(kept);
}

// ---------------------------------------------------------------------------------------------
// Deleting rows and columns.

enum class Axis { Rows, Columns };

int32_t& low(CellRange& r, Axis axis) {
    return axis == Axis::Rows ? r.first.row : r.first.column;
}
int32_t& high(CellRange& r, Axis axis) {
    return axis == Axis::Rows ? r.last.row : r.last.column;
}

enum class SpanFate { Kept, Cut, Gone };

// Moves the span [lo, hi] for deleted lines [first, first + count).
SpanFate spanAfterDeleting(int32_t& lo, int32_t& hi, int32_t first, int32_t count) {
    const int64_t end = int64_t{first} + count;
    if (hi < first) {
        return SpanFate::Kept;
    }
    if (lo >= end) {
        lo -= count;
        hi -= count;
        return SpanFate::Kept;
    }
    if (lo >= first && hi < end) {
        return SpanFate::Gone;
    }
    const int32_t newLo = lo < first ? lo : first;
    const int32_t newHi = hi >= end ? hi - count : first - 1;
    lo = newLo;
    hi = newHi;
    return SpanFate::Cut;
}

void checkDeletion(const Sheet& sheet, int32_t first, int32_t count, Axis axis) {
    const int32_t limit = axis == Axis::Rows ? kMaxRows : kMaxColumns;
    if (first < 0 || count < 1 || int64_t{first} + count > limit) {
        const char* what = axis == Axis::Rows ? "rows" : "columns";
        throw SpreadsheetError(ErrorNumber::ApplicationDefined,
                               std::string("Cannot delete ") + std::to_string(count) + " " + what +
                                   " from " + std::to_string(int64_t{first} + 1) +
                                   " of the sheet '" + sheet.name() + "': they lie outside it.");
    }
}

void shrinkMergesAndArrays(Sheet& sheet, int32_t first, int32_t count, Axis axis) {
    auto& merges = sheet.merges();
    std::vector<CellRange> keptMerges;
    keptMerges.reserve(merges.size());
    for (CellRange merge : merges) {
        if (spanAfterDeleting(low(merge, axis), high(merge, axis), first, count) !=
                SpanFate::Gone &&
            merge.first != merge.last) {
            keptMerges.push_back(merge);
        }
    }
    merges.swap(keptMerges);

    // An array formula that loses part of its cells would compute into the wrong ones; its
    // remaining cells keep their values without the formula. Anchors are turned into values
    // before any cell moves.
    auto& arrays = sheet.arrayFormulas();
    std::vector<ArrayFormula> keptArrays;
    for (ArrayFormula array : arrays) {
        const CellRef anchor = array.range.first;
        const SpanFate fate =
            spanAfterDeleting(low(array.range, axis), high(array.range, axis), first, count);
        if (fate == SpanFate::Kept) {
            keptArrays.push_back(array);
        } else if (fate == SpanFate::Cut) {
            dropArrayFormulaAt(sheet, anchor);
        }
    }
    arrays.swap(keptArrays);
}

// A deletion of lines [first, first + count) of one sheet, as formulas see it.
struct Deletion {
    const Sheet& sheet;
    Axis axis;
    int32_t first;
    int32_t count;

    std::string rewrite(std::string_view formula, const SheetScope& scope) const {
        return axis == Axis::Rows ? formulaAfterDeletingRows(formula, first, count, scope)
                                  : formulaAfterDeletingColumns(formula, first, count, scope);
    }
};

// Updates the cells that share formulas after a deletion. The cells of one shared formula
// fall into runs (SharedFormulaDeletion) within which the formula changes alike relative to
// the cell; each run gets one shared formula, worked out from the first of its cells met (the
// formula it had, where nothing changed). In a run whose references point into the deleted
// lines only the cells of one row (or column) change alike: each such line gets its own.
class SharedFormulaUpdate {
public:
    SharedFormulaUpdate(Workbook& workbook, const Deletion& deletion)
        : m_workbook(workbook), m_deletion(deletion), m_runs(workbook.sharedFormulaCount()) {}

    // cell is at `at` now, on the edited sheet or not.
    void update(Cell& cell, CellRef at, const SheetScope& scope, bool onEdited) {
        const uint32_t id = cell.formulaId();
        if (id >= m_runs.size()) {
            return;  // made by this update
        }
        const SharedFormula shared = m_workbook.sharedFormula(id);
        const bool rows = m_deletion.axis == Axis::Rows;
        // Where the cell was before the deletion.
        CellRef before = at;
        int32_t& position = rows ? before.row : before.column;
        if (onEdited && position >= m_deletion.first) {
            position += m_deletion.count;
        }
        if (!m_runs[id]) {
            m_runs[id] = std::make_unique<SharedFormulaDeletion>(
                m_workbook.formulas().text(shared.text), shared.anchor, rows, m_deletion.first,
                m_deletion.count);
        }
        const SharedFormulaDeletion& runs = *m_runs[id];
        const bool byLine = runs.touchesDeleted(position);
        const uint64_t group = byLine ? static_cast<uint32_t>(position) : runs.runOf(position);
        const uint64_t key =
            uint64_t{id} << 32 | group << 2 | (byLine ? 2u : 0u) | (onEdited ? 1u : 0u);
        auto [found, added] = m_shared.try_emplace(key, kUnmapped);
        if (added) {
            found->second = sharedAfter(id, shared, before, at, scope);
        }
        if (m_workbook.sharedFormula(found->second).reach.contains(at)) {
            cell.formula = found->second + 1;
            return;
        }
        // Not expected: the cells of a run read their formulas within its reach.
        cell.flags = static_cast<uint8_t>(cell.flags & ~kSharedFormula);
        cell.formula = m_workbook.formulas().intern(ownText(shared, before, scope)) + 1;
    }

private:
    // The cell's formula after the deletion, worked out from what it read before.
    std::string ownText(const SharedFormula& shared, CellRef before, const SheetScope& scope) {
        return m_deletion.rewrite(
            shiftFormula(m_workbook.formulas().text(shared.text), before.row - shared.anchor.row,
                         before.column - shared.anchor.column),
            scope);
    }

    // The shared formula of the run of the cell that was at before and is at `at` now: its
    // anchor moved as the cell did, where the formula can be read from there.
    uint32_t sharedAfter(uint32_t id, const SharedFormula& shared, CellRef before, CellRef at,
                         const SheetScope& scope) {
        const std::string text = ownText(shared, before, scope);
        const CellRef anchor{shared.anchor.row + at.row - before.row,
                             shared.anchor.column + at.column - before.column};
        if (!formulaReach(text, at).contains(anchor)) {
            return addSharedFormula(m_workbook, text, at);
        }
        const std::string fromAnchor =
            shiftFormula(text, anchor.row - at.row, anchor.column - at.column);
        if (anchor == shared.anchor && fromAnchor == m_workbook.formulas().text(shared.text)) {
            return id;  // nothing changed for this run
        }
        return addSharedFormula(m_workbook, fromAnchor, anchor);
    }

    Workbook& m_workbook;
    const Deletion& m_deletion;
    std::vector<std::unique_ptr<SharedFormulaDeletion>> m_runs;  // by shared formula id
    // (id, run or line, on edited) -> new id
    std::unordered_map<uint64_t, uint32_t> m_shared;
};

// Rewrites the formulas of every sheet of the workbook after a deletion in one sheet. Each
// distinct formula text is rewritten once for the edited sheet and once for the others.
void updateFormulas(Workbook& workbook, const Deletion& deletion) {
    const Sheet& edited = deletion.sheet;
    // The rules of the other sheets (the edited sheet's moved with its lines), and charts'
    // series and titles, which follow the deletion like formulas of their sheets.
    for (int32_t s = 0; s < workbook.sheetCount(); ++s) {
        Sheet& sheet = workbook.sheet(s);
        const SheetScope scope{edited.name(), sheet.name()};
        const auto rewrite = [&](std::string_view text) { return deletion.rewrite(text, scope); };
        if (&sheet != &edited) {
            rewriteRuleFormulas(sheet, rewrite);
        }
        rewriteChartFormulas(sheet, rewrite);
    }
    StringPool& pool = workbook.formulas();
    const uint32_t poolSize = pool.size();
    if (poolSize == 0) {
        return;
    }
    std::vector<uint32_t> onEdited(poolSize, kUnmapped);
    std::vector<uint32_t> onOthers(poolSize, kUnmapped);
    SharedFormulaUpdate shared(workbook, deletion);
    for (int32_t s = 0; s < workbook.sheetCount(); ++s) {
        Sheet& sheet = workbook.sheet(s);
        const SheetScope scope{edited.name(), sheet.name()};
        const bool isEdited = &sheet == &edited;
        auto& cache = isEdited ? onEdited : onOthers;
        for (Row& row : sheet.mutableRows()) {
            for (Cell& cell : row.cells) {
                if (cell.hasSharedFormula()) {
                    shared.update(cell, CellRef{row.index, cell.column}, scope, isEdited);
                    continue;
                }
                if (!cell.hasFormula() || cell.formulaId() >= poolSize) {
                    continue;
                }
                uint32_t& mapped = cache[cell.formulaId()];
                if (mapped == kUnmapped) {
                    const std::string_view before = pool.text(cell.formulaId());
                    std::string after = deletion.rewrite(before, scope);
                    mapped = after == before ? cell.formulaId() : pool.intern(after);
                }
                cell.formula = mapped + 1;
            }
        }
        // Charts' series and titles follow the deletion like formulas of the sheet.
        rewriteChartFormulas(
            sheet, [&](std::string_view formula) { return deletion.rewrite(formula, scope); });
    }
}

// Every sheet's cells are needed before an edit that updates formulas workbook-wide; they
// are loaded first, so that a sheet that fails to load leaves the edit undone.
void loadAllSheets(Workbook& workbook) {
    for (int32_t s = 0; s < workbook.sheetCount(); ++s) {
        workbook.sheet(s).ensureLoaded();
    }
}

}  // namespace

namespace {

// A rearranged paste: the whole block pasted and where each of its columns lands.
struct ColumnPlacement {
    CellRange block;
    const std::vector<int32_t>* targetColumns;
};

// pasteBlock of range, one of the runs of a rearranged paste when placement is given.
void pasteCells(const Sheet& source, const CellRange& range, Sheet& target, CellRef topLeft,
                const ColumnPlacement* placement) {
    const int32_t rowOffset = topLeft.row - range.first.row;
    const int32_t columnOffset = topLeft.column - range.first.column;
    const CellRange rect{
        topLeft, {topLeft.row + range.rowCount() - 1, topLeft.column + range.columnCount() - 1}};

    const auto& sourceRows = source.rows();
    auto rowsBegin = rowLowerBound(sourceRows, range.first.row);
    auto rowsEnd = rowLowerBound(sourceRows, range.last.row + 1);

    // Array formulas wholly inside the block come along; an anchor of one that the block
    // cuts arrives as its value. An array entered over whole rows, columns or the sheet
    // reaches past any data: when the block holds all the source has within it, it comes
    // along cut to the block, where it computes what it did into the cells that come along.
    std::vector<ArrayFormula> movedArrays;
    std::unordered_set<uint64_t> movedAnchors;
    std::optional<CellRange> sourceUsed;
    for (const ArrayFormula& array : source.arrayFormulas()) {
        ArrayFormula moved = array;
        if (!containsRange(range, array.range)) {
            const bool toTheEdge =
                array.range.last.row == kMaxRows - 1 || array.range.last.column == kMaxColumns - 1;
            if (!toTheEdge || !range.contains(array.range.first)) {
                continue;
            }
            if (!sourceUsed) {
                sourceUsed = source.usedRange();
            }
            if (sourceUsed && intersects(array.range, *sourceUsed) &&
                !containsRange(range, intersection(array.range, *sourceUsed))) {
                continue;
            }
            moved.range = intersection(array.range, range);
        }
        movedArrays.push_back(moved);
        movedAnchors.insert(cellKey(array.range.first));
    }

    size_t expectedCells = 0;
    for (auto it = rowsBegin; it != rowsEnd; ++it) {
        expectedCells +=
            std::min<size_t>(it->cells.size(), static_cast<size_t>(range.columnCount()));
    }
    // The block's cells go into the target's memory before any is made.
    target.workbook().memory().charge(expectedCells * sizeof(Cell) +
                                      static_cast<size_t>(rowsEnd - rowsBegin) * sizeof(Row));
    // Into another workbook, references to other sheets become external ones and the names
    // the cells use come along.
    std::optional<FormulaCarrier> carrier;
    if (&source.workbook() != &target.workbook()) {
        carrier.emplace(source, target, FormulaCarrier::Mode::Paste);
        carrier->setPastedBlock(placement ? placement->block : range,
                                CellRef{rowOffset, columnOffset});
        if (placement) {
            carrier->setColumnPlacement(placement->targetColumns);
        }
    }
    CellMapper mapper(source.workbook(), target.workbook(), expectedCells,
                      CellRef{rowOffset, columnOffset}, nullptr, carrier ? &*carrier : nullptr);
    mapper.setBlock(range);
    if (placement) {
        mapper.setRearranged();
    }
    // The table objects stay behind in a paste; into another workbook their references
    // become ordinary ones, which the carrier then moves with the block or reads from the
    // source like any other reference (so they are made where the cells stood).
    std::optional<PastedTableReferences> tables;
    if (carrier) {
        tables.emplace(
            source, range,
            carrier->movesLocalReferences() ? CellRef{0, 0} : CellRef{rowOffset, columnOffset});
        mapper.setTableReferences(&*tables, expectedCells);
    }

    std::vector<Row> block;
    block.reserve(static_cast<size_t>(rowsEnd - rowsBegin));
    try {
        mapBlock(rowsBegin, rowsEnd, range, rowOffset, columnOffset, movedAnchors, mapper, block);
        if (carrier) {
            carrier->cacheValues(block);
        }
    } catch (...) {
        if (carrier) {
            carrier->undo();
        }
        throw;
    }

    clearRectangle(target, rect);
    insertBlockRows(target.mutableRows(), std::move(block));
    carryIterativeCalculation(source.workbook(), target.workbook());
    carryFitFloors(source, range, target, columnOffset);

    auto shifted = [&](CellRange r) {
        r.first.row += rowOffset;
        r.last.row += rowOffset;
        r.first.column += columnOffset;
        r.last.column += columnOffset;
        return r;
    };
    // Merged ranges are cut to the block so that they never reach over what lies beside it.
    for (const CellRange& merge : source.merges()) {
        if (!intersects(merge, range)) {
            continue;
        }
        CellRange clipped{{std::max(merge.first.row, range.first.row),
                           std::max(merge.first.column, range.first.column)},
                          {std::min(merge.last.row, range.last.row),
                           std::min(merge.last.column, range.last.column)}};
        if (clipped.first != clipped.last) {
            target.merges().push_back(shifted(clipped));
        }
    }
    for (ArrayFormula array : movedArrays) {
        array.range = shifted(array.range);
        target.arrayFormulas().push_back(array);
    }
    pasteSheetRules(source, range, target, topLeft, carrier ? &*carrier : nullptr);
    pasteNotes(source, range, target, topLeft);
    // Pictures, shapes and charts anchored in the block come along, after what the target
    // shows already.
    for (DrawingObject& object :
         pastedDrawings(source, range, target, CellRef{rowOffset, columnOffset},
                        carrier ? &*carrier : nullptr)) {
        target.drawings().push_back(std::move(object));
    }
}

}  // namespace

void pasteBlock(const Sheet& source, const CellRange& range, Sheet& target, CellRef topLeft) {
    checkRange(range, source);
    checkBlockFits(range, topLeft, target);
    if (&source == &target) {
        Sheet copy(source.workbook(), source.name(), source.kind());
        copyBlockInto(source, range, copy);
        pasteCells(copy, range, target, topLeft, nullptr);
        return;
    }
    pasteCells(source, range, target, topLeft, nullptr);
}

void pasteBlockRearranged(const Sheet& source, const CellRange& range, Sheet& target,
                          int32_t topRow, const std::vector<int32_t>& targetColumns) {
    checkRange(range, source);
    if (&source == &target || targetColumns.size() != static_cast<size_t>(range.columnCount())) {
        throw SpreadsheetError(ErrorNumber::ApplicationDefined,
                               "The columns of the block copied from the sheet '" + source.name() +
                                   "' cannot be placed as asked.");
    }
    // Each run of columns that stay side by side is one paste; a block whose columns all
    // keep their order is an ordinary one.
    const ColumnPlacement placement{range, &targetColumns};
    size_t start = 0;
    while (start < targetColumns.size()) {
        size_t end = start + 1;
        while (end < targetColumns.size() && targetColumns[end] == targetColumns[end - 1] + 1) {
            ++end;
        }
        const int32_t first = range.first.column + static_cast<int32_t>(start);
        const CellRange run{{range.first.row, first},
                            {range.last.row, first + static_cast<int32_t>(end - start) - 1}};
        const CellRef at{topRow, targetColumns[start]};
        checkBlockFits(run, at, target);
        pasteCells(source, run, target, at,
                   start == 0 && end == targetColumns.size() ? nullptr : &placement);
        start = end;
    }
}

void deleteRows(Sheet& sheet, int32_t first, int32_t count) {
    checkDeletion(sheet, first, count, Axis::Rows);
    Workbook& workbook = sheet.workbook();
    loadAllSheets(workbook);
    shrinkMergesAndArrays(sheet, first, count, Axis::Rows);
    deleteLinesFromRules(sheet, first, count, false, [&](std::string_view text) {
        return formulaAfterDeletingRows(text, first, count, {sheet.name(), sheet.name()});
    });
    settingsAfterDeletingRows(sheet.settings(), first, count);
    drawingsAfterDeleting(sheet, first, count, false);
    auto& rows = sheet.mutableRows();
    auto begin = rowLowerBound(rows, first);
    auto end = rowLowerBound(rows, first + count);
    auto next = rows.erase(begin, end);
    for (; next != rows.end(); ++next) {
        next->index -= count;
    }
    updateFormulas(workbook, Deletion{sheet, Axis::Rows, first, count});
    notesAfterDeletingLines(sheet, first, count, false);
}

void deleteColumns(Sheet& sheet, int32_t first, int32_t count) {
    checkDeletion(sheet, first, count, Axis::Columns);
    Workbook& workbook = sheet.workbook();
    loadAllSheets(workbook);
    shrinkMergesAndArrays(sheet, first, count, Axis::Columns);
    deleteLinesFromRules(sheet, first, count, true, [&](std::string_view text) {
        return formulaAfterDeletingColumns(text, first, count, {sheet.name(), sheet.name()});
    });
    settingsAfterDeletingColumns(sheet.settings(), first, count);
    drawingsAfterDeleting(sheet, first, count, true);
    for (Row& row : sheet.mutableRows()) {
        auto& cells = row.cells;
        auto begin = cellLowerBound(cells, first);
        auto end = cellLowerBound(cells, first + count);
        auto next = cells.erase(begin, end);
        for (; next != cells.end(); ++next) {
            next->column = static_cast<uint16_t>(next->column - count);
        }
    }
    std::vector<ColumnInfo> columns;
    for (ColumnInfo info : sheet.columns()) {
        if (spanAfterDeleting(info.first, info.last, first, count) != SpanFate::Gone) {
            columns.push_back(info);
        }
    }
    sheet.columns().swap(columns);
    fitFloorsAfterDeletingColumns(sheet, first, count);
    updateFormulas(workbook, Deletion{sheet, Axis::Columns, first, count});
    notesAfterDeletingLines(sheet, first, count, true);
}

Sheet& copySheet(const Sheet& source, Workbook& target, int32_t beforeIndex,
                 std::string_view wanted) {
    const auto& sourceRows = source.rows();
    std::string name = target.uniqueSheetName(wanted.empty() ? source.name() : wanted);
    Sheet& copy = target.insertSheet(beforeIndex, name, source.kind());
    // A copy that fails takes back the names and external books it added.
    const size_t namesBefore = target.definedNames().size();
    const size_t booksBefore = target.externalBooks().size();
    try {
        size_t cellCount = 0;
        for (const Row& row : sourceRows) {
            cellCount += row.cells.size();
        }
        // A copy that took another name still finds itself where its formulas name it.
        CellMapper::FormulaRewrite rewrite;
        if (name != source.name()) {
            rewrite = [&](std::string_view formula) {
                return formulaWithSheetRenamed(formula, source.name(), name);
            };
        }
        // Into another workbook, references to the source's other sheets become external ones,
        // and the names the sheet holds or its cells use come along.
        std::optional<FormulaCarrier> carrier;
        if (&source.workbook() != &target) {
            carrier.emplace(source, copy, FormulaCarrier::Mode::SheetCopy);
            rewrite = nullptr;
            carrier->carrySheetNames();
            if (!source.workbook().path().empty()) {
                copy.setOrigin(SheetOrigin{linkPath(source.workbook().path()), source.name()});
            } else if (source.origin()) {
                copy.setOrigin(source.origin());
            }
        } else {
            for (const DefinedName& defined : source.definedNames()) {
                DefinedName carried = defined;
                carried.formula = rewrite ? rewrite(defined.formula) : defined.formula;
                copy.definedNames().push_back(std::move(carried));
            }
        }
        target.memory().charge(cellCount * sizeof(Cell) + sourceRows.size() * sizeof(Row));
        CellMapper mapper(source.workbook(), target, cellCount, CellRef{0, 0}, rewrite,
                          carrier ? &*carrier : nullptr);
        // The sheet's tables come along under names free in the target.
        CopiedTableReferences tables(source, target);
        copy.mutableTables() = copiedTables(source, target, tables);
        if (rewrite || carrier) {
            for (Table& table : copy.mutableTables()) {
                for (TableColumn& column : table.columns) {
                    for (std::string* text :
                         {&column.calculatedColumnFormula, &column.totalsRowFormula}) {
                        if (!text->empty()) {
                            *text = carrier ? carrier->carry(*text) : rewrite(*text);
                        }
                    }
                }
            }
        }
        mapper.setTableReferences(&tables, cellCount);
        auto& rows = copy.mutableRows();
        rows.reserve(sourceRows.size());
        for (const Row& row : sourceRows) {
            rows.push_back(row);
            rows.back().style = mapper.mapStyle(row.style);
            for (Cell& cell : rows.back().cells) {
                mapper.map(cell, CellRef{row.index, cell.column});
            }
        }
        copy.columns() = source.columns();
        for (ColumnInfo& info : copy.columns()) {
            info.style = mapper.mapStyle(info.style);
        }
        copy.merges() = source.merges();
        copy.arrayFormulas() = source.arrayFormulas();
        if (carrier) {
            copySheetRules(source, copy,
                           [&](std::string_view text) { return carrier->carry(text); });
        } else {
            copySheetRules(source, copy, rewrite);
        }
        copySheetNotes(source, copy);
        copy.drawings() = copiedDrawings(source, [&](std::string_view formula) {
            if (carrier) {
                std::string carried = carrier->carry(formula);
                carrier->cacheValuesOf(carried);
                return carried;
            }
            return rewrite ? rewrite(formula) : std::string(formula);
        });
        copy.setDefaultColumnWidth(source.defaultColumnWidth());
        copy.fitFloors() = source.fitFloors();
        if (const auto used = source.usedRange()) {
            carryFitFloors(source, *used, copy, 0);
        }
        copy.setDefaultRowHeight(source.defaultRowHeight());
        copy.setSelectedCell(source.selectedCell());
        copy.setVisibility(source.visibility());
        // Views, print setup, protection and the autofilter: their ranges are the sheet's own
        // cells, which keep their places in a copy.
        copy.settings() = source.settings();
        if (carrier) {
            carrier->cacheValues(copy.rows());
        }
    } catch (...) {
        target.removeSheet(target.indexOf(copy));
        target.definedNames().resize(namesBefore);
        target.externalBooks().resize(booksBefore);
        throw;
    }
    carryIterativeCalculation(source.workbook(), target);
    return copy;
}

}  // namespace plyfold::engine
