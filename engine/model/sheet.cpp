#include "engine/model/sheet.h"

#include <algorithm>

#include "engine/common/error.h"
#include "engine/common/memory_budget.h"
#include "engine/model/limits.h"
#include "engine/model/workbook.h"

namespace plyfold::engine {
namespace {

bool inSheet(CellRef ref) {
    return ref.row >= 0 && ref.row < kMaxRows && ref.column >= 0 && ref.column < kMaxColumns;
}

auto findRowIn(std::vector<Row>& rows, int32_t index) {
    return std::lower_bound(rows.begin(), rows.end(), index,
                            [](const Row& r, int32_t i) { return r.index < i; });
}

}  // namespace

Sheet::Sheet(Workbook& workbook, std::string name, SheetKind kind)
    : m_workbook(&workbook), m_name(std::move(name)), m_kind(kind) {}

void Sheet::ensureLoaded() const {
    if (!m_loader) {
        return;
    }
    Loader loader = m_loader;
    Sheet& self = const_cast<Sheet&>(*this);
    m_loadCounted = 0;
    m_lastRowUncounted = false;
    try {
        loader(self);
        if (m_lastRowUncounted) {
            m_lastRowUncounted = false;
            self.countRow(m_rows.back());
        }
    } catch (const MemoryLimitReached& reached) {
        self.abandonLoad();
        throw SpreadsheetError(ErrorNumber::OutOfMemory,
                               "'" + m_workbook->path() + "', sheet '" + m_name +
                                   "': reading it would take more than the " +
                                   memorySizeText(reached.limit()) +
                                   " of memory this merge may use.");
    } catch (...) {
        self.abandonLoad();
        throw;
    }
    m_loader = nullptr;
}

void Sheet::abandonLoad() {
    m_lastRowUncounted = false;
    m_rows.clear();
    m_rows.shrink_to_fit();
    m_workbook->memory().release(m_loadCounted);
    m_loadCounted = 0;
}

void Sheet::countLoaded(uint64_t bytes) {
    m_workbook->memory().charge(bytes);
    m_loadCounted += bytes;
}

void Sheet::countRow(const Row& row) {
    countLoaded(sizeof(Row) + row.cells.capacity() * sizeof(Cell));
}

const std::vector<Row>& Sheet::rows() const {
    ensureLoaded();
    return m_rows;
}

std::vector<Row>& Sheet::mutableRows() {
    ensureLoaded();
    return m_rows;
}

std::vector<Hyperlink>& Sheet::hyperlinks() {
    ensureLoaded();
    return m_hyperlinks;
}

const std::vector<Hyperlink>& Sheet::hyperlinks() const {
    ensureLoaded();
    return m_hyperlinks;
}

std::vector<Comment>& Sheet::comments() {
    ensureLoaded();
    return m_comments;
}

const std::vector<Comment>& Sheet::comments() const {
    ensureLoaded();
    return m_comments;
}

const Row* Sheet::findRow(int32_t index) const {
    auto& rows = const_cast<Sheet*>(this)->mutableRows();
    auto it = findRowIn(rows, index);
    return it != rows.end() && it->index == index ? &*it : nullptr;
}

Row& Sheet::rowAt(int32_t index) {
    auto& rows = mutableRows();
    if (!rows.empty() && rows.back().index < index) {
        rows.push_back(Row{index, 0.0f, false, false, 0, false, 0, {}});
        return rows.back();
    }
    auto it = findRowIn(rows, index);
    if (it != rows.end() && it->index == index) {
        return *it;
    }
    return *rows.insert(it, Row{index, 0.0f, false, false, 0, false, 0, {}});
}

Row& Sheet::appendRow(int32_t index) {
    if (m_rows.empty() || m_rows.back().index < index) {
        if (m_lastRowUncounted) {
            countRow(m_rows.back());
        }
        m_rows.push_back(Row{index, 0.0f, false, false, 0, false, 0, {}});
        m_lastRowUncounted = m_loader != nullptr;
        return m_rows.back();
    }
    return rowAt(index);
}

void Sheet::setLoadedRows(std::vector<Row> rows) {
    m_rows = std::move(rows);
    m_lastRowUncounted = false;
}

const Cell* Sheet::findCell(CellRef ref) const {
    const Row* row = findRow(ref.row);
    if (!row) {
        return nullptr;
    }
    auto it = std::lower_bound(row->cells.begin(), row->cells.end(), ref.column,
                               [](const Cell& c, int32_t col) { return c.column < col; });
    return it != row->cells.end() && it->column == ref.column ? &*it : nullptr;
}

Cell& Sheet::cellAt(CellRef ref) {
    if (!inSheet(ref)) {
        throw SpreadsheetError(ErrorNumber::ApplicationDefined,
                               "Cell " + std::to_string(ref.row + 1) + "," +
                                   std::to_string(ref.column + 1) + " lies outside the sheet '" +
                                   m_name + "'.");
    }
    Row& row = rowAt(ref.row);
    auto& cells = row.cells;
    if (cells.empty() || cells.back().column < ref.column) {
        Cell cell;
        cell.column = static_cast<uint16_t>(ref.column);
        cells.push_back(cell);
        return cells.back();
    }
    auto it = std::lower_bound(cells.begin(), cells.end(), ref.column,
                               [](const Cell& c, int32_t col) { return c.column < col; });
    if (it != cells.end() && it->column == ref.column) {
        return *it;
    }
    Cell cell;
    cell.column = static_cast<uint16_t>(ref.column);
    return *cells.insert(it, cell);
}

void Sheet::eraseCell(CellRef ref) {
    auto& rows = mutableRows();
    auto rowIt = findRowIn(rows, ref.row);
    if (rowIt == rows.end() || rowIt->index != ref.row) {
        return;
    }
    auto& cells = rowIt->cells;
    auto it = std::lower_bound(cells.begin(), cells.end(), ref.column,
                               [](const Cell& c, int32_t col) { return c.column < col; });
    if (it != cells.end() && it->column == ref.column) {
        cells.erase(it);
    }
}

std::optional<CellRange> Sheet::usedRange() const {
    const auto& rows = this->rows();
    std::optional<CellRange> used;
    for (const Row& row : rows) {
        if (row.cells.empty()) {
            continue;
        }
        int32_t first = row.cells.front().column;
        int32_t last = row.cells.back().column;
        if (!used) {
            used = CellRange{{row.index, first}, {row.index, last}};
        } else {
            used->first.column = std::min(used->first.column, first);
            used->last.column = std::max(used->last.column, last);
            used->last.row = row.index;
        }
    }
    return used;
}

std::optional<int32_t> Sheet::lastUsedRow() const {
    const auto& rows = this->rows();
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
        if (!row->cells.empty()) {
            return row->index;
        }
    }
    return std::nullopt;
}

std::optional<int32_t> Sheet::lastUsedColumn() const {
    std::optional<int32_t> last;
    for (const Row& row : rows()) {
        if (!row.cells.empty()) {
            last = std::max<int32_t>(last.value_or(0), row.cells.back().column);
        }
    }
    return last;
}

size_t Sheet::cellCount() const {
    size_t n = 0;
    for (const Row& row : rows()) {
        n += row.cells.size();
    }
    return n;
}

void Sheet::compactRows() {
    auto& rows = mutableRows();
    rows.erase(std::remove_if(rows.begin(), rows.end(),
                              [](const Row& r) { return r.cells.empty() && !r.hasOwnFormat(); }),
               rows.end());
}

double Sheet::columnWidth(int32_t column) const {
    for (const ColumnInfo& info : m_columns) {
        if (column >= info.first && column <= info.last) {
            return info.width;
        }
    }
    return 0.0;
}

void Sheet::raiseFitFloor(int32_t column, double width) {
    double& floor = m_fitFloors[column];
    floor = std::max(floor, width);
}

void Sheet::setColumnWidth(int32_t column, double width) {
    // Split the run that holds the column so the column gets a run of its own.
    std::vector<ColumnInfo> result;
    result.reserve(m_columns.size() + 2);
    bool placed = false;
    for (const ColumnInfo& info : m_columns) {
        if (column < info.first || column > info.last) {
            if (!placed && info.first > column) {
                result.push_back(ColumnInfo{column, column, width, false, true, 0});
                placed = true;
            }
            result.push_back(info);
            continue;
        }
        if (info.first < column) {
            ColumnInfo before = info;
            before.last = column - 1;
            result.push_back(before);
        }
        ColumnInfo self = info;
        self.first = self.last = column;
        self.width = width;
        self.customWidth = true;
        result.push_back(self);
        placed = true;
        if (info.last > column) {
            ColumnInfo after = info;
            after.first = column + 1;
            result.push_back(after);
        }
    }
    if (!placed) {
        result.push_back(ColumnInfo{column, column, width, false, true, 0});
    }
    m_columns.swap(result);
}

const std::vector<Table>& Sheet::tables() const {
    if (m_tableLoader) {
        // A loader that fails stays, so that the next look fails the same way.
        Loader loader = m_tableLoader;
        loader(const_cast<Sheet&>(*this));
        m_tableLoader = nullptr;
    }
    return m_tables;
}

std::vector<Table>& Sheet::mutableTables() {
    tables();
    return m_tables;
}

}  // namespace plyfold::engine
