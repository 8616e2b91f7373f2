#include <gtest/gtest.h>

#include "engine/common/error.h"
#include "engine/io/workbook_io.h"
#include "engine/io/xlsx/xlsx_reader.h"
#include "test_package.h"
#include "tests/support/temp_dir.h"

namespace plyfold::engine {
namespace {

using plyfold::test::sheetDataXml;
using plyfold::test::TestPackage;
using plyfold::test::worksheetXml;

constexpr const char* kRels = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

std::string relationships(const std::string& entries) {
    return "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
           "relationships\">" +
           entries + "</Relationships>";
}

std::string relationship(const std::string& id, const std::string& kind, const std::string& target,
                         bool external = false) {
    return "<Relationship Id=\"" + id + "\" Type=\"" + kRels + "/" + kind + "\" Target=\"" +
           target + "\"" + (external ? " TargetMode=\"External\"" : "") + "/>";
}

std::string commentsXml(const std::string& authors, const std::string& list) {
    return "<comments xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
           "<authors>" +
           authors + "</authors><commentList>" + list + "</commentList></comments>";
}

// A sheet whose part holds content after its data, with its relationships and parts.
std::unique_ptr<Workbook> bookWith(const std::string& content, const std::string& rels,
                                   const std::vector<std::pair<std::string, std::string>>& parts,
                                   const std::string& rows = "") {
    TestPackage package;
    package.sheet("Data", worksheetXml(sheetDataXml(rows) + content));
    if (!rels.empty()) {
        package.part("xl/worksheets/_rels/sheet1.xml.rels", relationships(rels));
    }
    for (const auto& [name, xml] : parts) {
        package.part(name, xml);
    }
    return readXlsxFromMemory(package.build(), "notes.xlsx");
}

std::string loadError(Workbook& book) {
    try {
        book.sheet(0).ensureLoaded();
    } catch (const SpreadsheetError& error) {
        return error.description();
    }
    return "";
}

TEST(HyperlinkReading, ExternalTargetsComeFromTheRelationshipsInternalOnesFromTheSheet) {
    auto book = bookWith(
        "<hyperlinks>"
        "<hyperlink ref=\"B2\" r:id=\"rId1\" tooltip=\"Go_x000a_there\" display=\"site\"/>"
        "<hyperlink ref=\"C3:D4\" location=\"'My Sheet'!A1\"/>"
        "<hyperlink ref=\"E5\" r:id=\"rId2\" location=\"Sheet2!B9\"/>"
        "<hyperlink ref=\"F6\" r:id=\"rId9\"/>"                  // its relationship is missing
        "<hyperlink ref=\"G7\" r:id=\"rId3\"/>"                  // not a hyperlink relationship
        "<hyperlink ref=\"not a cell\" location=\"A1\"/>"        // on no cell
        "<hyperlink ref=\"H8\"/>"                                // to nowhere
        "<hyperlink ref=\"I9\" r:id=\"rId9\" location=\"A2\"/>"  // the place is kept
        "</hyperlinks>",
        relationship("rId1", "hyperlink", "https://example.com/?a=1&amp;b=2", true) +
            relationship("rId2", "hyperlink", "other.xlsx", true) +
            relationship("rId3", "comments", "../comments1.xml"),
        {});
    const auto& links = book->sheet(0).hyperlinks();
    ASSERT_EQ(links.size(), 4u);
    EXPECT_EQ(rangeName(links[0].range), "B2");
    EXPECT_EQ(links[0].target, "https://example.com/?a=1&b=2");
    EXPECT_EQ(links[0].tooltip, "Go\nthere");
    EXPECT_EQ(links[0].display, "site");
    EXPECT_EQ(rangeName(links[1].range), "C3:D4");
    EXPECT_EQ(links[1].target, "");
    EXPECT_EQ(links[1].location, "'My Sheet'!A1");
    EXPECT_EQ(links[2].target, "other.xlsx");
    EXPECT_EQ(links[2].location, "Sheet2!B9");
    EXPECT_EQ(rangeName(links[3].range), "I9");
    EXPECT_EQ(links[3].target, "");
    EXPECT_EQ(links[3].location, "A2");
}

TEST(NoteReading, AuthorsTextsAndRunsOfTheCommentsPart) {
    const std::string comments = commentsXml(
        "<author>Ann</author><author>B_x00e9_a</author>",
        "<comment ref=\"B2\" authorId=\"1\"><text><t>one_x000a_two</t></text></comment>"
        "<comment ref=\"C3\" authorId=\"7\"><text><r><rPr><b/><sz val=\"9\"/>"
        "<color theme=\"4\"/><rFont val=\"Tahoma\"/></rPr><t>Ann:</t></r>"
        "<r><t xml:space=\"preserve\"> plain</t></r><rPh><t>skipped</t></rPh></text></comment>"
        "<comment ref=\"bad\" authorId=\"0\"><text><t>on no cell</t></text></comment>"
        "<comment ref=\"D4:E5\" authorId=\"0\"><text/></comment>"
        "<comment ref=\"B2\" authorId=\"0\"><text><t>a second note</t></text></comment>");
    auto book = bookWith("<legacyDrawing r:id=\"rId2\"/>",
                         relationship("rId1", "comments", "../comments1.xml") +
                             relationship("rId2", "vmlDrawing", "../drawings/vml1.vml"),
                         {{"xl/comments1.xml", comments}});
    const auto& notes = book->sheet(0).comments();
    ASSERT_EQ(notes.size(), 3u);
    EXPECT_EQ(cellName(notes[0].cell), "B2");
    EXPECT_EQ(notes[0].author,
              "B\xC3\xA9"
              "a");
    EXPECT_EQ(notes[0].text.plainText(), "one\ntwo");
    EXPECT_EQ(notes[1].author, "");  // an author the part does not list
    ASSERT_EQ(notes[1].text.runs.size(), 2u);
    EXPECT_EQ(notes[1].text.plainText(), "Ann: plain");
    const Font& font = book->styles().font(notes[1].text.runs[0].font);
    EXPECT_TRUE(font.bold);
    EXPECT_EQ(font.size, 9.0);
    EXPECT_EQ(font.name, "Tahoma");
    EXPECT_EQ(font.color, Color::rgb(0xFF4472C4));  // accent 1 of the default theme
    EXPECT_EQ(notes[1].text.runs[1].font, TextRun::kCellFont);
    EXPECT_EQ(cellName(notes[2].cell), "D4");
    EXPECT_TRUE(notes[2].text.runs.empty());
}

TEST(RichTextReading, SharedAndInlineStringsKeepTheirRuns) {
    TestPackage package;
    package.sharedStrings(
        "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
        "<si><t>plain</t></si>"
        "<si><r><rPr><i/><rFont val=\"Arial\"/></rPr><t>It</t></r><r><t>_x0041_</t></r></si>"
        "<si><r><t>one run, no font</t></r></si>"
        "</sst>");
    package.sheet("Data", worksheetXml(sheetDataXml(
                              "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c>"
                              "<c r=\"B1\" t=\"s\"><v>1</v></c><c r=\"C1\" t=\"s\"><v>2</v></c>"
                              "<c r=\"D1\" t=\"inlineStr\"><is><r><t>in</t></r><r><rPr><u/>"
                              "</rPr><t>line</t></r></is></c></row>")));
    auto book = readXlsxFromMemory(package.build(), "rich.xlsx");
    const Sheet& sheet = book->sheet(0);
    auto richAt = [&](std::string_view cell) {
        return book->richTextOf(*sheet.findCell(*parseCellName(cell)));
    };
    EXPECT_EQ(richAt("A1"), nullptr);
    const RichText* single = richAt("C1");  // one run in the cell's font is kept as written
    ASSERT_NE(single, nullptr);
    ASSERT_EQ(single->runs.size(), 1u);
    EXPECT_EQ(single->runs[0].font, TextRun::kCellFont);
    const RichText* shared = richAt("B1");
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(shared->plainText(), "ItA");
    EXPECT_TRUE(book->styles().font(shared->runs[0].font).italic);
    const RichText* inlined = richAt("D1");
    ASSERT_NE(inlined, nullptr);
    EXPECT_EQ(inlined->plainText(), "inline");
    EXPECT_EQ(inlined->runs[0].font, TextRun::kCellFont);
    EXPECT_EQ(book->styles().font(inlined->runs[1].font).underline, Underline::Single);
}

TEST(RichTextReading, AFloodOfFontsKeepsEveryTextAndBoundsTheFonts) {
    std::string strings =
        "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">";
    for (int i = 0; i < 20000; ++i) {
        strings += "<si><r><rPr><sz val=\"" + std::to_string(1 + i / 100.0) + "\"/></rPr><t>t" +
                   std::to_string(i) + "</t></r></si>";
    }
    TestPackage package;
    package.sharedStrings(strings + "</sst>");
    package.sheet(
        "Data",
        worksheetXml(sheetDataXml("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>19999</v></c></row>")));
    auto book = readXlsxFromMemory(package.build(), "fonts.xlsx");
    const Cell* cell = book->sheet(0).findCell(CellRef{0, 0});
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(book->strings().text(cell->value.text), "t19999");
    const RichText* rich = book->richTextOf(*cell);
    ASSERT_NE(rich, nullptr);
    EXPECT_EQ(rich->runs[0].font, TextRun::kCellFont);  // past the bound: the cell's font
    EXPECT_LE(book->styles().fontCount(), 16384u);
}

TEST(NoteReading, DamagedOrHostilePartsAreRefusedNamingTheSheet) {
    const std::string vml = "<legacyDrawing r:id=\"rId2\"/>";
    const std::string rels = relationship("rId1", "comments", "../comments1.xml");
    std::string manyAuthors;
    for (int i = 0; i < 70000; ++i) {
        manyAuthors += "<author/>";
    }
    const std::string longText(1100000, 'x');
    struct Case {
        const char* what;
        std::string part;
        const char* message;
    };
    const Case cases[] = {
        {"truncated", commentsXml("<author>A</author>", "<comment ref=\"A1\" authorId=\"0\">"),
         "xl/comments1.xml"},
        {"too many authors", commentsXml(manyAuthors, ""), "authors"},
        {"too long a note",
         commentsXml("", "<comment ref=\"A1\"><text><t>" + longText + "</t></text></comment>"),
         "longer than"},
        {"not UTF-8", commentsXml("", "<comment ref=\"A1\"><text><t>\xFF</t></text></comment>"),
         "not valid text"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto book = bookWith(vml, rels, {{"xl/comments1.xml", c.part}});
        const std::string error = loadError(*book);
        EXPECT_NE(error.find("'notes.xlsx'"), std::string::npos) << error;
        EXPECT_NE(error.find("Data"), std::string::npos) << error;
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
}

TEST(NoteReading, AMissingPartLeavesTheSheetWithoutNotes) {
    auto missing = bookWith("<legacyDrawing r:id=\"rId2\"/>",
                            relationship("rId1", "comments", "../comments9.xml"), {},
                            "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>");
    EXPECT_EQ(loadError(*missing), "");
    EXPECT_TRUE(missing->sheet(0).comments().empty());
    EXPECT_EQ(missing->sheet(0).cellCount(), 1u);
}

TEST(NotesRoundTrip, WhatIsWrittenReadsBackTheSame) {
    Workbook book;
    Sheet& sheet = book.addSheet("Data & more");
    book.addSheet("Second");
    Font red;
    red.name = "Arial";
    red.bold = true;
    red.color = Color::rgb(0xFFFF0000);
    red.scheme.clear();  // a scheme font takes the theme's name
    const uint32_t redFont = book.styles().addFont(red);
    Hyperlink web;
    web.range = *parseRangeName("B2:C3");
    web.target = "https://example.com/a b?x=<1>&y=2";
    web.tooltip = "tip \"quoted\"";
    web.display = "shown";
    Hyperlink file;
    file.range = *parseRangeName("A9");
    file.target = "/data/my file#1.xlsx";
    file.location = "'Sheet 1'!A1";
    Hyperlink internal;
    internal.range = *parseRangeName("D4");
    internal.location = "Second!A1";
    sheet.hyperlinks() = {web, file, internal};
    Comment plain;
    plain.cell = *parseCellName("A1");
    plain.author = "Ann & Co";
    plain.text.runs = {TextRun{"  two\nlines  ", TextRun::kCellFont}};
    Comment rich;
    rich.cell = *parseCellName("XFD1048576");
    rich.author = "Bob";
    rich.text.runs = {TextRun{"Bob:", redFont}, TextRun{" text", TextRun::kCellFont}};
    sheet.comments() = {plain, rich};
    Cell& cell = sheet.cellAt(*parseCellName("E5"));
    cell.type = CellType::Text;
    cell.value.text = book.strings().intern("Red <plain>");
    RichText runs;
    runs.runs = {TextRun{"Red ", redFont}, TextRun{"<plain>", TextRun::kCellFont}};
    cell.richText = book.addRichText(runs) + 1;

    test::TempDir dir;
    const std::string path = dir.file("notes.xlsx");
    saveWorkbook(book, path);
    auto read = readXlsx(path);
    const Sheet& back = read->sheet(0);
    ASSERT_EQ(back.hyperlinks().size(), 3u);
    EXPECT_EQ(back.hyperlinks()[0], web);
    EXPECT_EQ(back.hyperlinks()[1].target, "file:///data/my%20file%231.xlsx");
    EXPECT_EQ(back.hyperlinks()[1].location, file.location);
    EXPECT_EQ(back.hyperlinks()[2], internal);
    ASSERT_EQ(back.comments().size(), 2u);
    EXPECT_EQ(back.comments()[0], plain);
    EXPECT_EQ(back.comments()[1].cell, rich.cell);
    ASSERT_EQ(back.comments()[1].text.runs.size(), 2u);
    EXPECT_EQ(read->styles().font(back.comments()[1].text.runs[0].font), red);
    const RichText* backRuns = read->richTextOf(*back.findCell(*parseCellName("E5")));
    ASSERT_NE(backRuns, nullptr);
    EXPECT_EQ(backRuns->plainText(), "Red <plain>");
    EXPECT_EQ(read->styles().font(backRuns->runs[0].font), red);
    EXPECT_EQ(backRuns->runs[1].font, TextRun::kCellFont);
    EXPECT_TRUE(read->sheet(1).comments().empty());
}

}  // namespace
}  // namespace plyfold::engine
