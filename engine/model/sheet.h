#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/model/cell.h"
#include "engine/model/cell_ref.h"
#include "engine/model/comment.h"
#include "engine/model/conditional_format.h"
#include "engine/model/data_validation.h"
#include "engine/model/drawing.h"
#include "engine/model/external_link.h"
#include "engine/model/hyperlink.h"
#include "engine/model/sheet_settings.h"
#include "engine/model/table.h"
#include "engine/model/uncarried.h"

namespace plyfold::engine {

class Workbook;

struct Row {
    int32_t index = 0;    // 0-based
    float height = 0.0f;  // points; 0 keeps the sheet's default height
    bool hidden = false;
    bool customHeight = false;
    uint8_t outlineLevel = 0;  // 0..7: the depth of the row's grouping
    bool collapsed = false;    // the group this row summarises is collapsed
    // The row's own format: what its columns without a cell show. 0 is none.
    uint32_t style = 0;
    std::vector<Cell> cells;  // sorted by column, one cell a column
    // Whether the row carries something of its own besides its cells.
    bool hasOwnFormat() const {
        return hidden || customHeight || outlineLevel != 0 || collapsed || style != 0;
    }
};

// Width and visibility of a run of columns. Runs are sorted and do not overlap.
struct ColumnInfo {
    int32_t first = 0;
    int32_t last = 0;
    double width = 0.0;  // in characters of the default font's digit width; 0 is default
    bool hidden = false;
    bool customWidth = false;
    uint32_t style = 0;
    uint8_t outlineLevel = 0;  // 0..7: the depth of the columns' grouping
    bool collapsed = false;
};

struct ArrayFormula {
    CellRange range;  // the anchor cell is range.first
};

enum class SheetKind : uint8_t { Worksheet, Chartsheet };
enum class SheetVisibility : uint8_t { Visible, Hidden, VeryHidden };

// A sheet of a workbook. The cells of a sheet read from a file are parsed the first time
// they are asked for; a reader installs the loader that does it.
class Sheet {
public:
    using Loader = std::function<void(Sheet&)>;

    Sheet(Workbook& workbook, std::string name, SheetKind kind);

    Workbook& workbook() const { return *m_workbook; }
    const std::string& name() const { return m_name; }
    SheetKind kind() const { return m_kind; }
    bool isWorksheet() const { return m_kind == SheetKind::Worksheet; }
    SheetVisibility visibility() const { return m_visibility; }
    void setVisibility(SheetVisibility visibility) { m_visibility = visibility; }

    void setLoader(Loader loader) { m_loader = std::move(loader); }
    bool isLoaded() const { return !m_loader; }
    // Parses the sheet's cells if that has not happened yet; throws what the reader throws.
    // A load that would take the workbook's memory past its budget fails with a message
    // naming the file and the sheet.
    void ensureLoaded() const;
    // For readers, while the sheet loads: counts bytes of what the load builds in the
    // workbook's memory (throwing MemoryLimitReached past its budget). A load that fails
    // gives them back.
    void countLoaded(uint64_t bytes);

    // Rows in ascending order of index; rows without cells may exist (heights, hidden rows).
    const std::vector<Row>& rows() const;
    std::vector<Row>& mutableRows();

    const Cell* findCell(CellRef ref) const;
    // The cell at ref, created blank when missing. Throws when ref is outside the sheet.
    Cell& cellAt(CellRef ref);
    void eraseCell(CellRef ref);
    // The row with the given index, created when missing.
    Row& rowAt(int32_t index);
    const Row* findRow(int32_t index) const;
    // For readers: appends a row after the last one (faster than rowAt); index must be
    // greater than every index so far, else it falls back to rowAt. While the sheet loads,
    // the row before it is complete and is counted (countLoaded), as is the last row when the
    // load ends.
    Row& appendRow(int32_t index);
    // For readers, while the sheet loads: the rows appended so far, to change cells in place
    // after the whole file was read (the count of memory assumes no cell is added).
    std::vector<Row>& rowsBeingLoaded() { return m_rows; }
    // For readers that build the rows apart and count them as they go: puts them in while the
    // sheet loads. They must be sorted, each row's cells sorted.
    void setLoadedRows(std::vector<Row> rows);

    // The smallest rectangle holding every stored cell; nullopt when there is none.
    std::optional<CellRange> usedRange() const;
    // The last row (or column) of the used range, 0-based; nullopt on an empty sheet. The row
    // is found from the end, without a pass over the whole sheet.
    std::optional<int32_t> lastUsedRow() const;
    std::optional<int32_t> lastUsedColumn() const;
    size_t cellCount() const;
    // Drops rows that hold no cells and carry nothing of their own.
    void compactRows();

    std::vector<ColumnInfo>& columns() { return m_columns; }
    const std::vector<ColumnInfo>& columns() const { return m_columns; }
    // The width of a column, or 0 when it has the default width.
    double columnWidth(int32_t column) const;
    void setColumnWidth(int32_t column, double width);

    // Widths below which fitting a column to its contents does not go while the column holds
    // formulas whose results are not known yet: the width of the column they were copied
    // from, which showed those results. By column; kept apart from the widths, which they
    // do not change.
    std::map<int32_t, double>& fitFloors() { return m_fitFloors; }
    const std::map<int32_t, double>& fitFloors() const { return m_fitFloors; }
    // Raises the floor of a column to width, never lowers it.
    void raiseFitFloor(int32_t column, double width);

    std::vector<CellRange>& merges() { return m_merges; }
    const std::vector<CellRange>& merges() const { return m_merges; }
    std::vector<ArrayFormula>& arrayFormulas() { return m_arrayFormulas; }
    const std::vector<ArrayFormula>& arrayFormulas() const { return m_arrayFormulas; }

    double defaultColumnWidth() const { return m_defaultColumnWidth; }
    void setDefaultColumnWidth(double width) { m_defaultColumnWidth = width; }
    double defaultRowHeight() const { return m_defaultRowHeight; }
    void setDefaultRowHeight(double height) { m_defaultRowHeight = height; }

    CellRef selectedCell() const { return m_selectedCell; }
    void setSelectedCell(CellRef ref) { m_selectedCell = ref; }

    // The tables of the sheet. A reader may install a loader that reads them the first time
    // they are asked for, apart from the cells: finding a table by name reads no cells.
    const std::vector<Table>& tables() const;
    std::vector<Table>& mutableTables();
    void setTableLoader(Loader loader) { m_tableLoader = std::move(loader); }
    // For table loaders: the tables read, replacing any the sheet had.
    void setLoadedTables(std::vector<Table> tables) { m_tables = std::move(tables); }
    // The names scoped to this sheet (print areas and titles among them).
    std::vector<DefinedName>& definedNames() { return m_definedNames; }
    const std::vector<DefinedName>& definedNames() const { return m_definedNames; }

    // Conditional formats and data validation rules, in the order of the file.
    std::vector<ConditionalFormat>& conditionalFormats() { return m_conditionalFormats; }
    const std::vector<ConditionalFormat>& conditionalFormats() const {
        return m_conditionalFormats;
    }
    std::vector<DataValidation>& dataValidations() { return m_dataValidations; }
    const std::vector<DataValidation>& dataValidations() const { return m_dataValidations; }

    // How the sheet shows, prints, is protected and filtered.
    SheetSettings& settings() { return m_settings; }
    const SheetSettings& settings() const { return m_settings; }

    // The hyperlinks and notes of the sheet's cells, read with them (ensureLoaded).
    std::vector<Hyperlink>& hyperlinks();
    const std::vector<Hyperlink>& hyperlinks() const;
    std::vector<Comment>& comments();
    const std::vector<Comment>& comments() const;
    // For loaders: the links and notes read.
    void setLoadedNotes(std::vector<Hyperlink> hyperlinks, std::vector<Comment> comments) {
        m_hyperlinks = std::move(hyperlinks);
        m_comments = std::move(comments);
    }

    // The pictures, shapes and charts anchored on the sheet, in their drawing order; read
    // with the cells.
    std::vector<DrawingObject>& drawings() {
        ensureLoaded();
        return m_drawings;
    }
    const std::vector<DrawingObject>& drawings() const {
        ensureLoaded();
        return m_drawings;
    }
    // For readers, while the sheet loads.
    void setLoadedDrawings(std::vector<DrawingObject> drawings) {
        m_drawings = std::move(drawings);
    }

    // The workbook and sheet this one was copied from, when it is a copy from another file.
    const std::optional<SheetOrigin>& origin() const { return m_origin; }
    void setOrigin(std::optional<SheetOrigin> origin) { m_origin = std::move(origin); }

    // What the reader found in the sheet that cannot be carried (pivot tables, controls, ...),
    // filled when the sheet loads. A copy of the sheet does not inherit it: it lacks them.
    UncarriedFeatures& uncarried() { return m_uncarried; }
    const UncarriedFeatures& uncarried() const { return m_uncarried; }

private:
    friend class Workbook;
    void setName(std::string name) { m_name = std::move(name); }
    void countRow(const Row& row);
    void abandonLoad();

    Workbook* m_workbook;
    std::string m_name;
    SheetKind m_kind;
    SheetVisibility m_visibility = SheetVisibility::Visible;
    mutable Loader m_loader;
    mutable std::vector<Row> m_rows;
    mutable uint64_t m_loadCounted = 0;       // by the load under way
    mutable bool m_lastRowUncounted = false;  // appended by the load under way, still growing
    std::vector<ColumnInfo> m_columns;
    std::map<int32_t, double> m_fitFloors;
    std::vector<CellRange> m_merges;
    std::vector<ArrayFormula> m_arrayFormulas;
    mutable Loader m_tableLoader;
    mutable std::vector<Table> m_tables;
    double m_defaultColumnWidth = 8.43;
    double m_defaultRowHeight = 15.0;
    CellRef m_selectedCell;
    std::vector<DefinedName> m_definedNames;
    std::optional<SheetOrigin> m_origin;
    std::vector<ConditionalFormat> m_conditionalFormats;
    std::vector<DataValidation> m_dataValidations;
    UncarriedFeatures m_uncarried;
    SheetSettings m_settings;
    std::vector<Hyperlink> m_hyperlinks;
    std::vector<Comment> m_comments;
    std::vector<DrawingObject> m_drawings;
};

}  // namespace plyfold::engine
