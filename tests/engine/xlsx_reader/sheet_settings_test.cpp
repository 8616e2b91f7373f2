// The settings of a sheet (views, print setup, protection, autofilter, outline), gradient
// fills, and what the reader notes as not carried: read from parts made for them, written
// and read back unchanged, malformed ones dropped with a note, hostile ones refused.

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/common/error.h"
#include "engine/io/xlsx/xlsx_reader.h"
#include "engine/io/xlsx/xlsx_writer.h"
#include "engine/io/xlsx/zip_writer.h"
#include "engine/model/cell_ref.h"
#include "engine/model/workbook.h"
#include "test_package.h"

namespace plyfold::engine {
namespace {

using test::sheetDataXml;
using test::TestPackage;
using test::worksheetXml;

constexpr const char* kRows = "<row r=\"3\"><c r=\"C3\"><v>1</v></c></row>";

// Every setting away from its default, in the schema's order.
const std::string kAllSettings =
    "<sheetPr filterMode=\"1\"><tabColor rgb=\"FF1072BA\"/>"
    "<outlinePr summaryBelow=\"0\" summaryRight=\"0\" applyStyles=\"1\"/>"
    "<pageSetUpPr fitToPage=\"1\" autoPageBreaks=\"0\"/></sheetPr>"
    "<dimension ref=\"C3\"/>"
    "<sheetViews><sheetView showGridLines=\"0\" showRowColHeaders=\"0\" showZeros=\"0\" "
    "rightToLeft=\"1\" tabSelected=\"1\" zoomScale=\"150\" zoomScaleNormal=\"120\" "
    "view=\"pageBreakPreview\" topLeftCell=\"B2\" workbookViewId=\"0\">"
    "<pane xSplit=\"2\" ySplit=\"4\" topLeftCell=\"C5\" activePane=\"bottomRight\" "
    "state=\"frozen\"/><selection pane=\"topRight\" activeCell=\"C1\" sqref=\"C1\"/>"
    "<selection pane=\"bottomRight\" sqref=\"D6:E7 G9\"/></sheetView>"
    "<sheetView workbookViewId=\"1\" zoomScale=\"50\"/></sheetViews>"
    "<sheetFormatPr defaultRowHeight=\"15\" outlineLevelRow=\"2\" outlineLevelCol=\"1\"/>"
    "<cols><col min=\"4\" max=\"5\" width=\"9\" customWidth=\"1\" outlineLevel=\"1\" "
    "collapsed=\"1\"/></cols>" +
    sheetDataXml(std::string(kRows) +
                 "<row r=\"6\" outlineLevel=\"1\"/><row r=\"7\" outlineLevel=\"2\" hidden=\"1\"/>"
                 "<row r=\"8\" collapsed=\"1\"/>") +
    "<sheetProtection password=\"DAA7\" algorithmName=\"SHA-512\" hashValue=\"aGFzaA==\" "
    "saltValue=\"c2FsdA==\" spinCount=\"100000\" sheet=\"1\" objects=\"1\" formatColumns=\"0\" "
    "sort=\"0\" selectLockedCells=\"1\"/>"
    "<autoFilter ref=\"C3:F15\"><filterColumn colId=\"0\" hiddenButton=\"1\"><filters "
    "blank=\"1\"><filter val=\"a &amp; b\"/><dateGroupItem year=\"2024\" month=\"3\" "
    "dateTimeGrouping=\"month\"/></filters></filterColumn>"
    "<filterColumn colId=\"1\"><customFilters and=\"1\"><customFilter operator=\"greaterThan\" "
    "val=\"5\"/><customFilter operator=\"notEqual\" val=\"a*\"/></customFilters></filterColumn>"
    "<filterColumn colId=\"2\"><top10 top=\"0\" percent=\"1\" val=\"25\" filterVal=\"3\"/>"
    "</filterColumn><filterColumn colId=\"3\"><dynamicFilter type=\"aboveAverage\" "
    "val=\"4.5\"/></filterColumn><sortState ref=\"C4:F15\" caseSensitive=\"1\"><sortCondition "
    "descending=\"1\" ref=\"D4:D15\"/></sortState></autoFilter>"
    "<mergeCells count=\"1\"><mergeCell ref=\"H1:I2\"/></mergeCells>"
    "<printOptions horizontalCentered=\"1\" gridLines=\"1\" headings=\"1\"/>"
    "<pageMargins left=\"1.25\" right=\"0.5\" top=\"1.5\" bottom=\"0.25\" header=\"0.4\" "
    "footer=\"0.2\"/>"
    "<pageSetup paperSize=\"9\" scale=\"80\" firstPageNumber=\"7\" fitToWidth=\"2\" "
    "fitToHeight=\"0\" pageOrder=\"overThenDown\" orientation=\"landscape\" "
    "blackAndWhite=\"1\" cellComments=\"atEnd\" useFirstPageNumber=\"1\" errors=\"dash\" "
    "r:id=\"rId9\"/>"
    "<headerFooter differentOddEven=\"1\" differentFirst=\"1\"><oddHeader>&amp;CPage &amp;P"
    "</oddHeader><oddFooter>&amp;R&amp;D</oddFooter><evenHeader>even</evenHeader>"
    "<firstFooter> first </firstFooter></headerFooter>"
    "<rowBreaks count=\"2\" manualBreakCount=\"2\"><brk id=\"20\" max=\"16383\" man=\"1\"/>"
    "<brk id=\"40\" min=\"2\" max=\"9\" man=\"1\"/></rowBreaks>"
    "<colBreaks count=\"1\"><brk id=\"4\" max=\"1048575\"/></colBreaks>";

SheetSettings expectedSettings() {
    SheetSettings s;
    s.properties.tabColor = Color::rgb(0xFF1072BA);
    s.properties.summaryBelow = false;
    s.properties.summaryRight = false;
    s.properties.applyOutlineStyles = true;
    s.properties.fitToPage = true;
    s.properties.autoPageBreaks = false;
    s.properties.filterMode = true;
    SheetView& v = s.view;
    v.showGridLines = false;
    v.showRowColHeaders = false;
    v.showZeros = false;
    v.rightToLeft = true;
    v.zoomScale = 150;
    v.zoomScaleNormal = 120;
    v.view = ViewKind::PageBreakPreview;
    v.topLeftCell = CellRef{1, 1};
    v.pane = Pane{2, 4, CellRef{4, 2}, PaneId::BottomRight, PaneState::Frozen};
    v.selections = {Selection{PaneId::TopRight, CellRef{0, 2}, {CellRange{{0, 2}, {0, 2}}}},
                    Selection{PaneId::BottomRight,
                              std::nullopt,
                              {CellRange{{5, 3}, {6, 4}}, CellRange{{8, 6}, {8, 6}}}}};
    s.outlineLevelRow = 2;
    s.outlineLevelColumn = 1;
    SheetProtection& p = s.protection.emplace();
    p.password = "DAA7";
    p.algorithmName = "SHA-512";
    p.hashValue = "aGFzaA==";
    p.saltValue = "c2FsdA==";
    p.spinCount = 100000;
    p.sheet = true;
    p.objects = true;
    p.formatColumns = false;
    p.sort = false;
    p.selectLockedCells = true;
    AutoFilter& f = s.autoFilter.emplace();
    f.range = CellRange{{2, 2}, {14, 5}};
    FilterColumn values;
    values.column = 0;
    values.hiddenButton = true;
    values.blank = true;
    values.values = {"a & b"};
    values.dateGroups = {DateGroup{"month", 2024, 3, 0, 0, 0, 0}};
    FilterColumn custom;
    custom.column = 1;
    custom.kind = FilterKind::Custom;
    custom.matchAll = true;
    custom.custom = {CustomFilter{FilterOperator::GreaterThan, "5"},
                     CustomFilter{FilterOperator::NotEqual, "a*"}};
    FilterColumn top;
    top.column = 2;
    top.kind = FilterKind::Top10;
    top.top = false;
    top.percent = true;
    top.value = 25;
    top.filterValue = 3;
    FilterColumn dynamic;
    dynamic.column = 3;
    dynamic.kind = FilterKind::Dynamic;
    dynamic.dynamicType = "aboveAverage";
    dynamic.dynamicValue = 4.5;
    f.columns = {values, custom, top, dynamic};
    f.sortState = SortState{
        CellRange{{3, 2}, {14, 5}}, false, true, {SortCondition{CellRange{{3, 3}, {14, 3}}, true}}};
    s.printOptions = PrintOptions{true, false, true, true, true};
    s.margins = PageMargins{1.25, 0.5, 1.5, 0.25, 0.4, 0.2};
    PageSetup& setup = s.pageSetup.emplace();
    setup.paperSize = 9;
    setup.scale = 80;
    setup.firstPageNumber = 7;
    setup.fitToWidth = 2;
    setup.fitToHeight = 0;
    setup.pageOrder = PageOrder::OverThenDown;
    setup.orientation = Orientation::Landscape;
    setup.blackAndWhite = true;
    setup.cellComments = PrintedComments::AtEnd;
    setup.useFirstPageNumber = true;
    setup.errors = PrintedErrors::Dash;
    HeaderFooter& texts = s.headerFooter.emplace();
    texts.differentOddEven = true;
    texts.differentFirst = true;
    texts.oddHeader = "&CPage &P";
    texts.oddFooter = "&R&D";
    texts.evenHeader = "even";
    texts.firstFooter = " first ";
    s.rowBreaks = {PageBreak{19, 0, 16383, true, false}, PageBreak{39, 2, 9, true, false}};
    s.columnBreaks = {PageBreak{3, 0, 1048575, false, false}};
    return s;
}

std::unique_ptr<Workbook> open(const std::string& bytes) {
    return readXlsxFromMemory(bytes, "/data/settings.xlsx");
}

std::unique_ptr<Workbook> openSheet(const std::string& content, TestPackage package = {}) {
    auto workbook = open(package.sheet("Data", worksheetXml(content)).build());
    workbook->sheet(0).ensureLoaded();
    return workbook;
}

std::unique_ptr<Workbook> writtenAndRead(const Workbook& workbook) {
    xlsx::StringSink sink;
    xlsx::XlsxWriteOptions options;
    options.zip.threads = 0;
    xlsx::writeXlsx(workbook, sink, options);
    auto read = readXlsxFromMemory(sink.bytes(), "/data/written.xlsx");
    for (int32_t i = 0; i < read->sheetCount(); ++i) {
        read->sheet(i).ensureLoaded();
    }
    return read;
}

std::string errorOf(const std::string& content) {
    try {
        openSheet(content);
    } catch (const SpreadsheetError& error) {
        return error.description();
    }
    return {};
}

TEST(SheetSettings, EverySettingIsReadAndWrittenBackUnchanged) {
    auto workbook = openSheet(kAllSettings);
    const Sheet& sheet = workbook->sheet(0);
    const SheetSettings expected = expectedSettings();
    // Compared part by part first, so that a failure says which.
    EXPECT_EQ(sheet.settings().properties, expected.properties);
    EXPECT_EQ(sheet.settings().view, expected.view);
    EXPECT_EQ(sheet.settings().protection, expected.protection);
    EXPECT_EQ(sheet.settings().autoFilter, expected.autoFilter);
    EXPECT_EQ(sheet.settings().printOptions, expected.printOptions);
    EXPECT_EQ(sheet.settings().margins, expected.margins);
    EXPECT_EQ(sheet.settings().pageSetup, expected.pageSetup);
    EXPECT_EQ(sheet.settings().headerFooter, expected.headerFooter);
    EXPECT_EQ(sheet.settings().rowBreaks, expected.rowBreaks);
    EXPECT_EQ(sheet.settings().columnBreaks, expected.columnBreaks);
    EXPECT_EQ(sheet.settings(), expected);
    // The first selection that names a cell is the object model's.
    EXPECT_EQ(sheet.selectedCell(), (CellRef{0, 2}));
    EXPECT_EQ(sheet.merges().size(), 1u);
    EXPECT_TRUE(sheet.uncarried().empty());

    ASSERT_EQ(sheet.rows().size(), 4u);  // the rows of their own outline are kept
    EXPECT_EQ(sheet.rows()[1].outlineLevel, 1);
    EXPECT_EQ(sheet.rows()[2].outlineLevel, 2);
    EXPECT_TRUE(sheet.rows()[2].hidden);
    EXPECT_TRUE(sheet.rows()[3].collapsed);
    ASSERT_EQ(sheet.columns().size(), 1u);
    EXPECT_EQ(sheet.columns()[0].outlineLevel, 1);
    EXPECT_TRUE(sheet.columns()[0].collapsed);

    auto again = writtenAndRead(*workbook);
    const Sheet& back = again->sheet(0);
    EXPECT_EQ(back.settings(), expected);
    EXPECT_EQ(back.selectedCell(), sheet.selectedCell());
    ASSERT_EQ(back.rows().size(), 4u);
    EXPECT_EQ(back.rows()[2].outlineLevel, 2);
    EXPECT_TRUE(back.rows()[3].collapsed);
    EXPECT_EQ(back.columns()[0].outlineLevel, 1);
}

TEST(SheetSettings, ASheetWithoutSettingsKeepsTheDefaultsAndWritesAsBefore) {
    auto workbook = openSheet(sheetDataXml(kRows));
    EXPECT_EQ(workbook->sheet(0).settings(), SheetSettings{});
    EXPECT_EQ(writtenAndRead(*workbook)->sheet(0).settings(), SheetSettings{});
}

TEST(SheetSettings, SelectingAnotherCellMovesTheSelectionThatNamedTheOldOne) {
    auto workbook = openSheet(kAllSettings);
    workbook->sheet(0).setSelectedCell(CellRef{9, 9});
    auto back = writtenAndRead(*workbook);
    EXPECT_EQ(back->sheet(0).selectedCell(), (CellRef{9, 9}));
    const auto& selections = back->sheet(0).settings().view.selections;
    ASSERT_EQ(selections.size(), 2u);
    EXPECT_EQ(selections[0].pane, PaneId::TopRight);
    EXPECT_EQ(selections[0].ranges, (std::vector<CellRange>{CellRange{{9, 9}, {9, 9}}}));
    EXPECT_EQ(selections[1], expectedSettings().view.selections[1]);
}

TEST(SheetSettings, MalformedSettingsAreDroppedAndNoted) {
    struct Case {
        const char* name;
        std::string content;
        const char* noted;  // empty: nothing noted
        bool filterKept;
    };
    const std::vector<Case> cases = {
        {"range that is no range", "<autoFilter ref=\"C3:\"/>",
         "autofilter (its range 'C3:' is not a range of the sheet)", false},
        {"filter column outside the range",
         "<autoFilter ref=\"C3:D9\"><filterColumn colId=\"2\"><filters><filter val=\"x\"/>"
         "</filters></filterColumn></autoFilter>",
         "autofilter (a filter column lies outside its range)", false},
        {"criteria by colour",
         "<autoFilter ref=\"C3:D9\"><filterColumn colId=\"1\"><colorFilter dxfId=\"0\"/>"
         "</filterColumn></autoFilter>",
         "autofilter criteria by colour or icon", true},
        {"frozen pane past the sheet",
         "<sheetViews><sheetView workbookViewId=\"0\"><pane ySplit=\"2000000\" "
         "state=\"frozen\"/></sheetView></sheetViews>",
         "window panes (their split lies outside the sheet)", false},
        {"selection that is no range",
         "<sheetViews><sheetView workbookViewId=\"0\"><selection activeCell=\"B2\" "
         "sqref=\"B2:?\"/></sheetView></sheetViews>",
         "", false},
        {"break before the first row",
         "<rowBreaks><brk id=\"0\"/><brk id=\"1048576\"/></rowBreaks>", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto workbook = openSheet(sheetDataXml(kRows) + c.content);
        const Sheet& sheet = workbook->sheet(0);
        EXPECT_EQ(sheet.cellCount(), 1u);  // the cells are read all the same
        if (*c.noted) {
            EXPECT_EQ(sheet.uncarried().list(), std::vector<std::string>{c.noted});
        } else {
            EXPECT_TRUE(sheet.uncarried().empty());
        }
        EXPECT_EQ(sheet.settings().autoFilter.has_value(), c.filterKept);
        EXPECT_FALSE(sheet.settings().view.pane.has_value());
        EXPECT_TRUE(sheet.settings().view.selections.empty());
        EXPECT_TRUE(sheet.settings().rowBreaks.empty());
        if (c.filterKept) {
            EXPECT_TRUE(sheet.settings().autoFilter->columns.empty());
        }
    }
}

TEST(SheetSettings, HostileCountsAreRefusedNamingTheFileAndSheet) {
    std::string breaks = "<rowBreaks>";
    for (int i = 1; i <= 1027; ++i) {
        breaks += "<brk id=\"" + std::to_string(i) + "\"/>";
    }
    breaks += "</rowBreaks>";
    std::string values = "<autoFilter ref=\"A1:B2\"><filterColumn colId=\"0\"><filters>";
    for (size_t i = 0; i <= kMaxFilterValues; ++i) {
        values += "<filter val=\"v\"/>";
    }
    values += "</filters></filterColumn></autoFilter>";
    const std::string longHeader =
        "<headerFooter><oddHeader>" + std::string(70000, 'h') + "</oddHeader></headerFooter>";
    for (const auto& [content, problem] : std::vector<std::pair<std::string, std::string>>{
             {breaks, "more than the 1026 page breaks"},
             {values, "keeps more than 100000 values"},
             {longHeader, "header or footer of the sheet is longer than"}}) {
        const std::string error = errorOf(sheetDataXml(kRows) + content);
        EXPECT_NE(error.find("settings.xlsx"), std::string::npos) << error;
        EXPECT_NE(error.find("Data"), std::string::npos) << error;
        EXPECT_NE(error.find(problem), std::string::npos) << error;
    }
}

TEST(SheetSettings, WhatNothingCarriesIsNotedOnceEach) {
    const std::string content =
        sheetDataXml(kRows) +
        "<mc:AlternateContent xmlns:mc=\"http://schemas.openxmlformats.org/"
        "markup-compatibility/2006\"><mc:Choice Requires=\"x14\"><controls><control "
        "shapeId=\"1\" r:id=\"rId1\"/></controls></mc:Choice><mc:Fallback><controls><control "
        "shapeId=\"1\" r:id=\"rId1\"/></controls></mc:Fallback></mc:AlternateContent>"
        "<oleObjects><oleObject progId=\"Word.Document.12\" shapeId=\"2\"/></oleObjects>"
        "<extLst><ext uri=\"{A8765BA9-456A-4dab-B4F3-ACF838C121DE}\"/>"
        "<ext uri=\"{05c60535-1f16-4fd2-b633-f4f36f0b64e0}\"/><ext uri=\"{SOMETHING-NEW}\"/>"
        "</extLst>";
    auto workbook = openSheet(content);
    EXPECT_EQ(
        workbook->sheet(0).uncarried().list(),
        (std::vector<std::string>{"form or ActiveX controls", "embedded OLE objects", "slicers",
                                  "sparklines", "sheet extension {SOMETHING-NEW}"}));
    EXPECT_TRUE(workbook->uncarried().empty());
}

TEST(SheetSettings, ThousandsOfUnknownExtensionsMakeAShortListOfPrintableNames) {
    std::string extensions = "<extLst>";
    for (int i = 0; i < 5000; ++i) {
        extensions += "<ext uri=\"{" + std::to_string(i) + "\u00e9\t}\"/>";
    }
    extensions += "</extLst>";
    auto workbook = openSheet(sheetDataXml(kRows) + extensions);
    const std::vector<std::string>& listed = workbook->sheet(0).uncarried().list();
    ASSERT_EQ(listed.size(), UncarriedFeatures::kMaxListed + 1);
    // Two bytes of UTF-8; the tab reads as a blank, as XML reads blanks in attributes.
    EXPECT_EQ(listed.front(), "sheet extension {0?? }");
    EXPECT_EQ(listed.back(), "further features");
}

TEST(SheetSettings, TabColoursFromTheThemeAreResolved) {
    // Theme colour 4 is accent1 of the standard theme.
    auto workbook = openSheet("<sheetPr><tabColor theme=\"4\"/></sheetPr>" + sheetDataXml(kRows));
    EXPECT_EQ(workbook->sheet(0).settings().properties.tabColor, Color::rgb(0xFF4472C4));
}

// Every worksheet of the corpus that reads gives back the same settings once written: nothing
// read is lost or changed by the writer.
TEST(SheetSettings, CorpusWorkbooksWriteBackTheSettingsTheyRead) {
    int compared = 0;
    for (const auto& entry : std::filesystem::directory_iterator(PLYFOLD_CORPUS_DIR)) {
        const std::string extension = entry.path().extension().string();
        if (extension != ".xlsx" && extension != ".xlsm") {
            continue;
        }
        std::unique_ptr<Workbook> workbook;
        try {
            workbook = readXlsx(entry.path().string());
            for (int32_t i = 0; i < workbook->sheetCount(); ++i) {
                workbook->sheet(i).ensureLoaded();
            }
        } catch (const SpreadsheetError&) {
            continue;  // the reader's own tests say which files fail and why
        }
        SCOPED_TRACE(entry.path().filename().string());
        auto back = writtenAndRead(*workbook);
        ASSERT_EQ(back->sheetCount(), workbook->sheetCount());
        for (int32_t i = 0; i < workbook->sheetCount(); ++i) {
            const SheetSettings& a = back->sheet(i).settings();
            const SheetSettings& b = workbook->sheet(i).settings();
            const std::string& name = workbook->sheet(i).name();
            EXPECT_TRUE(a.properties == b.properties) << name << ": properties";
            EXPECT_TRUE(a.view == b.view) << name << ": view";
            EXPECT_TRUE(a.protection == b.protection) << name << ": protection";
            EXPECT_TRUE(a.autoFilter == b.autoFilter) << name << ": autofilter";
            EXPECT_TRUE(a.printOptions == b.printOptions) << name << ": print options";
            EXPECT_TRUE(a.margins == b.margins) << name << ": margins";
            EXPECT_TRUE(a.pageSetup == b.pageSetup) << name << ": page setup";
            EXPECT_TRUE(a.headerFooter == b.headerFooter) << name << ": header and footer";
            EXPECT_TRUE(a.rowBreaks == b.rowBreaks && a.columnBreaks == b.columnBreaks)
                << name << ": breaks";
            EXPECT_TRUE(a == b) << name;
            ++compared;
        }
    }
    EXPECT_GT(compared, 100);
}

TEST(GradientFills, LinearAndPathGradientsAreReadAndWrittenWithTheirStops) {
    const std::string styles =
        std::string("<styleSheet xmlns=\"") + test::kMainNamespace +
        "\"><fills count=\"3\"><fill><patternFill patternType=\"none\"/></fill>"
        "<fill><gradientFill degree=\"45\"><stop position=\"0\"><color rgb=\"FFFF0000\"/>"
        "</stop><stop position=\"1\"><color rgb=\"FF0000FF\"/></stop></gradientFill></fill>"
        "<fill><gradientFill type=\"path\" left=\"0.2\" right=\"0.8\" top=\"0.3\" "
        "bottom=\"0.7\"><stop position=\"0\"><color theme=\"0\"/></stop><stop "
        "position=\"0.5\"><color rgb=\"FF00FF00\"/></stop></gradientFill></fill></fills>"
        "<cellXfs count=\"3\"><xf fillId=\"0\"/><xf fillId=\"1\"/><xf fillId=\"2\"/></cellXfs>"
        "</styleSheet>";
    auto workbook = openSheet(sheetDataXml("<row r=\"3\"><c r=\"C3\" s=\"1\"/><c r=\"D3\" "
                                           "s=\"2\"/></row>"),
                              TestPackage().styles(styles));
    auto fillOf = [](const Workbook& book, const char* cell) {
        const Cell* found = book.sheet(0).findCell(*parseCellName(cell));
        return book.styles().fill(book.styles().style(found ? found->style : 0).fill);
    };
    Fill linear;
    linear.pattern = PatternType::Solid;  // what views without gradients draw
    linear.foreground = Color::rgb(0xFFFF0000);
    linear.gradient = Gradient{
        GradientType::Linear,
        45,
        0,
        0,
        0,
        0,
        {GradientStop{0, Color::rgb(0xFFFF0000)}, GradientStop{1, Color::rgb(0xFF0000FF)}}};
    Fill path;
    path.pattern = PatternType::Solid;
    path.foreground = Color::rgb(0xFFFFFFFF);  // theme colour 0 of a style is light 1
    path.gradient = Gradient{
        GradientType::Path,
        0,
        0.2,
        0.8,
        0.3,
        0.7,
        {GradientStop{0, Color::rgb(0xFFFFFFFF)}, GradientStop{0.5, Color::rgb(0xFF00FF00)}}};
    EXPECT_EQ(fillOf(*workbook, "C3"), linear);
    EXPECT_EQ(fillOf(*workbook, "D3"), path);
    auto back = writtenAndRead(*workbook);
    EXPECT_EQ(fillOf(*back, "C3"), linear);
    EXPECT_EQ(fillOf(*back, "D3"), path);

    // Into another workbook, as a merge maps styles.
    Workbook target;
    const Cell* cell = workbook->sheet(0).findCell(CellRef{2, 3});
    ASSERT_NE(cell, nullptr);
    const uint32_t mapped = target.styles().importStyle(workbook->styles(), cell->style);
    EXPECT_EQ(target.styles().fill(target.styles().style(mapped).fill), path);
}

}  // namespace
}  // namespace plyfold::engine
