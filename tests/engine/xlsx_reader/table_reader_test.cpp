#include <gtest/gtest.h>

#include "engine/common/error.h"
#include "engine/io/xlsx/xlsx_reader.h"
#include "test_package.h"

namespace plyfold::engine {
namespace {

using plyfold::test::TestPackage;
using plyfold::test::worksheetXml;

constexpr const char* kRels = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

std::string tableRelationships(const std::vector<std::string>& targets) {
    std::string xml =
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    int id = 0;
    for (const std::string& target : targets) {
        xml += "<Relationship Id=\"rId" + std::to_string(++id) + "\" Type=\"" + kRels +
               "/table\" Target=\"" + target + "\"/>";
    }
    return xml + "</Relationships>";
}

std::string tableXml(const std::string& attributes, const std::string& content) {
    return std::string(
               "<table xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" ") +
           attributes + ">" + content + "</table>";
}

std::unique_ptr<Workbook> bookWithTables(
    const std::vector<std::string>& targets,
    const std::vector<std::pair<std::string, std::string>>& parts) {
    TestPackage package;
    package.sheet("Data", worksheetXml("<sheetData/>"));
    package.part("xl/worksheets/_rels/sheet1.xml.rels", tableRelationships(targets));
    for (const auto& [name, xml] : parts) {
        package.part(name, xml);
    }
    return readXlsxFromMemory(package.build(), "tables.xlsx");
}

TEST(TableReading, EverythingATablePartHolds) {
    const std::string sales = tableXml(
        "id=\"3\" name=\"Sales\" displayName=\"Sales\" ref=\"B2:D6\" totalsRowCount=\"1\" "
        "comment=\"Q1_x000a_sales\"",
        "<autoFilter ref=\"B2:D5\"><filterColumn colId=\"0\"/></autoFilter>"
        "<tableColumns count=\"3\">"
        "<tableColumn id=\"1\" name=\"Qty\" totalsRowLabel=\"Total\"/>"
        "<tableColumn id=\"2\" name=\"Unit_x000a_Price\" totalsRowFunction=\"average\"/>"
        "<tableColumn id=\"5\" name=\"Amount\" totalsRowFunction=\"custom\">"
        "<calculatedColumnFormula>Sales[[#This Row],[Qty]]*2</calculatedColumnFormula>"
        "<totalsRowFormula>SUM(Sales[Amount])&amp;\"\"</totalsRowFormula></tableColumn>"
        "</tableColumns>"
        "<tableStyleInfo name=\"TableStyleMedium2\" showFirstColumn=\"0\" showLastColumn=\"1\" "
        "showRowStripes=\"1\" showColumnStripes=\"0\"/>");
    const std::string bare = tableXml(
        "id=\"4\" name=\"Bare\" displayName=\"Bare\" ref=\"F1:F3\" headerRowCount=\"0\" "
        "totalsRowShown=\"0\"",
        "<tableColumns count=\"1\"><tableColumn id=\"1\" name=\"Value\"/></tableColumns>");
    auto book = bookWithTables({"../tables/table1.xml", "/xl/tables/table2.xml"},
                               {{"xl/tables/table1.xml", sales}, {"xl/tables/table2.xml", bare}});
    const auto& tables = book->sheet(0).tables();
    ASSERT_EQ(tables.size(), 2u);
    const Table& t = tables[0];
    EXPECT_EQ(t.id, 3u);
    EXPECT_EQ(t.name, "Sales");
    EXPECT_EQ(t.displayName, "Sales");
    EXPECT_EQ(rangeName(t.range), "B2:D6");
    EXPECT_EQ(t.headerRowCount, 1);
    EXPECT_EQ(t.totalsRowCount, 1);
    EXPECT_EQ(t.comment, "Q1\nsales");
    ASSERT_TRUE(t.autoFilter);
    EXPECT_EQ(rangeName(*t.autoFilter), "B2:D5");
    ASSERT_EQ(t.columns.size(), 3u);
    EXPECT_EQ(t.columns[0].totalsRowLabel, "Total");
    EXPECT_EQ(t.columns[1].name, "Unit\nPrice");
    EXPECT_EQ(t.columns[1].totalsRowFunction, "average");
    EXPECT_EQ(t.columns[2].id, 5u);
    EXPECT_EQ(t.columns[2].calculatedColumnFormula, "Sales[[#This Row],[Qty]]*2");
    EXPECT_EQ(t.columns[2].totalsRowFormula, "SUM(Sales[Amount])&\"\"");
    ASSERT_TRUE(t.style);
    EXPECT_EQ(t.style->name, "TableStyleMedium2");
    EXPECT_TRUE(t.style->showLastColumn);
    EXPECT_TRUE(t.style->showRowStripes);
    EXPECT_FALSE(t.style->showColumnStripes);
    EXPECT_EQ(tables[1].headerRowCount, 0);
    EXPECT_FALSE(tables[1].totalsRowShown);
    EXPECT_FALSE(tables[1].style);
    EXPECT_FALSE(tables[1].autoFilter);
}

TEST(TableReading, UnusableTablesAreLeftOutAndColumnsFitTheRange) {
    const std::string columns =
        "<tableColumns count=\"1\"><tableColumn id=\"1\" name=\"A\"/></tableColumns>";
    auto book = bookWithTables(
        {"../tables/missing.xml", "../tables/badref.xml", "../tables/noname.xml",
         "../tables/wide.xml", "../tables/wide.xml", "../tables/short.xml"},
        {{"xl/tables/badref.xml", tableXml("id=\"1\" name=\"T1\" ref=\"B2:\"", columns)},
         {"xl/tables/noname.xml", tableXml("id=\"2\" ref=\"A1:A3\"", columns)},
         // Three columns in the range, one named: the others get names as programs give.
         {"xl/tables/wide.xml", tableXml("id=\"3\" displayName=\"Wide\" ref=\"A1:C3\"", columns)},
         // A header and a totals row need two rows.
         {"xl/tables/short.xml",
          tableXml("id=\"4\" name=\"Short\" ref=\"E1:E1\" totalsRowCount=\"1\"", columns)}});
    const auto& tables = book->sheet(0).tables();
    ASSERT_EQ(tables.size(), 1u);  // the part named twice is read once
    EXPECT_EQ(tables[0].name, "Wide");
    ASSERT_EQ(tables[0].columns.size(), 3u);
    EXPECT_EQ(tables[0].columns[0].name, "A");
    EXPECT_EQ(tables[0].columns[1].name, "Column2");
    EXPECT_EQ(tables[0].columns[2].name, "Column3");
}

TEST(TableReading, TablesAreReadWithoutTheCellsAndADamagedPartNamesItself) {
    auto book = bookWithTables({"../tables/table1.xml"},
                               {{"xl/tables/table1.xml", "<table><tableColumns>"}});
    try {
        book->sheet(0).tables();
        FAIL() << "a damaged table part must fail";
    } catch (const SpreadsheetError& error) {
        EXPECT_NE(error.description().find("xl/tables/table1.xml"), std::string::npos)
            << error.description();
        EXPECT_NE(error.description().find("'Data'"), std::string::npos) << error.description();
    }
    // It fails the same way again, never as a sheet without tables.
    EXPECT_THROW(book->sheet(0).tables(), SpreadsheetError);
    EXPECT_FALSE(book->sheet(0).isLoaded());  // the cells were never read
}

TEST(TableReading, TablesCountAgainstTheMemoryBudget) {
    // A table of 16,384 columns takes some megabytes however small its part.
    const std::string wide =
        tableXml("id=\"1\" name=\"Wide\" ref=\"A1:XFD2\"", "<tableColumns count=\"0\"/>");
    auto book = bookWithTables({"../tables/table1.xml"}, {{"xl/tables/table1.xml", wide}});
    auto budget = std::make_shared<MemoryBudget>(book->memory().bytes() + 64 * 1024);
    book->memory().setBudget(budget);
    const uint64_t before = budget->used();
    try {
        book->sheet(0).tables();
        FAIL() << "the tables went past the budget";
    } catch (const SpreadsheetError& error) {
        EXPECT_EQ(error.number(), static_cast<int32_t>(ErrorNumber::OutOfMemory));
        EXPECT_NE(error.description().find("'tables.xlsx', sheet 'Data'"), std::string::npos)
            << error.description();
    }
    EXPECT_EQ(budget->used(), before);  // nothing of the failed read stays counted
    budget->setLimit(UINT64_MAX);
    ASSERT_EQ(book->sheet(0).tables().size(), 1u);
    EXPECT_EQ(book->sheet(0).tables()[0].columns.size(), 16384u);
    EXPECT_GT(budget->used(), before + 16384 * sizeof(TableColumn));
}

TEST(TableReading, ASheetWithoutRelationshipsHasNoTables) {
    TestPackage package;
    package.sheet("Data", worksheetXml("<sheetData/>"));
    auto book = readXlsxFromMemory(package.build(), "plain.xlsx");
    EXPECT_TRUE(book->sheet(0).tables().empty());
}

}  // namespace
}  // namespace plyfold::engine
