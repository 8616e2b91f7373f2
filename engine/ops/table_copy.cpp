#include "engine/ops/table_copy.h"

#include "engine/common/text.h"
#include "engine/model/workbook.h"
#include "engine/ops/formula_lexer.h"

namespace plyfold::engine {
namespace {

const Table* tableAround(const Sheet& sheet, CellRef cell) {
    for (const Table& table : sheet.tables()) {
        if (table.range.contains(cell)) {
            return &table;
        }
    }
    return nullptr;
}

bool holds(const Sheet& sheet, const Table& table) {
    const auto& tables = sheet.tables();
    return !tables.empty() && &table >= tables.data() && &table < tables.data() + tables.size();
}

// The sheet of the workbook with the name of sheet: a paste of a sheet onto itself reads a
// copy of its block that the workbook does not hold.
const Sheet* homeSheet(const Sheet& sheet) {
    const Workbook& workbook = sheet.workbook();
    for (int32_t i = 0; i < workbook.sheetCount(); ++i) {
        if (&workbook.sheet(i) == &sheet) {
            return &sheet;
        }
    }
    for (int32_t i = 0; i < workbook.sheetCount(); ++i) {
        if (workbook.sheet(i).name() == sheet.name()) {
            return &workbook.sheet(i);
        }
    }
    return &sheet;
}

TableRefAction rangeOn(const Sheet& sheet) {
    TableRefAction action;
    action.kind = TableRefAction::Kind::Range;
    action.prefix = formula::quotedSheetName(sheet.name()) + "!";
    return action;
}

}  // namespace

const Sheet* sheetOfTable(const Workbook& workbook, std::string_view name, const Table** found) {
    for (int32_t i = 0; i < workbook.sheetCount(); ++i) {
        const Sheet& sheet = workbook.sheet(i);
        if (!sheet.isWorksheet()) {
            continue;
        }
        for (const Table& table : sheet.tables()) {
            if (equalsIgnoringAsciiCase(table.displayName, name)) {
                *found = &table;
                return &sheet;
            }
        }
    }
    return nullptr;
}

PastedTableReferences::PastedTableReferences(const Sheet& source, const CellRange& block,
                                             CellRef offset)
    : m_workbook(source.workbook()), m_home(homeSheet(source)), m_block(block), m_offset(offset) {}

const Table* PastedTableReferences::find(std::string_view name, CellRef cell) {
    if (name.empty()) {
        return tableAround(*m_home, cell);
    }
    const Table* table = nullptr;
    sheetOfTable(m_workbook, name, &table);
    return table;
}

TableRefAction PastedTableReferences::action(const Table& table) {
    if (holds(*m_home, table) && m_block.contains(table.range.first) &&
        m_block.contains(table.range.last)) {
        TableRefAction action;
        action.kind = TableRefAction::Kind::Range;
        action.rowOffset = m_offset.row;
        action.columnOffset = m_offset.column;
        return action;
    }
    for (int32_t i = 0; i < m_workbook.sheetCount(); ++i) {
        if (holds(m_workbook.sheet(i), table)) {
            return rangeOn(m_workbook.sheet(i));
        }
    }
    return {};
}

CopiedTableReferences::CopiedTableReferences(const Sheet& source, const Workbook& target)
    : m_source(source),
      m_sameWorkbook(&source.workbook() == &target),
      m_copyNames(source.tables().size()) {}

void CopiedTableReferences::setCopyName(size_t index, std::string name) {
    m_copyNames.at(index) = std::move(name);
}

const Table* CopiedTableReferences::find(std::string_view name, CellRef cell) {
    if (name.empty()) {
        return tableAround(m_source, cell);
    }
    const Table* table = nullptr;
    sheetOfTable(m_source.workbook(), name, &table);
    return table;
}

TableRefAction CopiedTableReferences::action(const Table& table) {
    if (holds(m_source, table)) {
        const size_t index = static_cast<size_t>(&table - m_source.tables().data());
        if (m_copyNames[index].empty() || m_copyNames[index] == table.displayName) {
            return {};
        }
        TableRefAction action;
        action.kind = TableRefAction::Kind::Rename;
        action.newName = m_copyNames[index];
        return action;
    }
    if (m_sameWorkbook) {
        return {};
    }
    const Workbook& workbook = m_source.workbook();
    for (int32_t i = 0; i < workbook.sheetCount(); ++i) {
        if (holds(workbook.sheet(i), table)) {
            return rangeOn(workbook.sheet(i));
        }
    }
    return {};
}

std::vector<Table> copiedTables(const Sheet& source, const Workbook& target,
                                CopiedTableReferences& policy) {
    const std::vector<Table>& tables = source.tables();
    std::vector<Table> copies;
    copies.reserve(tables.size());
    for (size_t i = 0; i < tables.size(); ++i) {
        // Free in the target, among its workbook's defined names (formulas would read a
        // table and a name alike) and among the copies named before it.
        std::string name = uniqueTableName(target, tables[i].displayName, [&](std::string_view n) {
            if (findDefinedName(target.definedNames(), n)) {
                return true;
            }
            for (const Table& copy : copies) {
                if (equalsIgnoringAsciiCase(copy.displayName, n)) {
                    return true;
                }
            }
            return false;
        });
        policy.setCopyName(i, name);
        Table copy = tables[i];
        copy.name = copy.displayName = std::move(name);
        copies.push_back(std::move(copy));
    }
    // The formulas of the tables once every copy has its name: one table's formulas may
    // name another.
    for (Table& copy : copies) {
        const FormulaSite site{
            .cell = copy.range.first, .readRow = copy.range.first.row, .checkThisRow = false};
        for (TableColumn& column : copy.columns) {
            for (std::string* text : {&column.calculatedColumnFormula, &column.totalsRowFormula}) {
                if (!text->empty()) {
                    *text = formulaWithTableReferences(*text, policy, site);
                }
            }
        }
    }
    return copies;
}

}  // namespace plyfold::engine
