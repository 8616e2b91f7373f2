#include "engine/ops/workbook_links.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <functional>
#include <unordered_map>
#include <utility>

#include "engine/common/text.h"
#include "engine/model/limits.h"
#include "engine/model/sheet.h"
#include "engine/model/workbook.h"
#include "engine/ops/drawing_copy.h"
#include "engine/ops/formula_lexer.h"
#include "engine/ops/formula_refs.h"
#include "engine/ops/notes_copy.h"
#include "engine/ops/shared_formula.h"
#include "engine/ops/sheet_rules_copy.h"

namespace plyfold::engine {
namespace {

using formula::Reference;
using formula::RefKind;

const Sheet* findSheetIn(const Workbook& book, std::string_view name) {
    for (int32_t i = 0; i < book.sheetCount(); ++i) {
        if (equalsIgnoringAsciiCase(book.sheet(i).name(), name)) {
            return &book.sheet(i);
        }
    }
    return nullptr;
}

std::string quotedWhole(std::string_view content) {
    std::string quoted = "'";
    for (char c : content) {
        quoted.push_back(c);
        if (c == '\'') {
            quoted.push_back('\'');
        }
    }
    quoted += "'";
    return quoted;
}

bool isPlainSheetName(std::string_view name) {
    return formula::quotedSheetName(name) == name;
}

// "Sales", "'My Data'", "Jan:Mar", "'Jan 1:Mar'".
std::string localSheetPrefix(std::string_view firstSheet, std::string_view lastSheet) {
    if (lastSheet.empty()) {
        return formula::quotedSheetName(firstSheet);
    }
    const std::string both = std::string(firstSheet) + ":" + std::string(lastSheet);
    return isPlainSheetName(firstSheet) && isPlainSheetName(lastSheet) ? both : quotedWhole(both);
}

// The cells a reference reads, clipped to the sheet; nullopt for a name, an error or a
// structured reference (a paste makes those ordinary references before carrying them).
std::optional<CellRange> cellsRead(const Reference& ref) {
    CellRange range;
    switch (ref.kind) {
        case RefKind::Cell:
        case RefKind::Area:
            range = {{std::min(ref.first.row, ref.last.row),
                      std::min(ref.first.column, ref.last.column)},
                     {std::max(ref.first.row, ref.last.row),
                      std::max(ref.first.column, ref.last.column)}};
            break;
        case RefKind::Columns:
            range = {{0, std::min(ref.first.column, ref.last.column)},
                     {kMaxRows - 1, std::max(ref.first.column, ref.last.column)}};
            break;
        case RefKind::Rows:
            range = {{std::min(ref.first.row, ref.last.row), 0},
                     {std::max(ref.first.row, ref.last.row), kMaxColumns - 1}};
            break;
        case RefKind::Error:
        case RefKind::Name:
        case RefKind::Structured:
            return std::nullopt;
    }
    return range;
}

ExternalValue externalValue(const Workbook& book, const Cell& cell) {
    ExternalValue value;
    value.type = cell.type;
    switch (cell.type) {
        case CellType::Number:
            value.number = cell.value.number;
            break;
        case CellType::Boolean:
            value.number = cell.value.boolean ? 1.0 : 0.0;
            break;
        case CellType::Error:
            value.error = cell.value.error;
            break;
        case CellType::Text:
            value.text = std::string(book.strings().text(cell.value.text));
            break;
        case CellType::Blank:
            break;
    }
    return value;
}

// Applies fn to every formula of the workbook: the cells' own formulas, the shared ones and
// the defined names. fn gives the text back unchanged where nothing changes.
void rewriteAllFormulas(Workbook& workbook,
                        const std::function<std::string(std::string_view)>& fn) {
    StringPool& pool = workbook.formulas();
    std::vector<uint32_t> mapped(pool.size(), UINT32_MAX);
    auto remap = [&](uint32_t id) {
        if (id >= mapped.size()) {
            return id;
        }
        if (mapped[id] == UINT32_MAX) {
            const std::string before(pool.text(id));
            const std::string after = fn(before);
            mapped[id] = after == before ? id : pool.intern(after);
        }
        return mapped[id];
    };
    for (int32_t s = 0; s < workbook.sheetCount(); ++s) {
        Sheet& sheet = workbook.sheet(s);
        for (Row& row : sheet.mutableRows()) {
            for (Cell& cell : row.cells) {
                if (cell.hasFormula() && !cell.hasSharedFormula()) {
                    cell.formula = remap(cell.formulaId()) + 1;
                }
            }
        }
        for (DefinedName& name : sheet.definedNames()) {
            name.formula = fn(name.formula);
        }
        rewriteRuleFormulas(sheet, fn);
        rewriteChartFormulas(sheet, fn);
    }
    for (uint32_t id = 0; id < workbook.sharedFormulaCount(); ++id) {
        workbook.setSharedFormulaText(id, remap(workbook.sharedFormula(id).text));
    }
    for (DefinedName& name : workbook.definedNames()) {
        name.formula = fn(name.formula);
    }
}

// Drops the external books no formula reads and numbers the others anew.
void dropUnusedBooks(Workbook& workbook) {
    auto& books = workbook.externalBooks();
    if (books.empty()) {
        return;
    }
    std::vector<bool> used(books.size(), false);
    rewriteAllFormulas(workbook, [&](std::string_view text) {
        if (text.find('[') != std::string_view::npos) {
            rewriteFormulaReferences(text, [&](const Reference& ref, std::string&) {
                if (ref.external && ref.externalIndex >= 1 &&
                    static_cast<size_t>(ref.externalIndex) <= used.size()) {
                    used[static_cast<size_t>(ref.externalIndex - 1)] = true;
                }
                return false;
            });
        }
        return std::string(text);
    });
    std::vector<int32_t> newIndex(books.size(), -1);
    int32_t next = 0;
    for (size_t i = 0; i < books.size(); ++i) {
        if (used[i]) {
            newIndex[i] = next++;
        }
    }
    if (next == static_cast<int32_t>(books.size())) {
        return;
    }
    rewriteAllFormulas(workbook, [&](std::string_view text) {
        if (text.find('[') == std::string_view::npos) {
            return std::string(text);
        }
        return rewriteFormulaReferences(text, [&](const Reference& ref, std::string& out) {
            if (!ref.external || ref.externalIndex < 1 ||
                static_cast<size_t>(ref.externalIndex) > newIndex.size() ||
                newIndex[static_cast<size_t>(ref.externalIndex - 1)] + 1 == ref.externalIndex) {
                return false;
            }
            out += externalSheetPrefix(newIndex[static_cast<size_t>(ref.externalIndex - 1)],
                                       ref.firstSheet, ref.lastSheet);
            out += "!";
            out += ref.body;
            return true;
        });
    });
    std::vector<ExternalBook> kept;
    for (size_t i = 0; i < books.size(); ++i) {
        if (used[i]) {
            kept.push_back(std::move(books[i]));
        }
    }
    books = std::move(kept);
}

}  // namespace

std::string formulaWithMissingBooksAsRef(std::string_view text, size_t bookCount) {
    if (text.find('[') == std::string_view::npos) {
        return std::string(text);
    }
    return rewriteFormulaReferences(text, [&](const Reference& ref, std::string& out) {
        if (!ref.external ||
            (ref.externalIndex >= 1 && static_cast<size_t>(ref.externalIndex) <= bookCount)) {
            return false;
        }
        out += "#REF!";
        return true;
    });
}

std::string linkPath(std::string_view path) {
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(std::filesystem::path(path), error);
    if (error) {
        return std::string(path);
    }
    return absolute.lexically_normal().string();
}

std::string externalSheetPrefix(int32_t bookIndex, std::string_view firstSheet,
                                std::string_view lastSheet) {
    std::string content = "[" + std::to_string(bookIndex + 1) + "]";
    content += firstSheet;
    if (!lastSheet.empty()) {
        content += ":";
        content += lastSheet;
    }
    const bool plain =
        isPlainSheetName(firstSheet) && (lastSheet.empty() || isPlainSheetName(lastSheet));
    return plain ? content : quotedWhole(content);
}

FormulaCarrier::FormulaCarrier(const Sheet& source, Sheet& target, Mode mode)
    : m_source(source),
      m_sourceBook(source.workbook()),
      m_target(target),
      m_targetBook(target.workbook()),
      m_mode(mode),
      m_namesBefore(m_targetBook.definedNames().size()),
      m_booksBefore(m_targetBook.externalBooks().size()),
      m_sheetNamesBefore(target.definedNames().size()) {}

void FormulaCarrier::undo() {
    m_targetBook.definedNames().resize(m_namesBefore);
    m_targetBook.externalBooks().resize(m_booksBefore);
    m_target.definedNames().resize(m_sheetNamesBefore);
}

void FormulaCarrier::setPastedBlock(const CellRange& block, CellRef offset) {
    m_block = block;
    m_offset = offset;
}

void FormulaCarrier::setColumnPlacement(const std::vector<int32_t>* targetColumns) {
    m_targetColumns = targetColumns;
}

// Where a column of the pasted block lands; nothing for a column outside it.
std::optional<int32_t> FormulaCarrier::placedColumn(int32_t column) const {
    if (!m_targetColumns) {
        return column + m_offset.column;
    }
    const int64_t index = int64_t{column} - m_block->first.column;
    if (index < 0 || index >= static_cast<int64_t>(m_targetColumns->size())) {
        return std::nullopt;
    }
    return (*m_targetColumns)[static_cast<size_t>(index)];
}

// Writes a reference that reads only cells of the block as it reads where they land; false
// when its cells do not land as one range of the same shape.
bool FormulaCarrier::moveWithBlock(const Reference& ref, std::string& out) const {
    formula::RefEnd first = ref.first;
    formula::RefEnd last = ref.last;
    if (m_targetColumns && first.column >= 0) {
        for (int32_t c = first.column; c < last.column; ++c) {
            const std::optional<int32_t> here = placedColumn(c);
            const std::optional<int32_t> next = placedColumn(c + 1);
            if (!here || !next || *next != *here + 1) {
                return false;
            }
        }
    }
    bool onSheet = true;
    for (formula::RefEnd* end : {&first, &last}) {
        if (end->row >= 0) {
            end->row += m_offset.row;
            onSheet = onSheet && end->row >= 0 && end->row < kMaxRows;
        }
        if (end->column >= 0) {
            const std::optional<int32_t> column = placedColumn(end->column);
            end->column = column.value_or(-1);
            onSheet = onSheet && column && *column >= 0 && *column < kMaxColumns;
        }
    }
    out += onSheet ? formula::referenceBody(ref.kind, first, last) : "#REF!";
    return true;
}

namespace {

// One end of a reference along one axis, as a cell at distance d from where the formula is
// written reads it.
struct Coordinate {
    int32_t value;
    bool relative;
    int32_t at(int32_t d) const { return relative ? value + d : value; }
};

// Both ends of a reference along one axis; a whole-column reference spans every row.
std::array<Coordinate, 2> endsAlong(const Reference& ref, bool rows) {
    const int32_t first = rows ? ref.first.row : ref.first.column;
    if (first < 0) {
        return {Coordinate{0, false}, Coordinate{(rows ? kMaxRows : kMaxColumns) - 1, false}};
    }
    const int32_t last = rows ? ref.last.row : ref.last.column;
    return {Coordinate{first, !(rows ? ref.first.absoluteRow : ref.first.absoluteColumn)},
            Coordinate{last, !(rows ? ref.last.absoluteRow : ref.last.absoluteColumn)}};
}

}  // namespace

DistanceBox FormulaCarrier::blockBox(const Reference& ref) const {
    DistanceBox box;
    for (bool rows : {true, false}) {
        const int32_t low = rows ? m_block->first.row : m_block->first.column;
        const int32_t high = rows ? m_block->last.row : m_block->last.column;
        int64_t& from = rows ? box.rowFrom : box.columnFrom;
        int64_t& to = rows ? box.rowTo : box.columnTo;
        for (const Coordinate& end : endsAlong(ref, rows)) {
            if (end.relative) {
                from = std::max<int64_t>(from, int64_t{low} - end.value);
                to = std::min<int64_t>(to, int64_t{high} - end.value);
            } else if (end.value < low || end.value > high) {
                to = from - 1;
            }
        }
    }
    return box;
}

std::vector<DistanceBox> FormulaCarrier::blockBoxes(std::string_view formula) const {
    std::vector<DistanceBox> boxes;
    if (!movesLocalReferences()) {
        return boxes;
    }
    rewriteFormulaReferences(formula, [&](const Reference& ref, std::string&) {
        if (!ref.hasSheet() && formula::readsCells(ref.kind)) {
            boxes.push_back(blockBox(ref));
        }
        return false;
    });
    return boxes;
}

std::string FormulaCarrier::carryDeciding(std::string_view formula,
                                          const std::vector<bool>& inside) {
    m_decisions = &inside;
    m_decision = 0;
    std::string carried;
    try {
        carried = carry(formula);
    } catch (...) {
        m_decisions = nullptr;
        throw;
    }
    m_decisions = nullptr;
    return carried;
}

bool FormulaCarrier::movesLocalReferences() const {
    return m_block && !m_sourceBook.path().empty();
}

std::string FormulaCarrier::carry(std::string_view formula) {
    // Without a sheet prefix, a book number or a name to find, nothing changes.
    if (formula.find('!') == std::string_view::npos && m_source.definedNames().empty() &&
        m_sourceBook.definedNames().empty() && !movesLocalReferences()) {
        return std::string(formula);
    }
    return rewriteFormulaReferences(
        formula, [this](const Reference& ref, std::string& out) { return rewrite(ref, out); });
}

void FormulaCarrier::carrySheetNames() {
    for (const DefinedName& name : m_source.definedNames()) {
        DefinedName copy = name;
        copy.formula = carry(name.formula);
        m_carriedFormulas.push_back(copy.formula);
        m_target.definedNames().push_back(std::move(copy));
    }
    // Workbook names that point into the sheet go with it too, as a spreadsheet's sheet copy
    // takes them.
    for (const DefinedName& name : m_sourceBook.definedNames()) {
        bool readsSheet = false;
        rewriteFormulaReferences(name.formula, [&](const Reference& ref, std::string&) {
            readsSheet = readsSheet || (!ref.external && ref.hasSheet() &&
                                        (equalsIgnoringAsciiCase(ref.firstSheet, m_source.name()) ||
                                         equalsIgnoringAsciiCase(ref.lastSheet, m_source.name())));
            return false;
        });
        if (readsSheet && !findDefinedName(m_source.definedNames(), name.name)) {
            carryName(name.name);
        }
    }
}

bool FormulaCarrier::rewrite(const Reference& ref, std::string& out) {
    if (ref.external && ref.externalIndex == 0) {
        // "[0]" names the workbook itself.
        Reference local = ref;
        local.external = false;
        if (!rewrite(local, out)) {
            out += localSheetPrefix(ref.firstSheet, ref.lastSheet);
            out += "!";
            out += ref.body;
        }
        return true;
    }
    if (!ref.hasSheet() && formula::readsCells(ref.kind) && movesLocalReferences()) {
        bool inside = false;
        if (m_decisions) {
            inside = m_decision < m_decisions->size() && (*m_decisions)[m_decision];
            ++m_decision;
        } else {
            inside = blockBox(ref).contains(0, 0);
        }
        if (inside && moveWithBlock(ref, out)) {
            return true;
        }
        const int32_t book = sourceBook();
        m_targetBook.externalBooks()[static_cast<size_t>(book)].addSheet(m_source.name());
        out += externalSheetPrefix(book, m_source.name());
        out += "!";
        out += ref.body;
        return true;
    }
    if (ref.external) {
        const auto& books = m_sourceBook.externalBooks();
        if (ref.externalIndex < 1 || static_cast<size_t>(ref.externalIndex) > books.size()) {
            return false;
        }
        const int32_t index = importBook(ref.externalIndex - 1);
        if (index < 0) {
            out += "#REF!";  // a book the damaged source does not say where to find
            return true;
        }
        out += externalSheetPrefix(index, ref.firstSheet, ref.lastSheet);
        out += "!";
        out += ref.body;
        return true;
    }
    if (ref.hasSheet()) {
        if (m_mode == Mode::SheetCopy && !ref.isThreeD() &&
            equalsIgnoringAsciiCase(ref.firstSheet, m_source.name())) {
            out += formula::quotedSheetName(m_target.name());
            out += "!";
            out += ref.body;
            return true;
        }
        const Sheet* first = findSheetIn(m_sourceBook, ref.firstSheet);
        const Sheet* last = ref.isThreeD() ? findSheetIn(m_sourceBook, ref.lastSheet) : first;
        if (!first || !last) {
            out += "#REF!";  // a sheet the source lacks: broken there already
            return true;
        }
        const int32_t book = sourceBook();
        if (book < 0) {
            return false;  // a source never saved has no file to refer to
        }
        ExternalBook& external = m_targetBook.externalBooks()[static_cast<size_t>(book)];
        const int32_t from = m_sourceBook.indexOf(*first);
        const int32_t to = m_sourceBook.indexOf(*last);
        for (int32_t s = std::min(from, to); s <= std::max(from, to); ++s) {
            external.addSheet(m_sourceBook.sheet(s).name());
        }
        if (ref.kind == RefKind::Name) {
            if (const DefinedName* name = findDefinedName(first->definedNames(), ref.body)) {
                const int32_t sheet = external.sheetIndex(first->name());
                const bool known = std::any_of(
                    external.names.begin(), external.names.end(), [&](const ExternalName& n) {
                        return n.sheet == sheet && equalsIgnoringAsciiCase(n.name, name->name);
                    });
                if (!known) {
                    external.names.push_back(ExternalName{name->name, name->formula, sheet});
                }
            }
        }
        out += externalSheetPrefix(book, first->name(), ref.isThreeD() ? last->name() : "");
        out += "!";
        out += ref.body;
        return true;
    }
    if (ref.kind == RefKind::Name) {
        const std::string carried = carryName(ref.body);
        if (carried.empty() || carried == ref.body) {
            return false;
        }
        out += carried;
        return true;
    }
    return false;
}

std::string FormulaCarrier::carryName(std::string_view name) {
    const std::string key = asciiLower(name);
    if (auto it = m_carriedNames.find(key); it != m_carriedNames.end()) {
        return it->second;
    }
    const DefinedName* local = findDefinedName(m_source.definedNames(), name);
    if (local && m_mode == Mode::SheetCopy) {
        return std::string(name);  // travels with the sheet
    }
    const DefinedName* defined = local ? local : findDefinedName(m_sourceBook.definedNames(), name);
    if (!defined) {
        return {};
    }
    // Kept while the name's own formula is carried, so that a name reading itself ends.
    m_carriedNames[key] = defined->name;
    const std::vector<bool>* decisions = std::exchange(m_decisions, nullptr);
    const size_t decision = m_decision;
    const std::string formula = carry(defined->formula);
    m_decisions = decisions;
    m_decision = decision;
    std::string placed = placeName(*defined, formula);
    m_carriedFormulas.push_back(formula);
    m_carriedNames[key] = placed;
    return placed;
}

std::string FormulaCarrier::placeName(const DefinedName& name, const std::string& formula) {
    auto& names = m_targetBook.definedNames();
    DefinedName carried = name;
    carried.formula = formula;
    if (m_mode == Mode::SheetCopy) {
        const DefinedName* existing = findDefinedName(names, name.name);
        if (!existing) {
            names.push_back(std::move(carried));
        } else if (existing->formula != formula &&
                   !findDefinedName(m_target.definedNames(), name.name)) {
            // Another meaning of the name in the target: scoped to the copy, where its cells
            // find it first.
            m_target.definedNames().push_back(std::move(carried));
        }
        return name.name;
    }
    for (int n = 1;; ++n) {
        const std::string candidate = n == 1 ? name.name : name.name + "_" + std::to_string(n);
        const DefinedName* existing = findDefinedName(names, candidate);
        if (!existing) {
            carried.name = candidate;
            names.push_back(std::move(carried));
            return candidate;
        }
        if (existing->formula == formula) {
            return existing->name;
        }
    }
}

int32_t FormulaCarrier::sourceBook() {
    if (m_sourceBookIndex == -2) {
        m_sourceBookIndex = m_sourceBook.path().empty()
                                ? -1
                                : m_targetBook.externalBookFor(linkPath(m_sourceBook.path()));
    }
    return m_sourceBookIndex;
}

int32_t FormulaCarrier::importBook(int32_t sourceIndex) {
    if (auto it = m_imported.find(sourceIndex); it != m_imported.end()) {
        return it->second;
    }
    const ExternalBook& from = m_sourceBook.externalBooks()[static_cast<size_t>(sourceIndex)];
    if (from.path.empty()) {
        m_imported.emplace(sourceIndex, -1);
        return -1;
    }
    const int32_t index = m_targetBook.externalBookFor(from.path);
    ExternalBook& to = m_targetBook.externalBooks()[static_cast<size_t>(index)];
    std::vector<int32_t> sheetMap;
    for (const ExternalSheet& sheet : from.sheets) {
        const int32_t at = to.addSheet(sheet.name);
        sheetMap.push_back(at);
        auto& cells = to.sheets[static_cast<size_t>(at)].cells;
        for (const auto& [where, value] : sheet.cells) {
            cells.try_emplace(where, value);
        }
    }
    for (const ExternalName& name : from.names) {
        ExternalName moved = name;
        if (name.sheet >= 0 && static_cast<size_t>(name.sheet) < sheetMap.size()) {
            moved.sheet = sheetMap[static_cast<size_t>(name.sheet)];
        } else {
            moved.sheet = -1;
        }
        const bool known =
            std::any_of(to.names.begin(), to.names.end(), [&](const ExternalName& n) {
                return n.sheet == moved.sheet && equalsIgnoringAsciiCase(n.name, moved.name);
            });
        if (!known) {
            to.names.push_back(std::move(moved));
        }
    }
    m_imported.emplace(sourceIndex, index);
    return index;
}

void FormulaCarrier::readLinesFromSource(int32_t first, int32_t count, bool columns) {
    if (!movesLocalReferences() || count <= 0) {
        return;
    }
    const CellRange landed{
        {m_block->first.row + m_offset.row, m_block->first.column + m_offset.column},
        {m_block->last.row + m_offset.row, m_block->last.column + m_offset.column}};
    const int64_t end = int64_t{first} + count;
    auto readsLines = [&](const CellRange& read) {
        const int32_t low = columns ? read.first.column : read.first.row;
        const int32_t high = columns ? read.last.column : read.last.row;
        return high >= first && low < end;
    };
    Workbook& book = m_targetBook;
    // For each shared formula, the ends along the axis of its references without a sheet: a
    // cell of it needs a look only where one of them reaches into the lines.
    std::unordered_map<uint32_t, std::vector<std::array<Coordinate, 2>>> sharedEnds;
    auto mayReadLines = [&](const Cell& cell, CellRef at) {
        const SharedFormula& shared = book.sharedFormula(cell.formulaId());
        const auto [it, added] = sharedEnds.try_emplace(cell.formulaId());
        if (added) {
            auto& found = it->second;
            rewriteFormulaReferences(book.formulas().text(shared.text),
                                     [&](const Reference& ref, std::string&) {
                                         if (!ref.hasSheet() && formula::readsCells(ref.kind)) {
                                             found.push_back(endsAlong(ref, !columns));
                                         }
                                         return false;
                                     });
        }
        const int32_t d = columns ? at.column - shared.anchor.column : at.row - shared.anchor.row;
        for (const auto& ends : it->second) {
            const int32_t a = ends[0].at(d);
            const int32_t b = ends[1].at(d);
            if (std::max(a, b) >= first && std::min(a, b) < end) {
                return true;
            }
        }
        return false;
    };
    // The formula with its references into the lines made to read the source sheet.
    auto readingSource = [&](std::string_view text, bool& touched) {
        return rewriteFormulaReferences(text, [&](const Reference& ref, std::string& out) {
            const std::optional<CellRange> read = cellsRead(ref);
            if (ref.hasSheet() || !read || !readsLines(*read)) {
                return false;
            }
            // In the block every such reference was moved whole with it (see rewrite).
            formula::RefEnd low = ref.first;
            formula::RefEnd high = ref.last;
            for (formula::RefEnd* e : {&low, &high}) {
                if (e->row >= 0) {
                    e->row -= m_offset.row;
                }
                if (e->column >= 0) {
                    e->column -= m_offset.column;
                }
            }
            const int32_t index = sourceBook();
            m_targetBook.externalBooks()[static_cast<size_t>(index)].addSheet(m_source.name());
            out += externalSheetPrefix(index, m_source.name());
            out += "!";
            out += formula::referenceBody(ref.kind, low, high);
            touched = true;
            return true;
        });
    };
    std::set<uint32_t> untouched;  // own formulas that read none of the lines
    for (Row& row : m_target.mutableRows()) {
        if (row.index < landed.first.row || row.index > landed.last.row) {
            continue;
        }
        for (Cell& cell : row.cells) {
            if (!cell.hasFormula() || cell.column < landed.first.column ||
                cell.column > landed.last.column) {
                continue;
            }
            const CellRef at{row.index, cell.column};
            if (cell.hasSharedFormula() ? !mayReadLines(cell, at)
                                        : untouched.count(cell.formulaId()) > 0) {
                continue;
            }
            const std::string text = cellFormula(book, cell, at);
            bool touched = false;
            std::string rewritten = readingSource(text, touched);
            if (!touched) {
                if (!cell.hasSharedFormula()) {
                    untouched.insert(cell.formulaId());
                }
                continue;
            }
            cell.flags = static_cast<uint8_t>(cell.flags & ~kSharedFormula);
            cell.formula = book.formulas().intern(rewritten) + 1;
            cacheFromText(rewritten);
        }
    }
    // The block's conditional formats and validation rules, as read at their top-left cells.
    rewriteRuleFormulasWithin(m_target, landed, [&](std::string_view text) {
        bool touched = false;
        std::string rewritten = readingSource(text, touched);
        if (touched) {
            cacheFromText(rewritten);
        }
        return rewritten;
    });
}

void FormulaCarrier::cacheValues(const std::vector<Row>& rows) {
    if (m_sourceBookIndex < 0) {
        return;  // no reference became external
    }
    const Workbook& book = m_targetBook;
    std::set<uint32_t> seen;
    // By shared formula: its references to the source's book, as written at its anchor.
    std::unordered_map<uint32_t, std::vector<Reference>> sharedExternalRefs;
    for (auto row = rows.begin(); row != rows.end(); ++row) {
        for (const Cell& cell : row->cells) {
            if (!cell.hasFormula()) {
                continue;
            }
            if (cell.hasSharedFormula()) {
                // Only a formula that reads another book needs reading at each of its cells.
                const SharedFormula& shared = book.sharedFormula(cell.formulaId());
                const auto [refs, added] = sharedExternalRefs.try_emplace(cell.formulaId());
                if (added) {
                    const std::string_view text = book.formulas().text(shared.text);
                    auto& found = refs->second;
                    if (text.find('[') != std::string_view::npos) {
                        rewriteFormulaReferences(text, [&](const Reference& ref, std::string&) {
                            if (ref.external && ref.externalIndex == m_sourceBookIndex + 1 &&
                                formula::readsCells(ref.kind)) {
                                found.push_back(ref);
                            }
                            return false;
                        });
                    }
                }
                // Each reference as the cell reads it: moved by the cell's distance from the
                // formula's anchor, without reading the whole formula again.
                const int32_t down = row->index - shared.anchor.row;
                const int32_t across = cell.column - shared.anchor.column;
                for (Reference ref : refs->second) {
                    bool onSheet = true;
                    for (formula::RefEnd* end : {&ref.first, &ref.last}) {
                        if (end->row >= 0 && !end->absoluteRow) {
                            end->row += down;
                            onSheet = onSheet && end->row >= 0 && end->row < kMaxRows;
                        }
                        if (end->column >= 0 && !end->absoluteColumn) {
                            end->column += across;
                            onSheet = onSheet && end->column >= 0 && end->column < kMaxColumns;
                        }
                    }
                    if (onSheet) {
                        cacheReference(ref);
                    }
                }
            } else if (seen.insert(cell.formulaId()).second) {
                cacheFromText(book.formulas().text(cell.formulaId()));
            }
        }
    }
    for (const std::string& text : m_carriedFormulas) {
        cacheFromText(text);
    }
    m_carriedFormulas.clear();
}

void FormulaCarrier::cacheValuesOf(std::string_view carried) {
    if (m_sourceBookIndex >= 0) {
        cacheFromText(carried);
    }
}

void FormulaCarrier::cacheFromText(std::string_view text) {
    if (text.find('[') == std::string_view::npos) {
        return;
    }
    rewriteFormulaReferences(text, [this](const Reference& ref, std::string&) {
        if (ref.external && ref.externalIndex == m_sourceBookIndex + 1 &&
            formula::readsCells(ref.kind)) {
            cacheReference(ref);
        }
        return false;
    });
}

void FormulaCarrier::cacheReference(const Reference& ref) {
    std::string key = asciiLower(ref.firstSheet) + ":" + asciiLower(ref.lastSheet) + "!";
    key += asciiLower(formula::referenceBody(ref.kind, ref.first, ref.last));
    if (!m_cached.insert(key).second) {
        return;
    }
    const std::optional<CellRange> range = cellsRead(ref);
    const Sheet* first = findSheetIn(m_sourceBook, ref.firstSheet);
    const Sheet* last = ref.isThreeD() ? findSheetIn(m_sourceBook, ref.lastSheet) : first;
    if (!range || !first || !last) {
        return;
    }
    ExternalBook& external = m_targetBook.externalBooks()[static_cast<size_t>(m_sourceBookIndex)];
    const int32_t from = m_sourceBook.indexOf(*first);
    const int32_t to = m_sourceBook.indexOf(*last);
    for (int32_t s = std::min(from, to); s <= std::max(from, to); ++s) {
        const Sheet& sheet = m_sourceBook.sheet(s);
        if (!sheet.isWorksheet()) {
            continue;
        }
        auto& cells = external.sheets[static_cast<size_t>(external.addSheet(sheet.name()))].cells;
        size_t added = 0;
        const auto& rows = sheet.rows();
        auto row = std::lower_bound(rows.begin(), rows.end(), range->first.row,
                                    [](const Row& r, int32_t index) { return r.index < index; });
        for (; row != rows.end() && row->index <= range->last.row; ++row) {
            auto cell =
                std::lower_bound(row->cells.begin(), row->cells.end(), range->first.column,
                                 [](const Cell& c, int32_t column) { return c.column < column; });
            for (; cell != row->cells.end() && cell->column <= range->last.column; ++cell) {
                if (cell->type == CellType::Blank) {
                    continue;
                }
                added += cells.try_emplace({row->index, cell->column},
                                           externalValue(m_sourceBook, *cell))
                                 .second
                             ? 1
                             : 0;
            }
        }
        // What a cached cell takes: the map node and its value.
        m_targetBook.memory().charge(added * 96);
    }
}

void readPastedLinesFromSource(const Sheet& source, const CellRange& block, Sheet& target,
                               CellRef topLeft, int32_t first, int32_t count, bool columns) {
    if (&source.workbook() == &target.workbook()) {
        return;
    }
    FormulaCarrier carrier(source, target, FormulaCarrier::Mode::Paste);
    carrier.setPastedBlock(
        block, CellRef{topLeft.row - block.first.row, topLeft.column - block.first.column});
    carrier.readLinesFromSource(first, count, columns);
    chartsReadLinesFromSource(source, block, target, topLeft, first, count, columns, carrier);
}

void relinkToCopies(Workbook& workbook) {
    relinkNotesToCopies(workbook);
    auto& books = workbook.externalBooks();
    if (books.empty()) {
        return;
    }
    // By book: the copy of each of its sheets (lower-case name), the first copy made.
    std::vector<std::map<std::string, std::string>> copies(books.size());
    bool any = false;
    for (int32_t s = 0; s < workbook.sheetCount(); ++s) {
        const Sheet& sheet = workbook.sheet(s);
        if (!sheet.origin()) {
            continue;
        }
        for (size_t b = 0; b < books.size(); ++b) {
            if (books[b].path == sheet.origin()->path) {
                copies[b].try_emplace(asciiLower(sheet.origin()->sheet), sheet.name());
                any = true;
            }
        }
    }
    if (any) {
        rewriteAllFormulas(workbook, [&](std::string_view text) {
            if (text.find('[') == std::string_view::npos) {
                return std::string(text);
            }
            return rewriteFormulaReferences(text, [&](const Reference& ref, std::string& out) {
                if (!ref.external || ref.isThreeD() || ref.externalIndex < 1 ||
                    static_cast<size_t>(ref.externalIndex) > copies.size()) {
                    return false;
                }
                const auto& byName = copies[static_cast<size_t>(ref.externalIndex - 1)];
                auto it = byName.find(asciiLower(ref.firstSheet));
                if (it == byName.end()) {
                    return false;
                }
                out += formula::quotedSheetName(it->second);
                out += "!";
                out += ref.body;
                return true;
            });
        });
    }
    dropUnusedBooks(workbook);
}

}  // namespace plyfold::engine
