#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/model/cell_ref.h"
#include "engine/ops/structured_refs.h"

namespace plyfold::engine {

class Sheet;
class Workbook;

// What a paste into another workbook does with structured references: a paste carries no
// table, so each becomes an ordinary reference to the cells it read. A table that lies
// wholly in the pasted block is read where its cells land; any other table stays where it is,
// named by its sheet ('Sales'!$B$2:$B$10). Within one workbook the tables still exist and
// references stay as written.
class PastedTableReferences final : public TableRefPolicy {
public:
    PastedTableReferences(const Sheet& source, const CellRange& block, CellRef offset);
    const Table* find(std::string_view name, CellRef cell) override;
    TableRefAction action(const Table& table) override;

private:
    const Workbook& m_workbook;
    const Sheet* m_home;  // the sheet of the workbook the block comes from
    CellRange m_block;
    CellRef m_offset;
};

// What a sheet copy does with structured references: the copy's own tables go with it (under
// the names the copy gives them), references to tables on other sheets of the source's
// workbook become ordinary references to those sheets when the copy lands in another
// workbook, and stay as written within one workbook.
class CopiedTableReferences final : public TableRefPolicy {
public:
    CopiedTableReferences(const Sheet& source, const Workbook& target);
    // The copy of the source's table at index gets this name.
    void setCopyName(size_t index, std::string name);

    const Table* find(std::string_view name, CellRef cell) override;
    TableRefAction action(const Table& table) override;

private:
    const Sheet& m_source;
    bool m_sameWorkbook;
    std::vector<std::string> m_copyNames;  // by index of the source's tables
};

// The tables of source, as the copy of it holds them: each under a name no table of target
// has (the names go into names, by index), their formulas' references rewritten as the
// policy says.
std::vector<Table> copiedTables(const Sheet& source, const Workbook& target,
                                CopiedTableReferences& policy);

// The sheet that holds the table with this name, looked for in every sheet of the workbook;
// nullptr when none has it.
const Sheet* sheetOfTable(const Workbook& workbook, std::string_view name, const Table** table);

}  // namespace plyfold::engine
