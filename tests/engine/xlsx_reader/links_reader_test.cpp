// Defined names and external links as other programs write them.

#include <gtest/gtest.h>

#include "engine/io/xlsx/xlsx_reader.h"
#include "engine/ops/shared_formula.h"
#include "test_package.h"

namespace plyfold::engine {
namespace {

using test::sheetDataXml;
using test::TestPackage;
using test::worksheetXml;

constexpr const char* kRelationshipsNamespace =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

std::string relationship(const std::string& id, const std::string& type, const std::string& target,
                         bool external = false) {
    return "<Relationship Id=\"" + id + "\" Type=\"" + kRelationshipsNamespace + "/" + type +
           "\" Target=\"" + target + "\"" + (external ? " TargetMode=\"External\"" : "") + "/>";
}

std::string relationships(const std::string& content) {
    return "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
           "relationships\">" +
           content + "</Relationships>";
}

TEST(XlsxLinksReader, NamesAndExternalBooksAsOtherProgramsWriteThem) {
    const std::string sheet = worksheetXml(sheetDataXml(
        "<row r=\"1\"><c r=\"A1\"><f>[1]Sales!B2+'[2]My Data'!A1+Rate</f><v>3</v></c></row>"));
    const std::string workbook =
        std::string("<workbook xmlns=\"") + test::kMainNamespace + "\" xmlns:r=\"" +
        kRelationshipsNamespace +
        "\"><sheets><sheet name=\"Data\" sheetId=\"1\" r:id=\"rId1\"/>"
        "<sheet name=\"Other\" sheetId=\"2\" r:id=\"rId2\"/></sheets>"
        "<externalReferences><externalReference r:id=\"rId9\"/>"
        "<externalReference r:id=\"rId10\"/><externalReference r:id=\"rId11\"/>"
        "</externalReferences><definedNames>"
        "<definedName function=\"false\" hidden=\"false\" name=\"Rate\" "
        "vbProcedure=\"false\">Other!$B$1</definedName>"
        "<definedName name=\"_xlnm.Print_Area\" localSheetId=\"1\" hidden=\"1\">"
        "Other!$A$1:$C$3</definedName>"
        "<definedName name=\"Far\" localSheetId=\"7\">1</definedName>"
        "<definedName name=\"Text\" comment=\"a &amp; b\">\"x&lt;y\"</definedName>"
        "</definedNames></workbook>";
    const std::string link =
        std::string("<externalLink xmlns=\"") + test::kMainNamespace +
        "\"><externalBook xmlns:r=\"" + kRelationshipsNamespace +
        "\" r:id=\"rId1\"><sheetNames><sheetName val=\"Sales\"/><sheetName val=\"Old\"/>"
        "</sheetNames><definedNames><definedName name=\"Total\" refersTo=\"=Sales!$B$9\" "
        "sheetId=\"0\"/></definedNames><sheetDataSet><sheetData sheetId=\"0\">"
        "<row r=\"2\"><cell r=\"A2\" t=\"str\"><v>North</v></cell><cell r=\"B2\"><v>100</v>"
        "</cell><cell r=\"C2\" t=\"b\"><v>1</v></cell><cell r=\"D2\" t=\"e\"><v>#N/A</v>"
        "</cell></row></sheetData><sheetData sheetId=\"1\" refreshError=\"1\"/>"
        "<sheetData sheetId=\"5\"><row r=\"1\"><cell r=\"A1\"><v>1</v></cell></row>"
        "</sheetData></sheetDataSet></externalBook></externalLink>";
    const std::string secondLink =
        std::string("<externalLink xmlns=\"") + test::kMainNamespace +
        "\"><externalBook xmlns:r=\"" + kRelationshipsNamespace +
        "\" r:id=\"rId1\"><sheetNames><sheetName val=\"My Data\"/></sheetNames>"
        "</externalBook></externalLink>";
    const std::string bytes =
        TestPackage()
            .sheet("Data", sheet)
            .sheet("Other", worksheetXml(sheetDataXml("")))
            .part("xl/workbook.xml", workbook)
            .part("xl/_rels/workbook.xml.rels",
                  relationships(
                      relationship("rId1", "worksheet", "worksheets/sheet1.xml") +
                      relationship("rId2", "worksheet", "worksheets/sheet2.xml") +
                      relationship("rId9", "externalLink", "externalLinks/externalLink1.xml") +
                      relationship("rId10", "externalLink", "externalLinks/externalLink2.xml") +
                      relationship("rId11", "externalLink", "externalLinks/gone.xml")))
            .part("xl/externalLinks/externalLink1.xml", link)
            .part("xl/externalLinks/_rels/externalLink1.xml.rels",
                  relationships(relationship("rId1", "externalLinkPath",
                                             "file:///reports/jan%202026.xlsx", true)))
            .part("xl/externalLinks/externalLink2.xml", secondLink)
            .part("xl/externalLinks/_rels/externalLink2.xml.rels",
                  relationships(relationship("rId1", "externalLinkPath", "../old/feb.xlsx", true)))
            .build();
    auto book = readXlsxFromMemory(bytes, "/data/in/test.xlsx");

    // Names come with the sheet list; a name for a sheet the workbook lacks is left out.
    ASSERT_EQ(book->definedNames().size(), 2u);
    EXPECT_EQ(book->definedNames()[0].name, "Rate");
    EXPECT_EQ(book->definedNames()[0].formula, "Other!$B$1");
    EXPECT_FALSE(book->definedNames()[0].hidden);
    EXPECT_EQ(book->definedNames()[1].formula, "\"x<y\"");
    EXPECT_EQ(book->definedNames()[1].comment, "a & b");
    ASSERT_EQ(book->sheet(1).definedNames().size(), 1u);
    EXPECT_EQ(book->sheet(1).definedNames()[0].formula, "Other!$A$1:$C$3");
    EXPECT_TRUE(book->sheet(1).definedNames()[0].hidden);
    // The books keep their places before any sheet is read; what they hold comes with the
    // first sheet read.
    ASSERT_EQ(book->externalBooks().size(), 3u);
    EXPECT_TRUE(book->externalBooks()[0].path.empty());

    book->sheet(0).ensureLoaded();
    const Cell* cell = book->sheet(0).findCell({0, 0});
    ASSERT_TRUE(cell);
    EXPECT_EQ(cellFormula(*book, *cell, {0, 0}), "[1]Sales!B2+'[2]My Data'!A1+Rate");
    const ExternalBook& jan = book->externalBooks()[0];
    EXPECT_EQ(jan.path, "/reports/jan 2026.xlsx");
    ASSERT_EQ(jan.sheets.size(), 2u);
    EXPECT_EQ(jan.sheets[1].name, "Old");
    const auto& cells = jan.sheets[0].cells;
    ASSERT_EQ(cells.size(), 4u);
    EXPECT_EQ(cells.at({1, 0}).text, "North");
    EXPECT_EQ(cells.at({1, 1}).number, 100);
    EXPECT_EQ(cells.at({1, 2}).type, CellType::Boolean);
    EXPECT_EQ(cells.at({1, 3}).error, ErrorValue::NA);
    ASSERT_EQ(jan.names.size(), 1u);
    EXPECT_EQ(jan.names[0].formula, "Sales!$B$9");
    EXPECT_EQ(jan.names[0].sheet, 0);
    EXPECT_EQ(book->externalBooks()[1].path, "/data/old/feb.xlsx");
    EXPECT_TRUE(book->externalBooks()[2].path.empty());  // its part is missing
}

}  // namespace
}  // namespace plyfold::engine
