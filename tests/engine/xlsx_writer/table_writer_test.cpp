#include <gtest/gtest.h>

#include "engine/common/error.h"
#include "engine/io/xlsx/xlsx_reader.h"
#include "engine/io/xlsx/xlsx_writer.h"
#include "tests/engine/xlsx_writer/package_inspection.h"

namespace plyfold::engine {
namespace {

using plyfold::test::parseXml;
using plyfold::test::unzipAll;

void putText(Sheet& sheet, std::string_view ref, std::string_view text) {
    Cell& cell = sheet.cellAt(*parseCellName(ref));
    cell.type = CellType::Text;
    cell.value.text = sheet.workbook().strings().intern(text);
}

Table makeTable(std::string name, std::string_view ref, std::vector<std::string> columns) {
    Table table;
    table.id = 77;
    table.name = table.displayName = std::move(name);
    table.range = *parseRangeName(ref);
    for (std::string& column : columns) {
        table.columns.emplace_back();
        table.columns.back().name = std::move(column);
    }
    return table;
}

// Sheets One (table Sales at A1:B4 with a totals row), Two (no table), Three (tables Bare
// without a header, and Wide with more columns than names).
std::unique_ptr<Workbook> bookWithTables() {
    auto book = std::make_unique<Workbook>();
    Sheet& one = book->addSheet("One");
    book->addSheet("Two");
    Sheet& three = book->addSheet("Three");
    putText(one, "A1", "Qty");
    putText(one, "B1", "Unit\nPrice & <tax>");
    Table sales = makeTable("Sales", "A1:B4", {"Qty", "Unit\nPrice & <tax>"});
    sales.totalsRowCount = 1;
    sales.autoFilter = *parseRangeName("A1:B3");
    sales.comment = "monthly";
    sales.columns[0].totalsRowLabel = "Total";
    sales.columns[1].totalsRowFunction = "custom";
    sales.columns[1].totalsRowFormula = "SUM(Sales[[#Data],[Unit'#Price]])";
    sales.columns[1].calculatedColumnFormula = "Sales[[#This Row],[Qty]]*2";
    sales.style = TableStyleInfo{"TableStyleLight9", false, true, true, false};
    one.mutableTables().push_back(sales);
    Table bare = makeTable("Bare", "D1:D3", {"Value"});
    bare.headerRowCount = 0;
    bare.totalsRowShown = false;
    bare.autoFilter = *parseRangeName("D1:D3");  // a table without a header row has none
    three.mutableTables().push_back(bare);
    Table wide = makeTable("Wide", "F1:H2", {"F"});
    wide.columns[0].totalsRowFunction = "bogus";
    three.mutableTables().push_back(wide);
    return book;
}

TEST(TableWriting, PartsRelationshipsAndContentTypes) {
    auto book = bookWithTables();
    xlsx::StringSink sink;
    xlsx::writeXlsx(*book, sink);
    auto parts = unzipAll(sink.bytes());

    const std::string& types = parts.at("[Content_Types].xml");
    for (const char* part :
         {"/xl/tables/table1.xml", "/xl/tables/table2.xml", "/xl/tables/table3.xml"}) {
        EXPECT_NE(types.find(std::string("PartName=\"") + part +
                             "\" ContentType=\"application/vnd.openxmlformats-officedocument."
                             "spreadsheetml.table+xml\""),
                  std::string::npos)
            << part;
    }
    EXPECT_FALSE(parts.count("xl/tables/table4.xml"));
    EXPECT_FALSE(parts.count("xl/worksheets/_rels/sheet2.xml.rels"));

    auto rels = parseXml(parts.at("xl/worksheets/_rels/sheet3.xml.rels"));
    ASSERT_EQ(rels.children.size(), 2u);
    EXPECT_EQ(*rels.children[0].attribute("Id"), "rId1");
    EXPECT_EQ(*rels.children[0].attribute("Target"), "../tables/table2.xml");
    EXPECT_EQ(*rels.children[1].attribute("Target"), "../tables/table3.xml");
    EXPECT_EQ(*rels.children[1].attribute("Type"),
              "http://schemas.openxmlformats.org/officeDocument/2006/relationships/table");

    auto sheet3 = parseXml(parts.at("xl/worksheets/sheet3.xml"));
    const auto* tableParts = sheet3.child("tableParts");
    ASSERT_NE(tableParts, nullptr);
    EXPECT_EQ(sheet3.children.back().name, "tableParts");  // last, after the page margins
    EXPECT_EQ(*tableParts->attribute("count"), "2");
    EXPECT_EQ(*tableParts->children[1].attribute("r:id"), "rId2");
    EXPECT_EQ(parseXml(parts.at("xl/worksheets/sheet2.xml")).child("tableParts"), nullptr);

    auto sales = parseXml(parts.at("xl/tables/table1.xml"));
    EXPECT_EQ(*sales.attribute("id"), "1");  // numbered afresh, unique in the workbook
    EXPECT_EQ(*sales.attribute("ref"), "A1:B4");
    EXPECT_EQ(*sales.attribute("totalsRowCount"), "1");
    EXPECT_EQ(sales.children[0].name, "autoFilter");
    EXPECT_EQ(sales.children[1].name, "tableColumns");
    EXPECT_EQ(sales.children[2].name, "tableStyleInfo");
    auto wide = parseXml(parts.at("xl/tables/table3.xml"));
    EXPECT_EQ(*wide.attribute("id"), "3");
    const auto* columns = wide.child("tableColumns");
    ASSERT_EQ(columns->children.size(), 3u);
    EXPECT_EQ(*columns->children[2].attribute("name"), "Column3");
    EXPECT_EQ(*columns->children[2].attribute("id"), "3");
    EXPECT_EQ(columns->children[0].attribute("totalsRowFunction"), nullptr);
    auto bare = parseXml(parts.at("xl/tables/table2.xml"));
    EXPECT_EQ(bare.child("autoFilter"), nullptr);
    EXPECT_EQ(*bare.attribute("headerRowCount"), "0");
}

TEST(TableWriting, ReadBackGivesTheSameTables) {
    auto book = bookWithTables();
    xlsx::StringSink sink;
    xlsx::writeXlsx(*book, sink);
    auto back = readXlsxFromMemory(sink.bytes(), "tables.xlsx");
    ASSERT_EQ(back->sheetCount(), 3);
    for (int32_t s = 0; s < 3; ++s) {
        const auto& written = book->sheet(s).tables();
        const auto& read = back->sheet(s).tables();
        ASSERT_EQ(read.size(), written.size()) << s;
        for (size_t t = 0; t < read.size(); ++t) {
            const Table& a = written[t];
            const Table& b = read[t];
            EXPECT_EQ(b.displayName, a.displayName);
            EXPECT_EQ(b.range, a.range);
            EXPECT_EQ(b.headerRowCount, a.headerRowCount);
            EXPECT_EQ(b.totalsRowCount, a.totalsRowCount);
            EXPECT_EQ(b.comment, a.comment);
            EXPECT_EQ(b.autoFilter, a.headerRowCount ? a.autoFilter : std::nullopt);
            EXPECT_EQ(b.style.has_value(), a.style.has_value());
            ASSERT_EQ(b.columns.size(), static_cast<size_t>(a.range.columnCount()));
            for (size_t c = 0; c < a.columns.size(); ++c) {
                EXPECT_EQ(b.columns[c].name, a.columns[c].name);
                EXPECT_EQ(b.columns[c].totalsRowLabel, a.columns[c].totalsRowLabel);
                EXPECT_EQ(b.columns[c].calculatedColumnFormula,
                          a.columns[c].calculatedColumnFormula);
                EXPECT_EQ(b.columns[c].totalsRowFormula, a.columns[c].totalsRowFormula);
            }
        }
    }
    const Table& sales = back->sheet(0).tables()[0];
    EXPECT_EQ(sales.columns[1].totalsRowFunction, "custom");
    EXPECT_EQ(sales.style->name, "TableStyleLight9");
    EXPECT_TRUE(sales.style->showLastColumn);
    EXPECT_FALSE(back->sheet(2).tables()[1].columns[0].totalsRowFunction.size());
}

TEST(TableWriting, TwoTablesOfOneNameAreRefused) {
    auto book = bookWithTables();
    book->sheet(1).mutableTables().push_back(makeTable("SALES", "A1:A2", {"x"}));
    xlsx::StringSink sink;
    try {
        xlsx::writeXlsx(*book, sink);
        FAIL() << "two tables named Sales were written";
    } catch (const SpreadsheetError& error) {
        EXPECT_NE(error.description().find("'Two'"), std::string::npos) << error.description();
        EXPECT_NE(error.description().find("'SALES'"), std::string::npos) << error.description();
    }
}

}  // namespace
}  // namespace plyfold::engine
