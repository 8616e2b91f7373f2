#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/model/cell_ref.h"
#include "engine/model/style.h"

namespace plyfold::engine {

// The settings of a worksheet as a whole: how it shows (views, panes, tab colour), how it
// prints, how it is protected and filtered. A sheet copy carries them; a paste leaves the
// target sheet its own. Values left at their defaults are not written.

// sheetPr: the tab, the outline's summary lines and the page fit.
struct SheetProperties {
    Color tabColor;
    bool summaryBelow = true;  // outline summary rows below their details
    bool summaryRight = true;  // outline summary columns right of their details
    bool applyOutlineStyles = false;
    bool showOutlineSymbols = true;
    bool fitToPage = false;
    bool autoPageBreaks = true;
    bool filterMode = false;  // an autofilter hides rows
    friend bool operator==(const SheetProperties&, const SheetProperties&) = default;
};

enum class PaneId : uint8_t { BottomRight, TopRight, BottomLeft, TopLeft };
enum class PaneState : uint8_t { Split, Frozen, FrozenSplit };

// A split (in twentieths of a point) or frozen (in rows and columns) window.
struct Pane {
    double xSplit = 0.0;
    double ySplit = 0.0;
    std::optional<CellRef> topLeftCell;  // of the bottom-right pane
    PaneId activePane = PaneId::TopLeft;
    PaneState state = PaneState::Split;
    friend bool operator==(const Pane&, const Pane&) = default;
};

// The selected cells of one pane.
struct Selection {
    PaneId pane = PaneId::TopLeft;
    std::optional<CellRef> activeCell;
    std::vector<CellRange> ranges;
    friend bool operator==(const Selection&, const Selection&) = default;
};

enum class ViewKind : uint8_t { Normal, PageBreakPreview, PageLayout };

// The sheet's first window. The selected cell of its active pane is Sheet::selectedCell(),
// which the object model sets; the tab selected is the workbook's active sheet.
struct SheetView {
    bool showGridLines = true;
    bool showRowColHeaders = true;
    bool showZeros = true;
    bool showFormulas = false;
    bool rightToLeft = false;
    bool showRuler = true;
    bool showOutlineSymbols = true;
    bool showWhiteSpace = true;
    bool defaultGridColor = true;
    bool windowProtection = false;
    ViewKind view = ViewKind::Normal;
    std::optional<CellRef> topLeftCell;
    uint32_t colorId = 64;
    uint32_t zoomScale = 100;  // 10..400
    uint32_t zoomScaleNormal = 0;
    uint32_t zoomScalePageLayoutView = 0;
    uint32_t zoomScaleSheetLayoutView = 0;
    std::optional<Pane> pane;
    std::vector<Selection> selections;
    friend bool operator==(const SheetView&, const SheetView&) = default;
};

struct PrintOptions {
    bool horizontalCentered = false;
    bool verticalCentered = false;
    bool headings = false;
    bool gridLines = false;
    bool gridLinesSet = true;
    friend bool operator==(const PrintOptions&, const PrintOptions&) = default;
};

// In inches.
struct PageMargins {
    double left = 0.7;
    double right = 0.7;
    double top = 0.75;
    double bottom = 0.75;
    double header = 0.3;
    double footer = 0.3;
    friend bool operator==(const PageMargins&, const PageMargins&) = default;
};

enum class Orientation : uint8_t { Default, Portrait, Landscape };
enum class PageOrder : uint8_t { DownThenOver, OverThenDown };
enum class PrintedComments : uint8_t { None, AsDisplayed, AtEnd };
enum class PrintedErrors : uint8_t { Displayed, Blank, Dash, NotAvailable };

// What the printer is told. The printer driver's own settings (a binary part) are not kept.
struct PageSetup {
    uint32_t paperSize = 1;
    std::string paperHeight;  // with units, "297mm"; empty when not given
    std::string paperWidth;
    uint32_t scale = 100;
    uint32_t firstPageNumber = 1;
    uint32_t fitToWidth = 1;
    uint32_t fitToHeight = 1;
    PageOrder pageOrder = PageOrder::DownThenOver;
    Orientation orientation = Orientation::Default;
    bool usePrinterDefaults = true;
    bool blackAndWhite = false;
    bool draft = false;
    PrintedComments cellComments = PrintedComments::None;
    bool useFirstPageNumber = false;
    PrintedErrors errors = PrintedErrors::Displayed;
    uint32_t horizontalDpi = 600;
    uint32_t verticalDpi = 600;
    uint32_t copies = 1;
    friend bool operator==(const PageSetup&, const PageSetup&) = default;
};

// Header and footer texts with their &-codes, as written.
struct HeaderFooter {
    bool differentOddEven = false;
    bool differentFirst = false;
    bool scaleWithDoc = true;
    bool alignWithMargins = true;
    std::string oddHeader;
    std::string oddFooter;
    std::string evenHeader;
    std::string evenFooter;
    std::string firstHeader;
    std::string firstFooter;
    friend bool operator==(const HeaderFooter&, const HeaderFooter&) = default;
};

// A page break before row (or column) `line` + 1, 0-based: the break lies after `line`.
struct PageBreak {
    int32_t line = 0;
    int32_t min = 0;  // the span of columns (or rows) it crosses, 0-based
    int32_t max = 0;
    bool manual = true;
    bool pivotTable = false;
    friend bool operator==(const PageBreak&, const PageBreak&) = default;
};

// sheetProtection: every flag as written (true for the "sheet", "objects" and "scenarios"
// flags means protected; for the others true means the action is not allowed), and the
// password's hash, kept as it is.
struct SheetProtection {
    std::string password;  // the legacy 16-bit hash, hexadecimal
    std::string algorithmName;
    std::string hashValue;
    std::string saltValue;
    uint32_t spinCount = 0;
    bool sheet = false;
    bool objects = false;
    bool scenarios = false;
    bool formatCells = true;
    bool formatColumns = true;
    bool formatRows = true;
    bool insertColumns = true;
    bool insertRows = true;
    bool insertHyperlinks = true;
    bool deleteColumns = true;
    bool deleteRows = true;
    bool selectLockedCells = false;
    bool sort = true;
    bool autoFilter = true;
    bool pivotTables = true;
    bool selectUnlockedCells = false;
    friend bool operator==(const SheetProtection&, const SheetProtection&) = default;
};

enum class FilterKind : uint8_t { Values, Custom, Top10, Dynamic };

enum class FilterOperator : uint8_t {
    Equal,
    LessThan,
    LessThanOrEqual,
    NotEqual,
    GreaterThanOrEqual,
    GreaterThan
};

struct CustomFilter {
    FilterOperator op = FilterOperator::Equal;
    std::string value;  // as written: a number, or a text with * and ? wildcards
    friend bool operator==(const CustomFilter&, const CustomFilter&) = default;
};

// A group of dates a value filter keeps: the year, and down to the grouping's level.
struct DateGroup {
    std::string grouping;  // year, month, day, hour, minute, second
    uint32_t year = 0;
    uint32_t month = 0;
    uint32_t day = 0;
    uint32_t hour = 0;
    uint32_t minute = 0;
    uint32_t second = 0;
    friend bool operator==(const DateGroup&, const DateGroup&) = default;
};

// The criteria of one column of an autofilter; column counts from the filter's first.
struct FilterColumn {
    int32_t column = 0;
    bool hiddenButton = false;
    bool showButton = true;
    FilterKind kind = FilterKind::Values;
    // Values: the texts kept, blanks kept, dates kept.
    std::vector<std::string> values;
    bool blank = false;
    std::vector<DateGroup> dateGroups;
    // Custom: one or two conditions, joined by "and" or by "or".
    bool matchAll = false;
    std::vector<CustomFilter> custom;
    // Top 10: the top (or bottom) `value` items (or percent).
    bool top = true;
    bool percent = false;
    double value = 0.0;
    std::optional<double> filterValue;
    // Dynamic: a type such as "aboveAverage" or "thisMonth", with its computed bounds.
    std::string dynamicType;
    std::optional<double> dynamicValue;
    std::optional<double> dynamicMaxValue;
    friend bool operator==(const FilterColumn&, const FilterColumn&) = default;
};

struct SortCondition {
    CellRange range;
    bool descending = false;
    friend bool operator==(const SortCondition&, const SortCondition&) = default;
};

struct SortState {
    CellRange range;
    bool columnSort = false;
    bool caseSensitive = false;
    std::vector<SortCondition> conditions;
    friend bool operator==(const SortState&, const SortState&) = default;
};

struct AutoFilter {
    CellRange range;
    std::vector<FilterColumn> columns;
    std::optional<SortState> sortState;
    friend bool operator==(const AutoFilter&, const AutoFilter&) = default;
};

struct SheetSettings {
    SheetProperties properties;
    SheetView view;
    // sheetFormatPr's deepest outline levels of the rows and of the columns.
    uint8_t outlineLevelRow = 0;
    uint8_t outlineLevelColumn = 0;
    std::optional<SheetProtection> protection;
    std::optional<AutoFilter> autoFilter;
    std::optional<PrintOptions> printOptions;
    PageMargins margins;
    std::optional<PageSetup> pageSetup;
    std::optional<HeaderFooter> headerFooter;
    std::vector<PageBreak> rowBreaks;
    std::vector<PageBreak> columnBreaks;
    friend bool operator==(const SheetSettings&, const SheetSettings&) = default;
};

// Most breaks, filter columns, selections and values a reader keeps of one sheet; the format
// allows 1,026 breaks a sheet.
inline constexpr size_t kMaxPageBreaks = 1026;
inline constexpr size_t kMaxFilterColumns = 16384;
inline constexpr size_t kMaxFilterValues = 100000;

}  // namespace plyfold::engine
