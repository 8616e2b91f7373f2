#pragma once

#include <climits>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "engine/model/cell_ref.h"

namespace plyfold::engine {

class Sheet;
class Workbook;
struct DefinedName;
struct Row;

namespace formula {
struct Reference;
}

// Distances (rows, columns) from a cell, both ends included; empty when a from passes its to.
struct DistanceBox {
    int64_t rowFrom = INT32_MIN;
    int64_t rowTo = INT32_MAX;
    int64_t columnFrom = INT32_MIN;
    int64_t columnTo = INT32_MAX;
    bool contains(int64_t rows, int64_t columns) const {
        return rows >= rowFrom && rows <= rowTo && columns >= columnFrom && columns <= columnTo;
    }
};

// Makes formulas of cells taken from one workbook into another compute what they computed
// there, as a spreadsheet does on a paste or sheet copy into another workbook:
// - a reference to another sheet of the source becomes an external reference to the source
//   file ("[n]Sales!B:B", n the target's external book for it), whose values are kept in the
//   target's external book (cacheValues);
// - the source's own external references are renumbered into the target's external books;
// - the defined names the formulas use are carried, their formulas carried alike.
class FormulaCarrier {
public:
    enum class Mode {
        // The whole source sheet is copied to target: references to the source sheet follow
        // the copy, names scoped to it travel with it (carrySheetNames), and a workbook name
        // that the target holds with another meaning is added scoped to the copy.
        SheetCopy,
        // Cells are pasted into target: references naming any sheet become external, and a
        // workbook name that the target holds with another meaning is carried under a name of
        // its own ("Rate_2") that the pasted formulas then use.
        Paste,
    };

    FormulaCarrier(const Sheet& source, Sheet& target, Mode mode);

    // For a paste: the source cells pasted (block) and how far they move. References without a
    // sheet then move with the block when they read only cells of it (absolute parts too, so
    // that they read the same cells where the block lands), and read the source sheet as
    // external references otherwise, since what lies around the block in the target is not
    // what lay around it in the source. A source without a file keeps a desktop paste's
    // moves, done by the caller (movesLocalReferences() false).
    void setPastedBlock(const CellRange& block, CellRef offset);
    // For a paste that rearranges the block's columns: targetColumns[i] is the target column
    // (0-based) of the block's i-th column. A reference that reads only cells of the block
    // follows its cells there; a range whose columns do not land side by side in their order
    // reads the source instead, as a reference outside the block does. The vector must
    // outlive the carrier.
    void setColumnPlacement(const std::vector<int32_t>* targetColumns);
    bool movesLocalReferences() const;

    // The formula as it reads in the target (moved as a paste moves it where
    // movesLocalReferences()).
    std::string carry(std::string_view formula);
    // For a formula that many cells share: for each of its references without a sheet, in
    // order, the distances from where the formula is written at which a cell reads only cells
    // of the block with it (empty when the carrier does not move references). Cells that
    // agree on every reference can share one text: carryDeciding() with whether each
    // reference reads the block.
    std::vector<DistanceBox> blockBoxes(std::string_view formula) const;
    std::string carryDeciding(std::string_view formula, const std::vector<bool>& inside);
    // Adds the names scoped to the source sheet to the copy (SheetCopy), and the workbook names
    // that point into it.
    void carrySheetNames();
    // Keeps, in the target's external book for the source, the values of the source cells that
    // the formulas of the given rows' cells (mapped into the target) and of the names carried
    // read.
    void cacheValues(const std::vector<Row>& rows);
    // The same for the references of one formula carried (a chart's series): the values of
    // the source cells it reads as external references.
    void cacheValuesOf(std::string_view carried);
    // Takes back the names and external books added since the carrier was made, for a paste
    // or copy that failed.
    void undo();

    // Before lines [first, first + count) (rows, or columns where `columns`) of the target are
    // deleted: references of the formulas of the pasted block (setPastedBlock) that read those
    // lines read the source sheet instead, so that the deletion leaves them computing what
    // they did. Nothing changes where movesLocalReferences() is false.
    void readLinesFromSource(int32_t first, int32_t count, bool columns);

private:
    DistanceBox blockBox(const formula::Reference& ref) const;
    bool rewrite(const formula::Reference& ref, std::string& out);
    bool moveWithBlock(const formula::Reference& ref, std::string& out) const;
    std::optional<int32_t> placedColumn(int32_t column) const;
    std::string carryName(std::string_view name);
    std::string placeName(const DefinedName& name, const std::string& formula);
    int32_t sourceBook();
    int32_t importBook(int32_t sourceIndex);
    void cacheFromText(std::string_view formula);
    void cacheReference(const formula::Reference& ref);

    const Sheet& m_source;
    const Workbook& m_sourceBook;
    Sheet& m_target;
    Workbook& m_targetBook;
    Mode m_mode;
    int32_t m_sourceBookIndex = -2;         // -2 not known yet, -1 the source has no file
    std::map<int32_t, int32_t> m_imported;  // source's external book -> target's
    std::map<std::string, std::string> m_carriedNames;  // by lower-case source name
    std::vector<std::string> m_carriedFormulas;
    std::set<std::string> m_cached;  // references already cached, as written
    std::optional<CellRange> m_block;
    CellRef m_offset;
    const std::vector<int32_t>* m_targetColumns = nullptr;
    const std::vector<bool>* m_decisions = nullptr;  // for carryDeciding
    size_t m_decision = 0;
    size_t m_namesBefore;
    size_t m_booksBefore;
    size_t m_sheetNamesBefore;
};

// For lines about to be deleted from target that cut through block of source just pasted
// there with block.first at topLeft (from another workbook): FormulaCarrier::
// readLinesFromSource.
void readPastedLinesFromSource(const Sheet& source, const CellRange& block, Sheet& target,
                               CellRef topLeft, int32_t first, int32_t count, bool columns);

// Points every external reference whose book is the file of a sheet copied into the workbook
// (Sheet::origin) and whose sheet was copied at that copy, in cells and names, then drops the
// external books that nothing reads any more. References to sheets without a copy stay
// external.
void relinkToCopies(Workbook& workbook);

// How a workbook's file is named in external books and sheet origins: its path made absolute,
// so that the name holds wherever the workbook that reads it is saved.
std::string linkPath(std::string_view path);

// The formula with every external reference to a book past the first bookCount replaced by
// #REF!, so that a written file never names a book it does not hold.
std::string formulaWithMissingBooksAsRef(std::string_view text, size_t bookCount);

// The text written before "!" for sheets of external book index (0-based): "[1]Sales",
// "'[2]My Sheet'", "[1]Jan:Mar".
std::string externalSheetPrefix(int32_t bookIndex, std::string_view firstSheet,
                                std::string_view lastSheet = {});

}  // namespace plyfold::engine
