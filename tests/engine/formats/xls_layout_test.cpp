// The layout of .xls sheets: merged cells, columns, rows, view, print setup, protection.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

#include "engine/io/xls/biff_sheet_layout.h"
#include "engine/io/xls/xls_reader.h"
#include "engine/model/workbook.h"
#include "tests/engine/formats/biff_bytes.h"

namespace plyfold::engine::xls {
namespace {

using namespace biff_bytes;

std::string rowRecord(uint16_t row, uint16_t twips, uint16_t flags) {
    return u16le(row) + u16le(0) + u16le(4) + u16le(twips) + u16le(0) + u16le(0) + u16le(flags) +
           u16le(0x0F);
}

std::string colInfo(uint16_t first, uint16_t last, uint16_t width, uint16_t xf, uint16_t flags) {
    return u16le(first) + u16le(last) + u16le(width) + u16le(xf) + u16le(flags) + u16le(0);
}

std::string futureHeader(uint16_t type) {
    return u16le(type) + u16le(0) + std::string(8, '\0');
}

struct Rec {
    uint16_t type;
    std::string data;
};

BiffGlobals biff8Globals() {
    BiffGlobals globals;
    globals.isBiff5Or8 = true;
    return globals;
}

BiffGlobals biff5Globals() {
    BiffGlobals globals = biff8Globals();
    globals.biff8 = false;
    return globals;
}

BiffSheetLayout readLayout(const std::vector<Rec>& records,
                           const BiffGlobals& globals = biff8Globals(),
                           const BiffPalette& palette = BiffPalette(),
                           BiffSheetLayoutReader::StyleOf style = {}) {
    BiffSheetLayoutReader reader(globals, palette, std::move(style));
    BiffRecordCursor none({}, 0);
    for (const Rec& r : records) {
        reader.record(BiffRecord{r.type, r.data}, none);
    }
    return reader.finish();
}

TEST(XlsLayout, RowRecordsGiveHeightsVisibilityAndOutline) {
    struct Case {
        const char* name;
        uint16_t twips;
        uint16_t flags;
        bool kept;
        float height;
        bool hidden;
        bool custom;
        uint8_t level;
        bool collapsed;
    };
    // The sheet's default height is 15 points (300 twips).
    const Case cases[] = {
        {"default height, nothing else", 300, 0x0100, false, 0, false, false, 0, false},
        {"custom height", 600, 0x0140, true, 30, false, true, 0, false},
        {"custom height equal to the default", 300, 0x0140, true, 15, false, true, 0, false},
        {"taller without a custom flag", 400, 0x0100, true, 20, false, false, 0, false},
        {"hidden", 300, 0x0120, true, 0, true, false, 0, false},
        {"outline level 3, collapsed", 300, 0x0113, true, 0, false, false, 3, true},
        {"the high bit of the height is not height", 0x8000 | 300, 0x0100, false, 0, false, false,
         0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BiffSheetLayout layout =
            readLayout({{0x0225, u16le(0) + u16le(300)}, {0x0208, rowRecord(4, c.twips, c.flags)}});
        ASSERT_EQ(layout.rows.size(), c.kept ? 1u : 0u);
        if (!c.kept) {
            continue;
        }
        const Row& row = layout.rows[0];
        EXPECT_EQ(row.index, 4);
        EXPECT_FLOAT_EQ(row.height, c.height);
        EXPECT_EQ(row.hidden, c.hidden);
        EXPECT_EQ(row.customHeight, c.custom);
        EXPECT_EQ(row.outlineLevel, c.level);
        EXPECT_EQ(row.collapsed, c.collapsed);
    }
}

TEST(XlsLayout, ARowsOwnFormatIsItsCellFormatWhenItsFlagSaysSo) {
    // The low 12 bits of the last field name the cell format; the bits above are other flags.
    std::string formatted = rowRecord(3, 300, 0x0180).substr(0, 14) + u16le(0x1000 | 21);
    std::string unflagged = rowRecord(5, 300, 0x0120).substr(0, 14) + u16le(21);
    BiffSheetLayout layout =
        readLayout({{0x0208, formatted}, {0x0208, unflagged}}, biff8Globals(), BiffPalette(),
                   [](uint16_t xf) { return xf == 21 ? 7u : 0u; });
    ASSERT_EQ(layout.rows.size(), 2u);
    EXPECT_EQ(layout.rows[0].style, 7u);
    EXPECT_EQ(layout.rows[1].style, 0u);
}

TEST(XlsLayout, RowsOutOfOrderAreSortedAndTheLastRecordOfARowHolds) {
    BiffSheetLayout layout = readLayout({{0x0208, rowRecord(9, 300, 0x0120)},
                                         {0x0208, rowRecord(2, 500, 0x0140)},
                                         {0x0208, rowRecord(9, 300, 0x0100)},
                                         {0x0208, rowRecord(9, 700, 0x0140)},
                                         {0x0208, rowRecord(5, 300, 0x0120).substr(0, 15)}});
    ASSERT_EQ(layout.rows.size(), 2u);
    EXPECT_EQ(layout.rows[0].index, 2);
    EXPECT_EQ(layout.rows[1].index, 9);
    EXPECT_FALSE(layout.rows[1].hidden);
    EXPECT_FLOAT_EQ(layout.rows[1].height, 35);
}

TEST(XlsLayout, ColumnRunsAreClippedSortedAndStyled) {
    std::vector<uint16_t> styledXfs;
    auto style = [&](uint16_t xf) {
        styledXfs.push_back(xf);
        return uint32_t{100} + xf;
    };
    BiffSheetLayout layout = readLayout(
        {
            {0x0055, u16le(8)},
            {0x007D, colInfo(10, 256, 2222, 15, 0)},            // to the last column, default width
            {0x007D, colInfo(0, 3, 5120, 21, 0x0002)},          // set by the user
            {0x007D, colInfo(2, 5, 3000, 15, 0x1201)},          // overlaps the run before
            {0x007D, colInfo(7, 6, 3000, 15, 0)},               // first after last: no run
            {0x007D, colInfo(300, 310, 3000, 15, 0)},           // past the sheet's columns
            {0x007D, colInfo(8, 8, 1000, 15, 0).substr(0, 9)},  // cut short
        },
        biff8Globals(), BiffPalette(), style);
    ASSERT_EQ(layout.columns.size(), 3u);
    const ColumnInfo& user = layout.columns[0];
    EXPECT_EQ(user.first, 0);
    EXPECT_EQ(user.last, 3);
    EXPECT_DOUBLE_EQ(user.width, 20.0);
    EXPECT_TRUE(user.customWidth);
    EXPECT_EQ(user.style, 121u);
    const ColumnInfo& clipped = layout.columns[1];
    EXPECT_EQ(clipped.first, 4);
    EXPECT_EQ(clipped.last, 5);
    EXPECT_NEAR(clipped.width, 3000 / 256.0, 1e-9);
    EXPECT_TRUE(clipped.customWidth);  // a width of its own though nobody flagged it
    EXPECT_TRUE(clipped.hidden);
    EXPECT_EQ(clipped.outlineLevel, 2);
    EXPECT_TRUE(clipped.collapsed);
    const ColumnInfo& rest = layout.columns[2];
    EXPECT_EQ(rest.first, 10);
    EXPECT_EQ(rest.last, 255);
    EXPECT_EQ(rest.width, 0.0);  // the default columns' width
    EXPECT_FALSE(rest.customWidth);
    EXPECT_EQ(styledXfs, (std::vector<uint16_t>{15, 21, 15}));  // the runs kept, in file order
    ASSERT_TRUE(layout.defaultColumnWidth);
    EXPECT_DOUBLE_EQ(*layout.defaultColumnWidth, 8.71);
}

TEST(XlsLayout, DefaultSizes) {
    struct Case {
        const char* name;
        std::vector<Rec> records;
        std::optional<double> width;
        std::optional<double> height;
    };
    const Case cases[] = {
        {"digits of DEFCOLWIDTH and the margins", {{0x0055, u16le(10)}}, 10.71, std::nullopt},
        {"STANDARDWIDTH wins, in any order",
         {{0x0099, u16le(14 * 256)}, {0x0055, u16le(10)}},
         14.0,
         std::nullopt},
        {"row height in twips; 8 digits wide without DEFCOLWIDTH",
         {{0x0225, u16le(1) + u16le(390)}},
         8.71,
         19.5},
        {"the height of hidden default rows is not the default height",
         {{0x0225, u16le(2) + u16le(0)}},
         8.71,
         std::nullopt},
        {"zero widths and heights are left out",
         {{0x0055, u16le(0)}, {0x0099, u16le(0)}, {0x0225, u16le(0) + u16le(0)}},
         8.71,
         std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BiffSheetLayout layout = readLayout(c.records);
        EXPECT_EQ(layout.defaultColumnWidth, c.width);
        EXPECT_EQ(layout.defaultRowHeight, c.height);
    }
}

TEST(XlsLayout, MergedCellsKeepRangesTheSheetCanHold) {
    std::string data = u16le(5);
    data += u16le(0) + u16le(0) + u16le(0) + u16le(2);   // A1:C1
    data += u16le(4) + u16le(4) + u16le(1) + u16le(1);   // one cell: no merge
    data += u16le(6) + u16le(2) + u16le(0) + u16le(1);   // rows the wrong way round
    data += u16le(9) + u16le(11) + u16le(4) + u16le(6);  // E10:G12
    // The count says five, the record holds four.
    BiffSheetLayout layout = readLayout({{0x00E5, data}, {0x00E5, u16le(3)}});
    ASSERT_EQ(layout.merges.size(), 2u);
    EXPECT_EQ(cellName(layout.merges[0].first) + ":" + cellName(layout.merges[0].last), "A1:C1");
    EXPECT_EQ(cellName(layout.merges[1].first) + ":" + cellName(layout.merges[1].last), "E10:G12");
}

std::string window2(uint16_t flags, uint16_t top = 0, uint16_t left = 0) {
    return u16le(flags) + u16le(top) + u16le(left) + u16le(64) + u16le(0) + u16le(0) + u16le(0) +
           u32le(0);
}

std::string paneRecord(uint16_t x, uint16_t y, uint16_t top, uint16_t left, uint8_t active) {
    return u16le(x) + u16le(y) + u16le(top) + u16le(left) + static_cast<char>(active) + '\0';
}

std::string selectionRecord(uint8_t pane, uint16_t row, uint16_t column) {
    return std::string(1, static_cast<char>(pane)) + u16le(row) + u16le(column) + u16le(0) +
           u16le(1) + u16le(row) + u16le(row) + static_cast<char>(column) +
           static_cast<char>(column);
}

TEST(XlsLayout, WindowAndPanes) {
    struct Case {
        const char* name;
        uint16_t flags;
        std::string pane;
        std::optional<PaneState> state;
        double xSplit;
        double ySplit;
    };
    const Case cases[] = {
        {"frozen", 0x06B6 | 0x0108, paneRecord(1, 1, 1, 1, 0), PaneState::Frozen, 1, 1},
        {"frozen with a split", 0x06B6 | 0x0008, paneRecord(0, 3, 3, 0, 2), PaneState::FrozenSplit,
         0, 3},
        {"split in twips", 0x06B6, paneRecord(2400, 0, 0, 4, 1), PaneState::Split, 2400, 0},
        {"no split", 0x06B6, paneRecord(0, 0, 0, 0, 3), std::nullopt, 0, 0},
        {"frozen past the last column", 0x06B6 | 0x0108, paneRecord(20000, 0, 0, 0, 1),
         std::nullopt, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BiffSheetLayout layout = readLayout({{0x023E, window2(c.flags)}, {0x0041, c.pane}});
        const std::optional<Pane>& pane = layout.settings.view.pane;
        ASSERT_EQ(pane.has_value(), c.state.has_value());
        if (pane) {
            EXPECT_EQ(pane->state, *c.state);
            EXPECT_EQ(pane->xSplit, c.xSplit);
            EXPECT_EQ(pane->ySplit, c.ySplit);
        }
    }
    BiffSheetLayout layout =
        readLayout({{0x023E, window2(0x06B6 | 0x0108)}, {0x0041, paneRecord(1, 1, 1, 1, 3)}});
    EXPECT_EQ(layout.settings.view.pane->activePane, PaneId::TopLeft);
}

TEST(XlsLayout, WindowFlagsZoomAndSelection) {
    // Formulas shown, no grid lines, no headings, zeros hidden, right to left, a grid colour.
    const uint16_t flags = 0x0001 | 0x0040 | 0x0080 | 0x0800;
    BiffSheetLayout layout = readLayout({
        {0x023E, window2(flags, 10, 2)},
        {0x00A0, u16le(3) + u16le(2)},
        {0x0041, paneRecord(0, 2400, 20, 0, 2)},
        {0x001D, selectionRecord(3, 0, 0)},
        {0x001D, selectionRecord(2, 44, 3)},
    });
    const SheetView& view = layout.settings.view;
    EXPECT_TRUE(view.showFormulas);
    EXPECT_FALSE(view.showGridLines);
    EXPECT_FALSE(view.showRowColHeaders);
    EXPECT_FALSE(view.showZeros);
    EXPECT_FALSE(view.defaultGridColor);
    EXPECT_EQ(view.colorId, 64u);
    EXPECT_TRUE(view.rightToLeft);
    EXPECT_EQ(view.view, ViewKind::PageBreakPreview);
    EXPECT_EQ(view.topLeftCell, (CellRef{10, 2}));
    EXPECT_EQ(view.zoomScale, 150u);
    EXPECT_EQ(view.zoomScaleNormal, 0u);
    ASSERT_EQ(view.selections.size(), 2u);
    EXPECT_EQ(view.selections[1].ranges.size(), 1u);
    // The cell of the active pane's selection, not of the first.
    EXPECT_EQ(layout.selectedCell, (CellRef{44, 3}));

    for (const auto& [numerator, denominator] :
         std::vector<std::pair<uint16_t, uint16_t>>{{1, 0}, {0, 1}, {10, 1}, {0xFFFF, 1}}) {
        BiffSheetLayout zoomed = readLayout({{0x00A0, u16le(numerator) + u16le(denominator)}});
        EXPECT_EQ(zoomed.settings.view.zoomScale, 100u) << numerator << "/" << denominator;
    }
}

TEST(XlsLayout, PageLayoutView) {
    const std::string on = futureHeader(0x088B) + u16le(75) + u16le(1);
    const std::string off = futureHeader(0x088B) + u16le(75) + u16le(0);
    BiffSheetLayout layout = readLayout({{0x088B, on}});
    EXPECT_EQ(layout.settings.view.view, ViewKind::PageLayout);
    EXPECT_EQ(layout.settings.view.zoomScalePageLayoutView, 75u);
    EXPECT_EQ(readLayout({{0x088B, off}}).settings.view.view, ViewKind::Normal);
}

TEST(XlsLayout, TabColourThroughThePaletteOrAsRgb) {
    // A PALETTE record that keeps the standard colours 8 to 11 and changes 12.
    BiffPalette palette;
    palette.setCustomColors(u16le(5) +
                            std::string("\0\0\0\0\xFF\xFF\xFF\0\xFF\0\0\0\0\xFF\0\0", 16) +
                            std::string("\x12\x34\x56\x00", 4));
    const std::string plain = futureHeader(0x0862) + u32le(0x14) + u32le(12);
    const std::string withRgb = futureHeader(0x0862) + u32le(0x28) + u32le(10) + u32le(12) +
                                u32le(2) + std::string("\xAB\xCD\xEF\x00", 4) + f64le(0);
    const std::string withTheme =
        futureHeader(0x0862) + u32le(0x28) + u32le(10) + u32le(12) + u32le(3) + u32le(4) + f64le(0);
    struct Case {
        const char* name;
        std::string data;
        Color color;
    };
    const Case cases[] = {
        {"indexed", plain, Color::rgb(0xFF123456)},
        {"rgb", withRgb, Color::rgb(0xFFABCDEF)},
        {"a theme colour falls back to the index", withTheme, Color::rgb(0xFFFF0000)},
        {"no colour", futureHeader(0x0862) + u32le(0x14) + u32le(0x7F), Color{}},
        {"cut short", plain.substr(0, 19), Color{}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BiffSheetLayout layout = readLayout({{0x0862, c.data}}, biff8Globals(), palette);
        EXPECT_EQ(layout.settings.properties.tabColor, c.color);
    }
}

TEST(XlsLayout, TheSelectedTabComesFromTheWindowRecord) {
    const std::string bof = u16le(0x0600) + u16le(0x0005) + std::string(12, '\0');
    auto record = [](uint16_t type, const std::string& data) {
        return u16le(type) + u16le(static_cast<uint32_t>(data.size())) + data;
    };
    const std::string window1 = u16le(0) + u16le(0) + u16le(100) + u16le(100) + u16le(0x38) +
                                u16le(2) + u16le(0) + u16le(1) + u16le(600);
    const std::string stream = record(0x0809, bof) +
                               record(0x0092, u16le(2) + std::string("\x11\x22\x33\x00", 4) +
                                                  std::string("\x44\x55\x66\x00", 4)) +
                               record(0x003D, window1) + record(0x000A, {});
    EXPECT_EQ(readBiffWindowGlobals(stream, biff8Globals()).selectedTab, 2);
}

std::string setupRecord(uint16_t paper, uint16_t scale, uint16_t flags) {
    return u16le(paper) + u16le(scale) + u16le(3) + u16le(2) + u16le(0) + u16le(flags) +
           u16le(300) + u16le(600) + f64le(0.25) + f64le(0.3) + u16le(2);
}

TEST(XlsLayout, PageSetup) {
    struct Case {
        const char* name;
        std::string data;
        uint32_t paper;
        uint32_t scale;
        Orientation orientation;
        PrintedComments comments;
        PrintedErrors errors;
        uint32_t copies;
    };
    const Case cases[] = {
        {"landscape, comments at the end, errors as dashes", setupRecord(9, 80, 0x0A20), 9, 80,
         Orientation::Landscape, PrintedComments::AtEnd, PrintedErrors::Dash, 2},
        {"portrait, comments as shown", setupRecord(8, 100, 0x0022), 8, 100, Orientation::Portrait,
         PrintedComments::AsDisplayed, PrintedErrors::Displayed, 2},
        {"without printer settings the paper and scale are not the file's",
         setupRecord(9, 80, 0x0004), 1, 100, Orientation::Default, PrintedComments::None,
         PrintedErrors::Displayed, 1},
        {"a scale no printer has", setupRecord(9, 4000, 0x0002), 9, 100, Orientation::Portrait,
         PrintedComments::None, PrintedErrors::Displayed, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BiffSheetLayout layout = readLayout({{0x00A1, c.data}});
        ASSERT_TRUE(layout.settings.pageSetup);
        const PageSetup& setup = *layout.settings.pageSetup;
        EXPECT_EQ(setup.paperSize, c.paper);
        EXPECT_EQ(setup.scale, c.scale);
        EXPECT_EQ(setup.orientation, c.orientation);
        EXPECT_EQ(setup.cellComments, c.comments);
        EXPECT_EQ(setup.errors, c.errors);
        EXPECT_EQ(setup.copies, c.copies);
        EXPECT_EQ(setup.fitToWidth, 2u);
        EXPECT_EQ(setup.fitToHeight, 0u);
        EXPECT_DOUBLE_EQ(layout.settings.margins.header, 0.25);
        EXPECT_DOUBLE_EQ(layout.settings.margins.footer, 0.3);
    }
}

TEST(XlsLayout, MarginsPrintOptionsHeadersAndFooters) {
    BiffSheetLayout layout = readLayout({
        {0x0026, f64le(1.5)},
        {0x0029, f64le(2.0)},
        {0x0027, f64le(std::nan(""))},
        {0x0028, f64le(-1)},
        {0x0083, u16le(1)},
        {0x002B, u16le(1)},
        {0x0014, u16le(5) + '\0' + "&CTop"},
        {0x0015, ""},
    });
    const PageMargins& margins = layout.settings.margins;
    EXPECT_DOUBLE_EQ(margins.left, 1.5);
    EXPECT_DOUBLE_EQ(margins.right, 0.75);  // what a sheet prints with without a margin
    EXPECT_DOUBLE_EQ(margins.top, 1.0);
    EXPECT_DOUBLE_EQ(margins.bottom, 2.0);
    ASSERT_TRUE(layout.settings.printOptions);
    EXPECT_TRUE(layout.settings.printOptions->horizontalCentered);
    EXPECT_FALSE(layout.settings.printOptions->verticalCentered);
    EXPECT_TRUE(layout.settings.printOptions->gridLines);
    ASSERT_TRUE(layout.settings.headerFooter);
    EXPECT_EQ(layout.settings.headerFooter->oddHeader, "&CTop");
    EXPECT_EQ(layout.settings.headerFooter->oddFooter, "");

    BiffSheetLayout biff5 =
        readLayout({{0x0015, std::string("\x04", 1) + "&R\xe9x"}}, biff5Globals());
    ASSERT_TRUE(biff5.settings.headerFooter);
    EXPECT_EQ(biff5.settings.headerFooter->oddFooter, "&R\xc3\xa9x");
    // A text longer than its record is left out.
    BiffSheetLayout cut = readLayout({{0x0014, u16le(50) + '\0' + "&CTop"}});
    EXPECT_FALSE(cut.settings.headerFooter);
}

TEST(XlsLayout, PageBreaks) {
    const std::string biff8 = u16le(3) + u16le(10) + u16le(0) + u16le(255) + u16le(0) + u16le(0) +
                              u16le(255) + u16le(20) + u16le(5) + u16le(9);
    BiffSheetLayout layout =
        readLayout({{0x001B, biff8}, {0x001A, u16le(9) + u16le(4) + u16le(0) + u16le(99)}});
    const std::vector<PageBreak>& rows = layout.settings.rowBreaks;
    ASSERT_EQ(rows.size(), 2u);  // a break before the first row breaks nothing
    EXPECT_EQ(rows[0].line, 9);  // after the tenth row
    EXPECT_EQ(rows[0].max, 255);
    EXPECT_EQ(rows[1].line, 19);
    EXPECT_EQ(rows[1].min, 5);
    EXPECT_EQ(rows[1].max, 9);
    EXPECT_TRUE(rows[1].manual);
    ASSERT_EQ(layout.settings.columnBreaks.size(), 1u);  // the count says more than it holds
    EXPECT_EQ(layout.settings.columnBreaks[0].line, 3);

    BiffSheetLayout biff5 = readLayout({{0x001B, u16le(2) + u16le(4) + u16le(8)}}, biff5Globals());
    ASSERT_EQ(biff5.settings.rowBreaks.size(), 2u);
    EXPECT_EQ(biff5.settings.rowBreaks[1].line, 7);
}

TEST(XlsLayout, Protection) {
    const std::string allowFormatColumnsAndSort =
        futureHeader(0x0867) + u16le(2) + '\0' + u32le(0xFFFFFFFF) + u32le(1 << 3 | 1 << 11);
    BiffSheetLayout layout = readLayout({{0x0012, u16le(1)},
                                         {0x0063, u16le(1)},
                                         {0x0013, u16le(0xDAA7)},
                                         {0x0867, allowFormatColumnsAndSort}});
    ASSERT_TRUE(layout.settings.protection);
    const SheetProtection& p = *layout.settings.protection;
    EXPECT_TRUE(p.sheet);
    EXPECT_EQ(p.password, "DAA7");
    EXPECT_TRUE(p.objects);
    EXPECT_FALSE(p.formatColumns);
    EXPECT_FALSE(p.sort);
    EXPECT_TRUE(p.formatCells);
    EXPECT_TRUE(p.selectLockedCells);

    // Flags of a sheet that is not protected protect nothing.
    BiffSheetLayout open = readLayout({{0x0012, u16le(0)}, {0x0063, u16le(1)}});
    EXPECT_FALSE(open.settings.protection);
}

TEST(XlsLayout, SheetOptionsAndOutlineLevels) {
    BiffSheetLayout layout = readLayout({{0x0081, u16le(0x0001 | 0x0080 | 0x0100 | 0x0400)},
                                         {0x0080, u16le(0) + u16le(0) + u16le(3) + u16le(0)}});
    const SheetProperties& properties = layout.settings.properties;
    EXPECT_FALSE(properties.summaryBelow);
    EXPECT_TRUE(properties.summaryRight);
    EXPECT_TRUE(properties.fitToPage);
    EXPECT_TRUE(properties.autoPageBreaks);
    EXPECT_TRUE(properties.showOutlineSymbols);
    EXPECT_EQ(layout.settings.outlineLevelRow, 2);
    EXPECT_EQ(layout.settings.outlineLevelColumn, 0);
}

std::string objectOfKind(uint16_t kind) {
    return u16le(0x15) + u16le(0x12) + u16le(kind) + u16le(1) + u16le(0) + std::string(12, '\0');
}

TEST(XlsLayout, WhatCannotBeCarriedIsNamedOnce) {
    struct Case {
        const char* name;
        std::vector<Rec> records;
        std::vector<std::string> features;
    };
    const Case cases[] = {
        {"a note and a drop-down arrow are not drawings",
         {{0x005D, objectOfKind(0x19)}, {0x005D, objectOfKind(0x14)}},
         {}},
        {"two charts, a picture and a rectangle",
         {{0x005D, objectOfKind(5)},
          {0x005D, objectOfKind(8)},
          {0x005D, objectOfKind(5)},
          {0x005D, objectOfKind(2)}},
         {"charts", "pictures", "shapes"}},
        {"a button", {{0x005D, objectOfKind(7)}}, {"form or ActiveX controls"}},
        {"rules and filters",
         {{0x01B0, "x"}, {0x01B0, "y"}, {0x01B2, "z"}, {0x009D, u16le(2)}},
         {"conditional formats", "data validation", "autofilter"}},
        {"an object cut short", {{0x005D, objectOfKind(5).substr(0, 5)}}, {}},
        {"a pivot table, scenarios and a range unlocked by password",
         {{0x00B0, std::string(44, '\0')},
          {0x00AE, u16le(1)},
          {0x0868, futureHeader(0x0868) + u16le(2)},
          {0x0868, futureHeader(0x0868) + u16le(3)}},
         {"pivot table (its cells are kept as values)", "scenarios",
          "ranges unlocked by password"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(readLayout(c.records).uncarried.list(), c.features);
    }
}

// The workbook LibreOffice saved from make_layout_case.py, against the facts of LibreOffice's
// own conversion of it to .xlsx (layout.txt, written by dump_layout.py).
class LayoutCase : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string folder = std::string(PLYFOLD_SOURCE_DIR) + "/tests/data/xls-layout/";
        workbook = readXls(folder + "input.xls");
        std::ifstream in(folder + "layout.txt");
        std::string line;
        while (std::getline(in, line)) {
            std::vector<std::string> fields;
            std::stringstream split(line);
            std::string field;
            while (std::getline(split, field, '\t')) {
                fields.push_back(field);
            }
            if (line.back() == '\t') {
                fields.emplace_back();
            }
            facts.push_back(fields);
        }
        ASSERT_GT(facts.size(), 40u);
    }

    std::vector<std::string> factsOf(const std::string& sheet, const std::string& kind) const {
        std::vector<std::string> found;
        for (const auto& fact : facts) {
            if (fact[0] == sheet && fact[1] == kind) {
                found.push_back(fact.size() > 3 ? fact[2] + " " + fact[3] : fact[2]);
            }
        }
        return found;
    }

    std::unique_ptr<Workbook> workbook;
    std::vector<std::vector<std::string>> facts;
};

std::string twoDecimals(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

TEST_F(LayoutCase, MergesRowsAndHiddenColumnsEqualTheConversion) {
    for (const std::string sheetName : {"Layout", "Wide RTL", "Features"}) {
        SCOPED_TRACE(sheetName);
        const Sheet& sheet = *workbook->findSheet(sheetName);
        sheet.ensureLoaded();
        std::vector<std::string> merges;
        for (const CellRange& range : sheet.merges()) {
            merges.push_back(cellName(range.first) + ":" + cellName(range.last));
        }
        std::sort(merges.begin(), merges.end());
        EXPECT_EQ(merges, factsOf(sheetName, "merge"));
        std::vector<std::string> hidden;
        std::vector<std::string> heights;
        std::vector<std::string> outlines;
        for (const Row& row : sheet.rows()) {
            const std::string number = std::to_string(row.index + 1);
            if (row.hidden) {
                hidden.push_back(number);
            }
            if (row.height > 0 && std::abs(row.height - sheet.defaultRowHeight()) > 0.01) {
                heights.push_back(number + " " + twoDecimals(row.height));
            }
            if (row.outlineLevel) {
                outlines.push_back(number + " " + std::to_string(row.outlineLevel));
            }
        }
        for (auto* list : {&hidden, &heights, &outlines}) {
            std::sort(list->begin(), list->end());
        }
        EXPECT_EQ(hidden, factsOf(sheetName, "row hidden"));
        EXPECT_EQ(heights, factsOf(sheetName, "row height"));
        EXPECT_EQ(outlines, factsOf(sheetName, "row outline"));
        EXPECT_EQ(twoDecimals(sheet.defaultRowHeight()),
                  factsOf(sheetName, "default row height").at(0));
        std::vector<std::string> hiddenColumns;
        std::vector<std::string> columnOutlines;
        for (const ColumnInfo& column : sheet.columns()) {
            const std::string span =
                std::to_string(column.first + 1) + "-" + std::to_string(column.last + 1);
            if (column.hidden) {
                hiddenColumns.push_back(span);
            }
            if (column.outlineLevel) {
                columnOutlines.push_back(span + " " + std::to_string(column.outlineLevel));
            }
        }
        EXPECT_EQ(hiddenColumns, factsOf(sheetName, "column hidden"));
        EXPECT_EQ(columnOutlines, factsOf(sheetName, "column outline"));
    }
}

TEST_F(LayoutCase, ColumnWidthsAreWithinHalfACharacterOfTheConversion) {
    for (const std::string sheetName : {"Layout", "Wide RTL", "Features"}) {
        SCOPED_TRACE(sheetName);
        const Sheet& sheet = *workbook->findSheet(sheetName);
        sheet.ensureLoaded();
        const double theirDefault = std::stod(factsOf(sheetName, "default column width").at(0));
        std::map<int32_t, double> theirs;
        for (const std::string& fact : factsOf(sheetName, "column width")) {
            int first = 0;
            int last = 0;
            double width = 0;
            ASSERT_EQ(std::sscanf(fact.c_str(), "%d-%d %lf", &first, &last, &width), 3);
            for (int column = first; column <= last; ++column) {
                theirs[column - 1] = width;
            }
        }
        for (int32_t column = 0; column < 256; ++column) {
            const double ours = sheet.columnWidth(column) > 0 ? sheet.columnWidth(column)
                                                              : sheet.defaultColumnWidth();
            const double expected = theirs.count(column) ? theirs[column] : theirDefault;
            EXPECT_NEAR(ours, expected, 0.5) << "column " << column + 1;
        }
    }
}

TEST_F(LayoutCase, PrintingProtectionAndViewEqualTheConversion) {
    const Sheet& sheet = *workbook->findSheet("Layout");
    sheet.ensureLoaded();
    const SheetSettings& settings = sheet.settings();
    const PageMargins& m = settings.margins;
    EXPECT_EQ(twoDecimals(m.left) + " " + twoDecimals(m.right) + " " + twoDecimals(m.top) + " " +
                  twoDecimals(m.bottom) + " " + twoDecimals(m.header) + " " + twoDecimals(m.footer),
              factsOf("Layout", "margins").at(0));
    ASSERT_TRUE(settings.pageSetup);
    EXPECT_EQ(settings.pageSetup->orientation, Orientation::Landscape);
    EXPECT_EQ(std::to_string(settings.pageSetup->paperSize), factsOf("Layout", "paper size")[0]);
    EXPECT_EQ(std::to_string(settings.pageSetup->fitToWidth) + " " +
                  std::to_string(settings.pageSetup->fitToHeight),
              factsOf("Layout", "fit to")[0]);
    EXPECT_TRUE(settings.properties.fitToPage);
    ASSERT_TRUE(settings.printOptions);
    EXPECT_TRUE(settings.printOptions->horizontalCentered);
    EXPECT_TRUE(settings.printOptions->gridLines);
    EXPECT_TRUE(settings.printOptions->headings);
    ASSERT_TRUE(settings.headerFooter);
    EXPECT_EQ(settings.headerFooter->oddHeader, "&C" + factsOf("Layout", "header")[0]);
    EXPECT_EQ(settings.headerFooter->oddFooter, "&R" + factsOf("Layout", "footer")[0]);
    ASSERT_EQ(settings.rowBreaks.size(), 1u);
    EXPECT_EQ(std::to_string(settings.rowBreaks[0].line + 1), factsOf("Layout", "row break")[0]);
    ASSERT_EQ(settings.columnBreaks.size(), 1u);
    EXPECT_EQ(std::to_string(settings.columnBreaks[0].line + 1),
              factsOf("Layout", "column break")[0]);
    ASSERT_TRUE(settings.protection);
    EXPECT_EQ("True " + settings.protection->password + " formatColumns " +
                  (settings.protection->formatColumns ? "True" : "False"),
              factsOf("Layout", "protected")[0]);

    const Sheet& wide = *workbook->findSheet("Wide RTL");
    wide.ensureLoaded();
    EXPECT_TRUE(wide.settings().view.rightToLeft);
    EXPECT_FALSE(wide.settings().protection);
    const Color tab = wide.settings().properties.tabColor;
    char argb[16];
    std::snprintf(argb, sizeof argb, "%08X", tab.argb);
    EXPECT_EQ(argb, factsOf("Wide RTL", "tab colour")[0]);
    EXPECT_EQ(workbook->sheet(workbook->activeSheet()).name(),
              factsOf("(workbook)", "active sheet")[0]);

    const Sheet& features = *workbook->findSheet("Features");
    features.ensureLoaded();
    EXPECT_EQ(features.uncarried().list(),
              (std::vector<std::string>{"autofilter", "data validation", "charts",
                                        "conditional formats"}));
}

}  // namespace
}  // namespace plyfold::engine::xls
