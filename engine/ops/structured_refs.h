#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "engine/model/cell_ref.h"
#include "engine/model/table.h"
#include "engine/ops/structured_reference.h"

namespace plyfold::engine {

class Workbook;

// What becomes of the structured references to one table when a formula moves.
struct TableRefAction {
    enum class Kind : uint8_t {
        Keep,    // left as written
        Rename,  // the table's name becomes newName
        Range,   // an ordinary reference to the cells, where they are after the move
    };
    Kind kind = Kind::Keep;
    std::string newName;
    std::string prefix;     // for Range: "" or a sheet prefix ("'Sales 2'!")
    int32_t rowOffset = 0;  // for Range: how far the table's cells moved
    int32_t columnOffset = 0;
};

// Finds the tables a formula names and says what becomes of references to them.
class TableRefPolicy {
public:
    // The table with this name (compared without regard to case) or, for a reference without
    // a name, the table holding the source cell; nullptr leaves the reference as written.
    virtual const Table* find(std::string_view name, CellRef cell) = 0;
    virtual TableRefAction action(const Table& table) = 0;

protected:
    ~TableRefPolicy() = default;
};

// Where the formula stands, in the coordinates of its source sheet.
struct FormulaSite {
    CellRef cell;  // the formula's cell: a reference without a table name uses its table
    // The row the formula's text is read at: a This Row reference becomes a reference to this
    // row (moved as its table moved), relative, so that a formula shared down a column reads
    // its own row in every cell.
    int32_t readRow = 0;
    // A This Row reference from outside the table's data rows is an error (#VALUE!) as it is
    // in the source; off for a formula text that many cells share.
    bool checkThisRow = true;
};

// Whether the formula may hold a structured reference; a cheap test on the text.
inline bool mayHoldStructuredReference(std::string_view text) {
    return text.find('[') != std::string_view::npos;
}

// Whether the formula holds a structured reference, read properly.
bool holdsStructuredReference(std::string_view text);

// The formula with its structured references renamed or turned into ordinary references as
// the policy says: Sales[Qty] -> $C$2:$C$10, Sales[[#This Row],[Qty]] -> $C5, a part the table
// lacks (headers of a table without a header row) -> #REF!. A reference naming an unknown
// table or column is left as it is.
std::string formulaWithTableReferences(std::string_view text, TableRefPolicy& policy,
                                       const FormulaSite& site);

// The cells a structured reference covers in its table. For This Row, the columns of the
// table's data rows (the row is the formula's).
enum class TableAreaResult : uint8_t {
    Found,
    MissingPart,    // the table has no such rows (headers of a table without a header row)
    UnknownColumn,  // a column the table does not have
};
TableAreaResult tableArea(const Table& table, const formula::StructuredReference& reference,
                          CellRange& area);

// A name for a copy of a table that no table of the workbook has and that isTaken (for other
// kinds of names) does not report: "Sales" -> "Sales2", "Table1" -> "Table2", ... or "Q1" ->
// "Q1_2" where the plain one would read as a cell. base itself when it is free.
std::string uniqueTableName(const Workbook& workbook, std::string_view base,
                            const std::function<bool(std::string_view)>& isTaken = {});

}  // namespace plyfold::engine
