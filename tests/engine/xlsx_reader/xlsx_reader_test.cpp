// The reader on packages made for one behaviour each: the sheet list, lazy loading, cell
// types, formulas, sheet layout, and every kind of bad input.

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/common/error.h"
#include "engine/io/xlsx/xlsx_reader.h"
#include "engine/model/cell_ref.h"
#include "engine/ops/shared_formula.h"
#include "test_package.h"
#include "tests/support/temp_dir.h"

namespace plyfold::engine {
namespace {

namespace fs = std::filesystem;
using test::sheetDataXml;
using test::TestPackage;
using test::worksheetXml;
using test::ZipBuilder;

std::string sharedStringsXml(const std::vector<std::string>& items) {
    std::string xml = std::string("<sst xmlns=\"") + test::kMainNamespace + "\">";
    for (const std::string& item : items) {
        xml += "<si>" + item + "</si>";
    }
    return xml + "</sst>";
}

// A package with one sheet "Data" holding these rows.
std::string oneSheet(const std::string& rows, TestPackage package = {}) {
    return package.sheet("Data", worksheetXml(sheetDataXml(rows))).build();
}

std::unique_ptr<Workbook> open(const std::string& bytes) {
    return readXlsxFromMemory(bytes, "/data/test.xlsx");
}

const Cell* cellOf(const Sheet& sheet, const char* name) {
    return sheet.findCell(*parseCellName(name));
}

std::string textOf(const Workbook& workbook, const Sheet& sheet, const char* name) {
    const Cell* cell = cellOf(sheet, name);
    if (!cell || cell->type != CellType::Text) {
        return "(no text)";
    }
    return std::string(workbook.strings().text(cell->value.text));
}

std::string formulaOf(const Workbook& workbook, const Sheet& sheet, const char* name) {
    const Cell* cell = cellOf(sheet, name);
    if (!cell || !cell->hasFormula()) {
        return "(no formula)";
    }
    return cellFormula(workbook, *cell, *parseCellName(name));
}

// The description of the error reading the workbook and all its sheets throw, or "".
std::string errorReading(const std::string& bytes) {
    try {
        auto workbook = open(bytes);
        for (int32_t i = 0; i < workbook->sheetCount(); ++i) {
            workbook->sheet(i).ensureLoaded();
        }
    } catch (const SpreadsheetError& error) {
        EXPECT_EQ(error.number(), static_cast<int>(ErrorNumber::ApplicationDefined));
        return error.description();
    }
    return {};
}

TEST(XlsxReader, ListsSheetsWithoutReadingAnyCells) {
    // The second sheet's part is broken: listing must not notice.
    std::string bytes =
        TestPackage()
            .sheet("First",
                   worksheetXml(sheetDataXml("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c>"
                                             "</row>")))
            .sheet("Hidden one", "<worksheet><sheetData><row>", "hidden")
            .sheet("Deep", worksheetXml(""), "veryHidden")
            .chartsheet("Chart")
            .sharedStrings(sharedStringsXml({"<t>hello</t>"}))
            .styles(
                "<styleSheet><cellXfs><xf/><xf fontId=\"9\"/></cellXfs>"
                "</styleSheet>")
            .build();
    auto workbook = open(bytes);
    ASSERT_EQ(workbook->sheetCount(), 4);
    struct Expected {
        const char* name;
        SheetKind kind;
        SheetVisibility visibility;
    };
    const Expected expected[] = {
        {"First", SheetKind::Worksheet, SheetVisibility::Visible},
        {"Hidden one", SheetKind::Worksheet, SheetVisibility::Hidden},
        {"Deep", SheetKind::Worksheet, SheetVisibility::VeryHidden},
        {"Chart", SheetKind::Chartsheet, SheetVisibility::Visible},
    };
    for (int32_t i = 0; i < 4; ++i) {
        const Sheet& sheet = workbook->sheet(i);
        EXPECT_EQ(sheet.name(), expected[i].name);
        EXPECT_EQ(sheet.kind(), expected[i].kind);
        EXPECT_EQ(sheet.visibility(), expected[i].visibility);
        EXPECT_EQ(sheet.isLoaded(), !sheet.isWorksheet()) << sheet.name();
    }
    EXPECT_EQ(workbook->path(), "/data/test.xlsx");
    EXPECT_FALSE(workbook->isModified());
    // Neither shared strings nor styles are read yet (the styles are even broken).
    EXPECT_EQ(workbook->strings().size(), 0u);
    EXPECT_EQ(workbook->styles().styleCount(), 1u);

    // The first load reads the styles, whose bad font index then fails every sheet alike.
    std::string first;
    try {
        workbook->sheet(0).ensureLoaded();
    } catch (const SpreadsheetError& error) {
        first = error.description();
    }
    EXPECT_NE(first.find("cell format 1 uses font 9"), std::string::npos) << first;
    EXPECT_NE(first.find("'/data/test.xlsx'"), std::string::npos);
    EXPECT_FALSE(workbook->sheet(0).isLoaded());
    try {
        workbook->sheet(2).ensureLoaded();
        ADD_FAILURE() << "loaded with broken styles";
    } catch (const SpreadsheetError& error) {
        EXPECT_EQ(error.description(), first);
    }
}

TEST(XlsxReader, SheetsLoadOnFirstUseAndKeepTheirFirstError) {
    std::string bytes =
        TestPackage()
            .sheet("Good", worksheetXml(sheetDataXml("<row><c t=\"s\"><v>0</v></c></row>")))
            .sheet("Bad", worksheetXml("<sheetData><row><c><v>1</v></c></row></sheetData>"
                                       "</oops>"))
            .sharedStrings(sharedStringsXml({"<t>hello</t>"}))
            .build();
    auto workbook = open(bytes);
    Sheet& good = workbook->sheet(0);
    Sheet& bad = workbook->sheet(1);
    EXPECT_FALSE(good.isLoaded());
    EXPECT_EQ(textOf(*workbook, good, "A1"), "hello");
    EXPECT_TRUE(good.isLoaded());
    EXPECT_FALSE(bad.isLoaded());

    std::string first;
    try {
        bad.ensureLoaded();
    } catch (const SpreadsheetError& error) {
        first = error.description();
    }
    EXPECT_EQ(first,
              "'/data/test.xlsx' is not a valid spreadsheet file: the part "
              "xl/worksheets/sheet2.xml of the sheet 'Bad' is damaged (XML error at line 2: "
              "mismatched tag).");
    EXPECT_FALSE(bad.isLoaded());
    try {
        bad.ensureLoaded();
        ADD_FAILURE() << "a failed sheet loaded the second time";
    } catch (const SpreadsheetError& error) {
        EXPECT_EQ(error.description(), first);
    }
    // The good sheet is not affected.
    EXPECT_EQ(good.cellCount(), 1u);
}

TEST(XlsxReader, CellValuesOfEveryType) {
    std::string rows =
        "<row r=\"1\">"
        "<c r=\"A1\"><v>12.5</v></c>"
        "<c r=\"B1\" t=\"n\"><v> -3E2 </v></c>"
        "<c r=\"C1\" t=\"s\"><v>1</v></c>"
        "<c r=\"D1\" t=\"inlineStr\"><is><t>inline</t></is></c>"
        "<c r=\"E1\" t=\"inlineStr\"><is><r><t>ri</t></r><r><rPr><b/></rPr><t>ch</t></r>"
        "<rPh sb=\"0\" eb=\"1\"><t>PHONETIC</t></rPh></is></c>"
        "<c r=\"F1\" t=\"str\"><f>\"a\"&amp;\"b\"</f><v>ab</v></c>"
        "<c r=\"G1\" t=\"b\"><v>1</v></c>"
        "<c r=\"H1\" t=\"b\"><v>0</v></c>"
        "<c r=\"I1\" t=\"e\"><v>#DIV/0!</v></c>"
        "<c r=\"J1\" t=\"e\"><v>#SPILL!</v></c>"
        "<c r=\"K1\" t=\"d\"><v>2021-03-04T12:00:00</v></c>"
        "<c r=\"L1\" t=\"s\"><v>0</v></c>"
        "<c r=\"M1\" t=\"inlineStr\"><is><t>&lt;&amp;&gt;_x000D_&#233;</t></is></c>"
        "<c r=\"N1\" t=\"str\"><f>\"\"</f><v></v></c>"
        "<c r=\"O1\" t=\"s\"><v/></c>"
        "<c r=\"P1\" t=\"s\"><v> </v></c>"
        "</row>";
    std::string bytes = oneSheet(rows, TestPackage().sharedStrings(sharedStringsXml(
                                           {"<t>first</t>",
                                            "<r><t xml:space=\"preserve\">rich </t></r><r><rPr>"
                                            "<i/></rPr><t>text</t></r><rPh><t>x</t></rPh>"})));
    auto workbook = open(bytes);
    const Sheet& sheet = workbook->sheet(0);
    auto number = [&](const char* name) {
        const Cell* cell = cellOf(sheet, name);
        EXPECT_TRUE(cell && cell->type == CellType::Number) << name;
        return cell ? cell->value.number : 0.0;
    };
    EXPECT_EQ(number("A1"), 12.5);
    EXPECT_EQ(number("B1"), -300.0);
    EXPECT_EQ(textOf(*workbook, sheet, "C1"), "rich text");
    EXPECT_EQ(textOf(*workbook, sheet, "D1"), "inline");
    EXPECT_EQ(textOf(*workbook, sheet, "E1"), "rich");
    EXPECT_EQ(textOf(*workbook, sheet, "F1"), "ab");
    EXPECT_EQ(formulaOf(*workbook, sheet, "F1"), "\"a\"&\"b\"");
    EXPECT_EQ(cellOf(sheet, "G1")->type, CellType::Boolean);
    EXPECT_TRUE(cellOf(sheet, "G1")->value.boolean);
    EXPECT_FALSE(cellOf(sheet, "H1")->value.boolean);
    EXPECT_EQ(cellOf(sheet, "I1")->type, CellType::Error);
    EXPECT_EQ(cellOf(sheet, "I1")->value.error, ErrorValue::Div0);
    EXPECT_EQ(cellOf(sheet, "J1")->value.error, ErrorValue::Value);
    EXPECT_EQ(number("K1"), 44259.5);
    EXPECT_EQ(textOf(*workbook, sheet, "L1"), "first");
    EXPECT_EQ(textOf(*workbook, sheet, "M1"), "<&>\r\xC3\xA9");
    EXPECT_EQ(textOf(*workbook, sheet, "N1"), "");
    EXPECT_EQ(formulaOf(*workbook, sheet, "N1"), "\"\"");
    // A shared-string cell whose value is empty names no string: an empty cell.
    for (const char* empty : {"O1", "P1"}) {
        const Cell* cell = cellOf(sheet, empty);
        EXPECT_TRUE(!cell || cell->type == CellType::Blank) << empty;
    }
    EXPECT_EQ(sheet.cellCount(), 14u);
}

TEST(XlsxReader, DatesFollowTheWorkbookDateSystem) {
    std::string rows = "<row><c t=\"d\"><v>2021-03-04</v></c><c><v>5</v></c></row>";
    for (bool date1904 : {false, true}) {
        TestPackage package;
        package.workbookProperties(date1904 ? "date1904=\"1\"" : "date1904=\"false\"");
        auto workbook = open(oneSheet(rows, package));
        EXPECT_EQ(workbook->isDate1904(), date1904);
        const Cell* cell = cellOf(workbook->sheet(0), "A1");
        ASSERT_TRUE(cell);
        EXPECT_EQ(cell->value.number, date1904 ? 44259 - 1462 : 44259);
        EXPECT_EQ(cellOf(workbook->sheet(0), "B1")->value.number, 5);  // numbers stay as they are
    }
}

TEST(XlsxReader, CellsAndRowsWithoutReferencesTakeTheNextPlace) {
    std::string rows =
        "<row><c><v>1</v></c><c><v>2</v></c><c r=\"E1\"><v>5</v></c><c><v>6</v></c></row>"
        "<row><c><v>7</v></c></row>"
        "<row r=\"10\"><c><v>10</v></c></row>"
        "<row><c r=\"C11\"><v>11</v></c><c><v>12</v></c></row>";
    auto workbook = open(oneSheet(rows));
    const Sheet& sheet = workbook->sheet(0);
    struct Expected {
        const char* name;
        double value;
    };
    for (const Expected& e :
         {Expected{"A1", 1}, Expected{"B1", 2}, Expected{"E1", 5}, Expected{"F1", 6},
          Expected{"A2", 7}, Expected{"A10", 10}, Expected{"C11", 11}, Expected{"D11", 12}}) {
        const Cell* cell = cellOf(sheet, e.name);
        ASSERT_TRUE(cell) << e.name;
        EXPECT_EQ(cell->value.number, e.value) << e.name;
    }
    EXPECT_EQ(sheet.cellCount(), 8u);
}

TEST(XlsxReader, EmptyCellsAreNotStoredButStyledOnesAre) {
    std::string styles =
        "<styleSheet><fonts><font/><font><b/></font></fonts><cellXfs><xf/><xf fontId=\"1\"/>"
        "<xf fontId=\"0\"/></cellXfs></styleSheet>";
    std::string rows =
        "<row r=\"1\"><c r=\"A1\"/><c r=\"B1\" s=\"1\"/><c r=\"C1\" s=\"2\"/><c r=\"D1\">"
        "<v></v></c><c r=\"E1\" s=\"0\"><v>4</v></c></row>"
        "<row r=\"2\" spans=\"1:5\"/>"
        "<row r=\"3\" ht=\"30\" customHeight=\"1\"/>"
        "<row r=\"4\" hidden=\"1\"/>"
        "<row r=\"5\" ht=\"18\"><c r=\"A5\"><v>1</v></c></row>"
        "<row r=\"6\" s=\"1\" customFormat=\"1\"/>"
        "<row r=\"7\" s=\"1\"/>";  // s without customFormat is no format
    auto workbook = open(oneSheet(rows, TestPackage().styles(styles)));
    const Sheet& sheet = workbook->sheet(0);
    ASSERT_TRUE(cellOf(sheet, "B1"));
    EXPECT_EQ(cellOf(sheet, "B1")->type, CellType::Blank);
    EXPECT_EQ(
        workbook->styles().font(workbook->styles().style(cellOf(sheet, "B1")->style).font).bold,
        true);
    EXPECT_FALSE(cellOf(sheet, "A1"));
    EXPECT_FALSE(cellOf(sheet, "C1"));  // its format is the default one
    EXPECT_FALSE(cellOf(sheet, "D1"));
    EXPECT_TRUE(cellOf(sheet, "E1"));
    std::vector<int32_t> indexes;
    for (const Row& row : sheet.rows()) {
        indexes.push_back(row.index);
    }
    EXPECT_EQ(indexes, (std::vector<int32_t>{0, 2, 3, 4, 5}));
    EXPECT_TRUE(
        workbook->styles().font(workbook->styles().style(sheet.findRow(5)->style).font).bold);
    EXPECT_EQ(sheet.findRow(2)->height, 30.0f);
    EXPECT_TRUE(sheet.findRow(2)->customHeight);
    EXPECT_TRUE(sheet.findRow(3)->hidden);
    EXPECT_EQ(sheet.findRow(4)->height, 18.0f);
    EXPECT_FALSE(sheet.findRow(4)->customHeight);
}

TEST(XlsxReader, RowsAndCellsOutOfOrderAreSorted) {
    std::string rows =
        "<row r=\"3\"><c r=\"C3\"><v>33</v></c><c r=\"A3\"><v>31</v></c></row>"
        "<row r=\"1\"><c r=\"B1\"><v>12</v></c></row>"
        "<row r=\"3\"><c r=\"B3\"><v>32</v></c><c r=\"C3\"><v>34</v></c></row>"
        "<row r=\"2\"><c r=\"A5\"><v>51</v></c></row>";
    auto workbook = open(oneSheet(rows));
    const Sheet& sheet = workbook->sheet(0);
    std::vector<std::string> order;
    for (const Row& row : sheet.rows()) {
        for (const Cell& cell : row.cells) {
            order.push_back(cellName({row.index, cell.column}) + "=" +
                            std::to_string(static_cast<int>(cell.value.number)));
        }
    }
    // A cell given twice keeps its last value.
    EXPECT_EQ(order, (std::vector<std::string>{"B1=12", "A3=31", "B3=32", "C3=34", "A5=51"}));
}

TEST(XlsxReader, SharedFormulasAreHeldOnceAndReadMovedIntoEveryCell) {
    std::string rows =
        "<row r=\"1\"><c r=\"A1\"><v>1</v></c><c r=\"B1\"><f t=\"shared\" ref=\"B1:C3\" "
        "si=\"0\">A1*2+$A$1</f><v>3</v></c><c r=\"C1\"><f t=\"shared\" si=\"0\"/><v>7</v></c>"
        "</row>"
        "<row r=\"2\"><c r=\"A2\"><v>2</v></c><c r=\"B2\"><f t=\"shared\" si=\"0\"/><v>5</v></c>"
        "<c r=\"D2\"><f t=\"shared\" ref=\"D2:D3\" si=\"1\">SUM(A$1:A2)</f><v>3</v></c>"
        "<c r=\"E2\"><f t=\"shared\" ref=\"E2:E3\" si=\"2\">E1048576</f></c></row>"
        "<row r=\"3\"><c r=\"C3\"><f t=\"shared\" si=\"0\"/><v>0</v></c>"
        "<c r=\"D3\"><f t=\"shared\" si=\"1\"/><v>3</v></c>"
        "<c r=\"E3\"><f t=\"shared\" si=\"2\"/></c>"
        "<c r=\"F3\"><f t=\"shared\" si=\"0\">C3+1</f></c><c r=\"G3\"><f t=\"shared\" si=\"0\"/>"
        "</c></row>";
    auto workbook = open(oneSheet(rows));
    const Sheet& sheet = workbook->sheet(0);
    struct Expected {
        const char* cell;
        const char* formula;
        bool shared;
    };
    // E3 would read one row past the sheet: it keeps a text of its own, with #REF!. F3 starts
    // a group under a number used before, as some writers reuse them.
    for (const Expected& e :
         {Expected{"B1", "A1*2+$A$1", true}, Expected{"C1", "B1*2+$A$1", true},
          Expected{"B2", "A2*2+$A$1", true}, Expected{"C3", "B3*2+$A$1", true},
          Expected{"D2", "SUM(A$1:A2)", true}, Expected{"D3", "SUM(A$1:A3)", true},
          Expected{"E2", "E1048576", true}, Expected{"E3", "#REF!", false},
          Expected{"F3", "C3+1", true}, Expected{"G3", "D3+1", true}}) {
        EXPECT_EQ(formulaOf(*workbook, sheet, e.cell), e.formula) << e.cell;
        EXPECT_EQ(cellOf(sheet, e.cell)->hasSharedFormula(), e.shared) << e.cell;
    }
    // Each formula's text is held once, not once per cell.
    EXPECT_EQ(workbook->sharedFormulaCount(), 4u);
    EXPECT_EQ(workbook->formulas().size(), 5u);
    EXPECT_EQ(cellOf(sheet, "C1")->value.number, 7);  // the cached result stays
    EXPECT_EQ(formulaOf(*workbook, sheet, "A1"), "(no formula)");

    std::string orphan = "<row><c r=\"A1\"><f t=\"shared\" si=\"4\"/><v>1</v></c></row>";
    EXPECT_NE(errorReading(oneSheet(orphan))
                  .find("uses shared formula 4, which no cell "
                        "before it defines"),
              std::string::npos);
}

TEST(XlsxReader, APartThatSeveralSheetsTakeTheirCellsFromIsDamage) {
    const std::string part = worksheetXml(sheetDataXml("<row><c><v>1</v></c></row>"));
    struct Case {
        const char* target;  // of the third sheet's relationship
        const char* error;   // empty when the file reads
    };
    const Case cases[] = {
        {"worksheets/sheet3.xml", ""},
        {"worksheets/sheet1.xml",
         "the sheets 'One' and 'Three' both take their cells from the part "
         "xl/worksheets/sheet1.xml"},
        {"/xl/worksheets/sheet2.xml",
         "the sheets 'Two' and 'Three' both take their cells from "
         "the part xl/worksheets/sheet2.xml"},
        {"../xl/worksheets/sheet2.xml",
         "the sheets 'Two' and 'Three' both take their cells from "
         "the part xl/worksheets/sheet2.xml"},
        {"worksheets/SHEET1.xml",
         "the sheets 'One' and 'Three' both take their cells from the "
         "part xl/worksheets/sheet1.xml"},
    };
    for (const Case& c : cases) {
        const std::string relationships =
            "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
            "relationships\">"
            "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/"
            "2006/relationships/worksheet\" Target=\"worksheets/sheet1.xml\"/>"
            "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/officeDocument/"
            "2006/relationships/worksheet\" Target=\"worksheets/sheet2.xml\"/>"
            "<Relationship Id=\"rId3\" Type=\"http://schemas.openxmlformats.org/officeDocument/"
            "2006/relationships/worksheet\" Target=\"" +
            std::string(c.target) + "\"/></Relationships>";
        const std::string bytes = TestPackage()
                                      .sheet("One", part)
                                      .sheet("Two", part)
                                      .sheet("Three", part)
                                      .part("xl/_rels/workbook.xml.rels", relationships)
                                      .build();
        const std::string expected =
            *c.error
                ? "'/data/test.xlsx' is not a valid spreadsheet file: " + std::string(c.error) + "."
                : std::string();
        EXPECT_EQ(errorReading(bytes), expected) << c.target;
    }
}

TEST(XlsxReader, ArrayFormulasKeepTheirAnchorAndRange) {
    std::string rows =
        "<row r=\"1\"><c r=\"A1\"><f t=\"array\" ref=\"A1:A3\">ROW(1:3)</f><v>1</v></c></row>"
        "<row r=\"2\"><c r=\"A2\"><v>2</v></c></row>"
        "<row r=\"5\"><c r=\"B5\"><f t=\"array\">=SUM(A1:A3*2)</f><v>12</v></c>"
        "<c r=\"C5\"><f t=\"dataTable\" ref=\"C5:C6\" dt2D=\"0\" dtr=\"0\" r1=\"A1\"/>"
        "<v>4</v></c></row>"
        "<row r=\"7\"><c r=\"D7\"><f t=\"array\" ref=\"D7:XFD1048576\">1</f><v>1</v></c></row>";
    auto workbook = open(oneSheet(rows));
    const Sheet& sheet = workbook->sheet(0);
    EXPECT_EQ(formulaOf(*workbook, sheet, "A1"), "ROW(1:3)");
    EXPECT_EQ(cellOf(sheet, "A1")->flags & kArrayFormula, kArrayFormula);
    EXPECT_EQ(formulaOf(*workbook, sheet, "A2"), "(no formula)");
    EXPECT_EQ(formulaOf(*workbook, sheet, "B5"), "SUM(A1:A3*2)");
    EXPECT_EQ(formulaOf(*workbook, sheet, "C5"), "(no formula)");
    EXPECT_EQ(cellOf(sheet, "C5")->value.number, 4);
    ASSERT_EQ(sheet.arrayFormulas().size(), 3u);
    EXPECT_EQ(rangeName(sheet.arrayFormulas()[0].range), "A1:A3");
    EXPECT_EQ(rangeName(sheet.arrayFormulas()[1].range), "B5");
    EXPECT_EQ(rangeName(sheet.arrayFormulas()[2].range), "D7:XFD1048576");  // to the sheet's end
}

TEST(XlsxReader, SheetLayout) {
    std::string styles =
        "<styleSheet><fonts><font/><font><i/></font></fonts><cellXfs><xf/><xf fontId=\"1\"/>"
        "</cellXfs></styleSheet>";
    std::string content =
        "<sheetViews><sheetView workbookViewId=\"0\"><pane ySplit=\"1\"/><selection pane=\""
        "bottomLeft\" activeCell=\"C4\" sqref=\"C4\"/><selection activeCell=\"A1\"/>"
        "</sheetView></sheetViews>"
        "<sheetFormatPr baseColWidth=\"10\" defaultRowHeight=\"16\"/>"
        "<cols><col min=\"5\" max=\"6\" width=\"20.5\" customWidth=\"1\"/>"
        "<col min=\"1\" max=\"2\" width=\"3\" hidden=\"1\" style=\"1\"/>"
        "<col min=\"2\" max=\"3\" width=\"9\"/></cols>"
        "<sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c></row></sheetData>"
        "<mergeCells count=\"99999999\"><mergeCell ref=\"B2:C3\"/><mergeCell ref=\"E5:D4\"/>"
        "<mergeCell ref=\"F1\"/></mergeCells>"
        "<conditionalFormatting sqref=\"A1\"><cfRule type=\"cellIs\"><formula>1</formula>"
        "</cfRule></conditionalFormatting><drawing r:id=\"rId9\"/>";
    auto workbook = open(TestPackage().sheet("Data", worksheetXml(content)).styles(styles).build());
    const Sheet& sheet = workbook->sheet(0);
    sheet.ensureLoaded();
    EXPECT_EQ(sheet.defaultRowHeight(), 16.0);
    EXPECT_NEAR(sheet.defaultColumnWidth(), 10.43, 1e-9);
    ASSERT_EQ(sheet.columns().size(), 3u);
    const ColumnInfo& first = sheet.columns()[0];
    EXPECT_EQ(first.first, 0);
    EXPECT_EQ(first.last, 1);
    EXPECT_TRUE(first.hidden);
    EXPECT_TRUE(workbook->styles().font(workbook->styles().style(first.style).font).italic);
    EXPECT_EQ(sheet.columns()[1].first, 2);  // the overlapping run starts after the first
    EXPECT_EQ(sheet.columns()[1].last, 2);
    EXPECT_EQ(sheet.columnWidth(4), 20.5);
    EXPECT_EQ(sheet.columnWidth(5), 20.5);
    EXPECT_TRUE(sheet.columns()[2].customWidth);
    ASSERT_EQ(sheet.merges().size(), 2u);
    EXPECT_EQ(rangeName(sheet.merges()[0]), "B2:C3");
    EXPECT_EQ(rangeName(sheet.merges()[1]), "D4:E5");
    EXPECT_EQ(sheet.selectedCell(), (CellRef{3, 2}));
    EXPECT_EQ(sheet.cellCount(), 1u);
}

TEST(XlsxReader, PackageLayoutsOfOtherWriters) {
    std::string sheet =
        "<x:worksheet xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
        "<x:sheetData><x:row><x:c t=\"inlineStr\"><x:is><x:t>prefixed</x:t></x:is></x:c>"
        "</x:row></x:sheetData></x:worksheet>";
    // Absolute targets, part names whose case differs from the relationships, no
    // [Content_Types].xml lookup needed, a workbook part in an unusual place.
    std::string bytes =
        ZipBuilder()
            .add("_rels/.rels",
                 "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
                 "relationships\"><Relationship Id=\"a\" Type=\"http://purl.oclc.org/ooxml/"
                 "officeDocument/relationships/officeDocument\" Target=\"/Book/Main.xml\"/>"
                 "</Relationships>")
            .add("book/main.xml",
                 "<workbook xmlns=\"http://purl.oclc.org/ooxml/spreadsheetml/main\" xmlns:r=\""
                 "http://purl.oclc.org/ooxml/officeDocument/relationships\"><bookViews>"
                 "<workbookView activeTab=\"1\"/></bookViews><sheets><sheet name=\"One\" "
                 "sheetId=\"1\" r:id=\"s1\"/><sheet name=\"Two\" sheetId=\"2\" r:id=\"s2\"/>"
                 "</sheets></workbook>")
            .add("book/_rels/main.xml.rels",
                 "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
                 "relationships\"><Relationship Id=\"s1\" Type=\"http://purl.oclc.org/ooxml/"
                 "officeDocument/relationships/worksheet\" Target=\"/Sheets/ONE.xml\"/>"
                 "<Relationship Id=\"s2\" Type=\"http://purl.oclc.org/ooxml/officeDocument/"
                 "relationships/worksheet\" Target=\"../sheets/two.xml\"/></Relationships>")
            .add("sheets/one.xml", sheet, ZipBuilder::Method::Stored)
            .add("sheets/two.xml", sheet)
            .finish();
    auto workbook = open(bytes);
    ASSERT_EQ(workbook->sheetCount(), 2);
    EXPECT_EQ(workbook->activeSheet(), 1);
    for (int32_t i = 0; i < 2; ++i) {
        EXPECT_EQ(textOf(*workbook, workbook->sheet(i), "A1"), "prefixed");
    }

    // Without package relationships the content types name the workbook.
    std::string byContentType =
        ZipBuilder()
            .add("[Content_Types].xml",
                 "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                 "<Override PartName=\"/wb.xml\" ContentType=\"application/vnd.ms-excel.sheet."
                 "macroEnabled.main+xml\"/></Types>")
            .add("wb.xml",
                 "<workbook><sheets><sheet name=\"M\" r:id=\"r\" xmlns:r=\"x\"/>"
                 "</sheets></workbook>")
            .add("_rels/wb.xml.rels",
                 "<Relationships><Relationship Id=\"r\" Type=\"x/worksheet\" Target=\"s.xml\"/>"
                 "</Relationships>")
            .add("s.xml",
                 "<worksheet><sheetData><row><c><v>4</v></c></row></sheetData>"
                 "</worksheet>")
            .finish();
    auto macro = open(byContentType);
    EXPECT_EQ(cellOf(macro->sheet(0), "A1")->value.number, 4);
}

TEST(XlsxReader, SheetPartsInOtherEncodingsAreRead) {
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("<?xml version=\"1.0\" encoding=\"UTF-16\"?><worksheet><sheetData>"
                              "<row><c t=\"inlineStr\"><is><t>wide</t></is></c></row>"
                              "</sheetData></worksheet>")) {
        utf16.push_back(c);
        utf16.push_back('\0');
    }
    auto workbook = open(TestPackage().sheet("W", utf16).build());
    EXPECT_EQ(textOf(*workbook, workbook->sheet(0), "A1"), "wide");
}

TEST(XlsxReader, CountsInHeadersAreNotTrusted) {
    std::string sst = std::string("<sst xmlns=\"") + test::kMainNamespace +
                      "\" count=\"4294967295\" uniqueCount=\"4294967295\"><si><t>only</t></si>"
                      "</sst>";
    std::string content =
        "<dimension ref=\"A1:XFD1048576\"/><sheetData><row r=\"1\" spans=\"1:16384\"><c r=\"A1\" "
        "t=\"s\"><v>0</v></c></row></sheetData>";
    auto workbook =
        open(TestPackage().sheet("S", worksheetXml(content)).sharedStrings(sst).build());
    EXPECT_EQ(textOf(*workbook, workbook->sheet(0), "A1"), "only");
}

TEST(XlsxReader, LimitsOfASheetAreErrorsNeverCuts) {
    std::string wide;
    for (int i = 0; i < 16385; ++i) {
        wide += "<c><v>1</v></c>";
    }
    struct Case {
        std::string rows;
        const char* message;
    };
    for (const Case& c : {
             Case{"<row><c r=\"XFE1\"><v>1</v></c></row>",
                  "cannot be read: in the sheet 'Data', the cell 'XFE1' lies beyond the last "
                  "cell of a sheet, XFD1048576."},
             Case{"<row><c r=\"A1048577\"><v>1</v></c></row>", "'A1048577' lies beyond"},
             Case{"<row r=\"1048577\"><c><v>1</v></c></row>",
                  "row 1048577 lies beyond the last row of a sheet, 1048576"},
             Case{"<row r=\"1048576\"/><row><c><v>1</v></c></row>",
                  "more than the 1048576 rows a sheet can hold"},
             Case{"<row>" + wide + "</row>", "row 1 has more than the 16384 columns"},
             Case{"<row><c t=\"inlineStr\"><is><t>" + std::string(32768, 'x') +
                      "</t></is></c></row>",
                  "the cell A1 holds a text longer than the 32767 characters a cell can hold"},
             Case{"<row><c t=\"inlineStr\"><is><t>" + std::string(3u << 20, 'x') +
                      "</t></is></c></row>",
                  "the cell A1 holds a text longer than the 32767 characters"},
             Case{"<row><c><f>" + std::string(8193, '1') + "</f></c></row>",
                  "the formula of cell A1 is longer than the 8192 characters"},
         }) {
        SCOPED_TRACE(c.rows.substr(0, 60));
        std::string error = errorReading(oneSheet(c.rows));
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        EXPECT_NE(error.find("'/data/test.xlsx'"), std::string::npos) << error;
    }
    // At the limits themselves all is well.
    std::string edge = "<row r=\"1048576\"><c r=\"XFD1048576\" t=\"inlineStr\"><is><t>" +
                       std::string(32767, 'x') + "</t></is></c></row>";
    auto workbook = open(oneSheet(edge));
    EXPECT_EQ(textOf(*workbook, workbook->sheet(0), "XFD1048576").size(), 32767u);
}

TEST(XlsxReader, BadContentIsAClearError) {
    struct Case {
        std::string rows;
        const char* message;
    };
    for (const Case& c : {
             Case{"<row><c t=\"s\"><v>5</v></c></row>",
                  "is not a valid spreadsheet file: in the sheet 'Data', the cell A1 refers to "
                  "shared string 5, but the file has only 1."},
             Case{"<row><c t=\"s\"><v>x</v></c></row>", "holds 'x' where a shared string"},
             Case{"<row><c s=\"3\"><v>1</v></c></row>",
                  "the cell A1 uses cell format 3, but the file has only 0"},
             Case{"<row><c><v>12abc</v></c></row>",
                  "the cell A1 holds '12abc' where a number belongs"},
             Case{"<row><c t=\"b\"><v>yes</v></c></row>", "where TRUE or FALSE belongs"},
             Case{"<row><c t=\"d\"><v>2021-02-30</v></c></row>", "where a date belongs"},
             Case{"<row><c t=\"q\"><v>1</v></c></row>", "'q' is not a cell type"},
             Case{"<row><c r=\"1A\"><v>1</v></c></row>", "'1A' is not a valid cell reference"},
             Case{"<row r=\"0\"/>", "'0' is not a valid row number"},
             Case{"<row><c t=\"inlineStr\"><is><t>bad \xC3 byte</t></is></c></row>",
                  "holds text that is not valid UTF-8"},
         }) {
        SCOPED_TRACE(c.rows);
        std::string error = errorReading(
            oneSheet(c.rows, TestPackage().sharedStrings(sharedStringsXml({"<t>one</t>"}))));
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
}

TEST(XlsxReader, DocumentTypeDeclarationsAreRefusedInEveryPart) {
    const std::string doctype =
        "<?xml version=\"1.0\"?>\n<!DOCTYPE x [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b "
        "\"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">]>\n";
    std::string sheet = worksheetXml(sheetDataXml("<row><c t=\"s\"><v>0</v></c></row>"));
    std::string sst = sharedStringsXml({"<t>x</t>"});
    std::string styles = "<styleSheet/>";
    struct Case {
        const char* part;
        std::string bytes;
    };
    const Case cases[] = {
        {"xl/worksheets/sheet1.xml", TestPackage().sheet("Data", doctype + "<worksheet/>").build()},
        {"xl/sharedStrings.xml",
         TestPackage().sheet("Data", sheet).sharedStrings(doctype + "<sst>&b;</sst>").build()},
        {"xl/styles.xml", TestPackage().sheet("Data", sheet).styles(doctype + styles).build()},
        {"xl/workbook.xml", TestPackage()
                                .sheet("Data", sheet)
                                .part("xl/workbook.xml", doctype + "<workbook/>")
                                .build()},
        {"_rels/.rels", TestPackage()
                            .sheet("Data", sheet)
                            .part("_rels/.rels", doctype + "<Relationships/>")
                            .build()},
    };
    for (const Case& c : cases) {
        std::string error = errorReading(c.bytes);
        EXPECT_NE(error.find(std::string("the part ") + c.part), std::string::npos) << error;
        EXPECT_NE(error.find("document type declarations are not allowed"), std::string::npos)
            << error;
    }
}

TEST(XlsxReader, PackagesThatAreNotWorkbooks) {
    std::string good = oneSheet("<row><c><v>1</v></c></row>");
    std::string flipped = good;
    // Damage the compressed data of the sheet: find its entry by name and flip bytes after.
    size_t at = flipped.find("xl/worksheets/sheet1.xml");
    for (size_t i = at + 30; i < at + 40; ++i) {
        flipped[i] = static_cast<char>(flipped[i] ^ 0x5A);
    }
    std::string sheet = worksheetXml(sheetDataXml("<row><c><v>1</v></c></row>"));
    const char* kTruncated =
        "is not a valid spreadsheet file: the workbook is truncated or damaged (it begins as a "
        "zip archive, but the archive's end record is missing).";
    struct Case {
        const char* what;
        std::string bytes;
        const char* message;
    };
    const Case cases[] = {
        {"empty", "", "is not a valid spreadsheet file: the file is empty."},
        {"text", "just some text, no archive at all",
         "is not a valid spreadsheet file: it is not an Office Open XML package"},
        {"cut in half", good.substr(0, good.size() / 2), kTruncated},
        {"cut by a byte", good.substr(0, good.size() - 1), kTruncated},
        {"its first bytes only", good.substr(0, 4), kTruncated},
        {"an empty archive's end record cut short", std::string("PK\x05\x06\0\0", 6), kTruncated},
        {"damaged entry", flipped,
         "the part xl/worksheets/sheet1.xml of the sheet 'Data' is "
         "damaged"},
        {"no workbook", ZipBuilder().add("readme.txt", "hello").finish(),
         "it is a zip archive without a workbook in it"},
        {"a document",
         ZipBuilder()
             .add("_rels/.rels",
                  "<Relationships><Relationship Id=\"1\" Type=\"http://schemas.openxmlformats.org/"
                  "officeDocument/2006/relationships/officeDocument\" Target=\"word/document.xml"
                  "\"/></Relationships>")
             .add("word/document.xml", "<w:document xmlns:w=\"w\"><w:body/></w:document>")
             .finish(),
         "it is an Office Open XML package, but not a workbook"},
        {"missing sheet part",
         TestPackage().sheet("Data", sheet).withoutPart("xl/worksheets/sheet1.xml").build(),
         "in the sheet 'Data', its part xl/worksheets/sheet1.xml is missing"},
        {"sheet without relationship",
         TestPackage()
             .sheet("Data", sheet)
             .part("xl/_rels/workbook.xml.rels", "<Relationships/>")
             .build(),
         "the sheet 'Data' has no part in the package"},
        {"long sheet name", TestPackage().sheet(std::string(32, 'n'), sheet).build(),
         "is longer than 31 characters"},
        {"duplicate sheet names", TestPackage().sheet("Same", sheet).sheet("SAME", sheet).build(),
         "is already taken"},
        {"bad sheet name", TestPackage().sheet("a[b]", sheet).build(), "contains one of"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string error = errorReading(c.bytes);
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        EXPECT_TRUE(error.starts_with("'/data/test.xlsx'")) << error;
    }

    ZipBuilder lying;
    lying.add("[Content_Types].xml", "<Types/>")
        .add("xl/workbook.xml",
             "<workbook><sheets><sheet name=\"S\" r:id=\"r\" xmlns:r=\"x\"/></sheets></workbook>");
    lying.add("xl/_rels/workbook.xml.rels",
              "<Relationships><Relationship Id=\"r\" Type=\"x/worksheet\" Target=\"s.xml\"/>"
              "</Relationships>");
    lying.add("xl/s.xml", sheet).declareSize(40);
    std::string error = errorReading(lying.finish());
    EXPECT_NE(error.find("the part xl/s.xml of the sheet 'S' is damaged"), std::string::npos)
        << error;

    ZipBuilder locked;
    locked.add("xl/workbook.xml", "<workbook><sheets/></workbook>").markEncrypted();
    EXPECT_EQ(errorReading(locked.finish()),
              "'/data/test.xlsx' is protected by a password and cannot be read.");
}

TEST(XlsxReader, ZipBombsStopEarly) {
    // 300 MB of white space inside a sheet compresses to a few hundred kilobytes.
    ZipBuilder bomb;
    bomb.add("xl/workbook.xml",
             "<workbook><sheets><sheet name=\"Data\" r:id=\"r\" xmlns:r=\"x\"/></sheets>"
             "</workbook>");
    bomb.add("xl/_rels/workbook.xml.rels",
             "<Relationships><Relationship Id=\"r\" Type=\"x/worksheet\" Target=\"s.xml\"/>"
             "</Relationships>");
    bomb.addRepeated("xl/s.xml", "<worksheet>", "                ", 300u << 16, "</worksheet>");
    std::string packed = bomb.finish();
    EXPECT_LT(packed.size(), 2u << 20);
    std::string error = errorReading(packed);
    EXPECT_NE(error.find("cannot be read: in the sheet 'Data', the part xl/s.xml expands more "
                         "than 300 times over"),
              std::string::npos)
        << error;
}

TEST(XlsxReader, FilesOnDisk) {
    test::TempDir dir;
    try {
        readXlsx(dir.file("missing.xlsx"));
        ADD_FAILURE() << "opened a missing file";
    } catch (const SpreadsheetError& error) {
        EXPECT_EQ(error.number(), static_cast<int>(ErrorNumber::FileNotFound));
        EXPECT_NE(error.description().find("missing.xlsx' could not be found."), std::string::npos);
    }
    EXPECT_THROW(readXlsx(dir.path().string()), SpreadsheetError);

    // A file read from disk gives what the same bytes give from memory.
    std::string corpus = std::string(PLYFOLD_CORPUS_DIR) + "/calamine__issue_261.xlsx";
    auto fromFile = readXlsx(corpus);
    auto fromMemory = readXlsxFromMemory(test::readFile(corpus), corpus);
    ASSERT_EQ(fromFile->sheetCount(), fromMemory->sheetCount());
    const Sheet& a = fromFile->sheet(0);
    const Sheet& b = fromMemory->sheet(0);
    ASSERT_EQ(a.cellCount(), b.cellCount());
    EXPECT_GT(a.cellCount(), 100u);
    EXPECT_EQ(a.merges(), b.merges());
    EXPECT_EQ(fromFile->path(), corpus);

    // A file cut short is said to be so, from disk as from memory.
    const std::string whole = test::readFile(corpus);
    test::writeFile(dir.file("cut.xlsx"), whole.substr(0, whole.size() / 3));
    try {
        readXlsx(dir.file("cut.xlsx"));
        ADD_FAILURE() << "read a truncated workbook";
    } catch (const SpreadsheetError& error) {
        EXPECT_NE(error.description().find("the workbook is truncated or damaged"),
                  std::string::npos)
            << error.description();
    }

    // An OLE compound file that is no encrypted package: a binary workbook.
    std::string xls = std::string(PLYFOLD_CORPUS_DIR) + "/calamine__biff5-rich-text-string.xls";
    try {
        readXlsx(xls);
        ADD_FAILURE() << "read a binary workbook";
    } catch (const SpreadsheetError& error) {
        EXPECT_NE(error.description().find("OLE compound file"), std::string::npos)
            << error.description();
    }
}

TEST(XlsxReader, CorpusFilesOfParticularLayouts) {
    const std::string corpus = PLYFOLD_CORPUS_DIR;
    // Strict Open XML: a cell of each kind, as its sheet part holds it.
    auto strict = readXlsx(corpus + "/poi__SampleSS.strict.xlsx");
    ASSERT_EQ(strict->sheetCount(), 3);
    EXPECT_GT(strict->sheet(0).cellCount(), 0u);
    size_t texts = 0;
    for (int32_t i = 0; i < strict->sheetCount(); ++i) {
        for (const Row& row : strict->sheet(i).rows()) {
            for (const Cell& cell : row.cells) {
                texts += cell.type == CellType::Text;
            }
        }
    }
    EXPECT_GE(texts, 10u);
    auto iso = readXlsx(corpus + "/calamine__strict_iso_paths.xlsx");
    EXPECT_GT(iso->sheet(0).cellCount(), 1000u);
    EXPECT_GT(iso->styles().styleCount(), 1u);

    // Parts at the root of the archive, with 6,800 inline strings.
    auto minimal = readXlsx(corpus + "/calamine__minimal_package.xlsx");
    EXPECT_GE(minimal->sheet(0).cellCount(), 6793u);
    EXPECT_EQ(minimal->sheet(0).merges().size(), 2u);

    // Cells in the last row and column of a sheet.
    auto far = readXlsx(corpus + "/calamine__issue_174.xlsx");
    auto used = far->sheet(0).usedRange();
    ASSERT_TRUE(used);
    EXPECT_EQ(used->last.row, 1048575);
    EXPECT_EQ(used->last.column, 16383);

    // 50,000 merged ranges.
    auto merges = readXlsx(corpus + "/poi__57893-many-merges.xlsx");
    merges->sheet(0).ensureLoaded();
    EXPECT_EQ(merges->sheet(0).merges().size(), 50000u);
}

}  // namespace
}  // namespace plyfold::engine
