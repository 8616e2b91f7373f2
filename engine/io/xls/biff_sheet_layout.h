#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "engine/io/xls/biff_globals.h"
#include "engine/io/xls/biff_records.h"
#include "engine/io/xls/biff_styles.h"
#include "engine/model/limits.h"
#include "engine/model/sheet.h"

namespace plyfold::engine::xls {

// What the globals of a workbook stream say about the window: the sheet whose tab is
// selected (counted over every sheet the globals list).
struct BiffWindowGlobals {
    uint16_t selectedTab = 0;
};

// Reads WINDOW1 from the globals; stops quietly at damage.
BiffWindowGlobals readBiffWindowGlobals(std::string_view stream, const BiffGlobals& globals);

// How a sheet is laid out, read from its records: merged cells, columns and rows, the view,
// the print setup and protection, and what the sheet holds that the model cannot carry.
struct BiffSheetLayout {
    std::vector<Row> rows;  // by index, without cells: rows whose record says something
    std::vector<ColumnInfo> columns;
    std::vector<CellRange> merges;
    std::optional<double> defaultColumnWidth;  // in characters, margins included
    std::optional<double> defaultRowHeight;
    std::optional<CellRef> selectedCell;
    SheetSettings settings;
    UncarriedFeatures uncarried;
};

// Handed the records of one sheet that are not cells, keeps those of its layout. A record cut
// short is left out: the layout is what the sheet shows, never worth losing its cells for.
class BiffSheetLayoutReader {
public:
    // The workbook style id of a cell format (XF) index, for the styles of columns and rows.
    using StyleOf = std::function<uint32_t(uint16_t xf)>;

    BiffSheetLayoutReader(const BiffGlobals& globals, const BiffPalette& palette,
                          StyleOf styleOf = {});

    void record(const BiffRecord& record, BiffRecordCursor& records);
    // The layout read; the reader is spent.
    BiffSheetLayout finish();

private:
    void row(std::string_view data);
    void earlyRow(std::string_view data);
    void columnInfo(std::string_view data);
    void earlyColumnWidth(std::string_view data);
    void mergedCells(std::string_view data);
    void window(std::string_view data);
    void pane(std::string_view data);
    void selection(std::string_view data);
    void sheetExtension(std::string_view data);
    void setup(std::string_view data);
    void pageBreaks(std::string_view data, std::vector<PageBreak>& breaks, bool rows);
    void headerFooter(const BiffRecord& record, BiffRecordCursor& records, bool header);
    void protectionFlags(std::string_view data);
    void drawingObject(std::string_view data);
    PrintOptions& printOptions();
    SheetProtection& protection();

    const BiffGlobals& m_globals;
    const BiffPalette& m_palette;
    StyleOf m_styleOf;
    BiffSheetLayout m_layout;
    std::optional<uint16_t> m_windowFlags;  // of WINDOW2, which PANE reads
    bool m_rowsSorted = true;
    std::optional<double> m_standardWidth;  // of STANDARDWIDTH, in characters
    double m_baseWidth = 8.0;               // of DEFCOLWIDTH, in digits without margins
};

// Puts the layout's rows into a sheet that is loading, between the rows of its cells: the
// cells' rows come in ascending order, each told to beforeRow first and then to apply.
class BiffRowFormats {
public:
    explicit BiffRowFormats(const std::vector<Row>& formats) : m_formats(formats) {}
    // Appends the rows with a format of their own that come before index.
    void appendBefore(Sheet& sheet, int32_t index);
    // Gives row the format of its record, if it has one.
    void apply(Row& row);
    // Appends the rows left after the last row of cells.
    void appendRest(Sheet& sheet) { appendBefore(sheet, kMaxRows); }
    // Whether the row or the column has a format of its own, which a cell of the default
    // format hides.
    bool formatsCell(int32_t row, int32_t column, const std::vector<ColumnInfo>& columns) const;

private:
    const std::vector<Row>& m_formats;
    size_t m_next = 0;
};

// Gives a sheet that is loading what the layout holds besides its rows.
void applySheetLayout(BiffSheetLayout& layout, Sheet& sheet);

}  // namespace plyfold::engine::xls
