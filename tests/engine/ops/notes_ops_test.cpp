#include <gtest/gtest.h>

#include "engine/model/workbook.h"
#include "engine/ops/sheet_ops.h"
#include "engine/ops/workbook_links.h"

namespace plyfold::engine {
namespace {

CellRef at(std::string_view name) {
    return *parseCellName(name);
}

CellRange range(std::string_view name) {
    return *parseRangeName(name);
}

void putText(Sheet& sheet, std::string_view ref, std::string_view text) {
    Cell& cell = sheet.cellAt(at(ref));
    cell.type = CellType::Text;
    cell.value.text = sheet.workbook().strings().intern(text);
}

Hyperlink internalLink(std::string_view cells, std::string_view location) {
    Hyperlink link;
    link.range = range(cells);
    link.location = location;
    return link;
}

Comment note(std::string_view cell, std::string_view text) {
    Comment comment;
    comment.cell = at(cell);
    comment.author = "Ann";
    comment.text.runs.push_back(TextRun{std::string(text), TextRun::kCellFont});
    return comment;
}

// A text in two runs, the first bold in the given font.
uint32_t putRichText(Sheet& sheet, std::string_view ref, const std::string& fontName) {
    Workbook& book = sheet.workbook();
    Font bold;
    bold.name = fontName;
    bold.bold = true;
    RichText text;
    text.runs.push_back(TextRun{"Bold ", book.styles().addFont(bold)});
    text.runs.push_back(TextRun{"plain", TextRun::kCellFont});
    putText(sheet, ref, "Bold plain");
    const uint32_t id = book.addRichText(std::move(text)) + 1;
    sheet.cellAt(at(ref)).richText = id;
    return id;
}

std::vector<std::string> linkCells(const Sheet& sheet) {
    std::vector<std::string> cells;
    for (const Hyperlink& link : sheet.hyperlinks()) {
        cells.push_back(rangeName(link.range) + " " + link.location);
    }
    return cells;
}

std::vector<std::string> noteCells(const Sheet& sheet) {
    std::vector<std::string> cells;
    for (const Comment& comment : sheet.comments()) {
        cells.push_back(cellName(comment.cell) + " " + comment.text.plainText());
    }
    return cells;
}

using V = std::vector<std::string>;

TEST(NotesOnDelete, NotesAndLinksMoveWithTheirCellsAndGoWithThem) {
    struct Case {
        bool columns;
        int32_t first;
        int32_t count;
        V links;
        V notes;
        V linksElsewhere;
    };
    // Links on B2, A4:C6 and E8; notes on B2, C5 and E8; links on Other to cells of Data.
    const Case cases[] = {
        {false,
         1,
         1,
         {"A3:C5 Data!A1", "E7 Data!A1"},
         {"C4 c5", "E7 e8"},
         {"A1 Data!A3", "A2 Data!#REF!", "A3 Data!A3:C5"}},
        {false,
         3,
         2,
         {"B2 Data!A1", "A4:C4 Data!A1", "E6 Data!A1"},
         {"B2 b2", "E6 e8"},
         {"A1 Data!#REF!", "A2 Data!B2", "A3 Data!A4:C4"}},
        {false,
         3,
         3,
         {"B2 Data!A1", "E5 Data!A1"},
         {"B2 b2", "E5 e8"},
         {"A1 Data!#REF!", "A2 Data!B2", "A3 Data!#REF!"}},
        {true,
         1,
         2,
         {"A4:A6 Data!A1", "C8 Data!A1"},
         {"C8 e8"},
         {"A1 Data!A4", "A2 Data!#REF!", "A3 Data!A4:A6"}},
    };
    for (const Case& c : cases) {
        Workbook book;
        Sheet& data = book.addSheet("Data");
        Sheet& other = book.addSheet("Other");
        for (const char* cells : {"B2", "A4:C6", "E8"}) {
            data.hyperlinks().push_back(internalLink(cells, "Data!A1"));
        }
        data.comments() = {note("B2", "b2"), note("C5", "c5"), note("E8", "e8")};
        other.hyperlinks() = {internalLink("A1", "Data!A4"), internalLink("A2", "Data!B2"),
                              internalLink("A3", "Data!A4:C6")};
        if (c.columns) {
            deleteColumns(data, c.first, c.count);
        } else {
            deleteRows(data, c.first, c.count);
        }
        SCOPED_TRACE((c.columns ? "columns " : "rows ") + std::to_string(c.first));
        EXPECT_EQ(linkCells(data), c.links);
        EXPECT_EQ(noteCells(data), c.notes);
        EXPECT_EQ(linkCells(other), c.linksElsewhere);
    }
}

TEST(NotesOnPaste, WhatLiesInTheBlockMovesWithItCutToTheBlock) {
    Workbook sourceBook;
    sourceBook.setPath("/data/source.xlsx");
    Sheet& source = sourceBook.addSheet("Data");
    sourceBook.addSheet("Other One");
    source.hyperlinks() = {
        internalLink("B2:D3", "Data!C3"),      // cut to C2:D3, its place inside the block
        internalLink("C4", "'Data'!$C$5"),     // inside, absolute: still the same cell
        internalLink("D4", "C9"),              // a place outside the block: the source file
        internalLink("C5", "'Other One'!A1"),  // another sheet: the source file
        internalLink("A1", "Data!A1"),         // outside the block: stays behind
    };
    Hyperlink web;
    web.range = range("D5");
    web.target = "https://example.com/";
    web.tooltip = "tip";
    source.hyperlinks().push_back(web);
    source.comments() = {note("C2", "in"), note("B2", "out")};
    const uint32_t rich = putRichText(source, "D2", "Arial");

    Workbook targetBook;
    Sheet& target = targetBook.addSheet("Result");
    target.comments() = {note("F10", "overwritten"), note("A1", "kept")};
    target.hyperlinks() = {internalLink("G11", "Result!A1"), internalLink("A2", "Result!A1")};
    // Block C2:D5 lands at F10: 8 rows down, 3 columns right.
    pasteBlock(source, range("C2:D5"), target, at("F10"));

    EXPECT_EQ(linkCells(target), (V{"A2 Result!A1", "F10:G11 Result!F11", "F12 Result!F13",
                                    "G12 Data!C9", "F13 'Other One'!A1", "G13 "}));
    const auto& links = target.hyperlinks();
    EXPECT_EQ(links[1].target, "");
    EXPECT_EQ(links[3].target, "/data/source.xlsx");
    EXPECT_EQ(links[4].target, "/data/source.xlsx");
    EXPECT_EQ(links[5].target, "https://example.com/");
    EXPECT_EQ(links[5].tooltip, "tip");
    EXPECT_EQ(noteCells(target), (V{"A1 kept", "F10 in"}));

    // The rich text came with its cell, its font taken into the target's style table.
    const Cell* cell = target.findCell(at("G10"));
    ASSERT_NE(cell, nullptr);
    const RichText* carried = targetBook.richTextOf(*cell);
    ASSERT_NE(carried, nullptr);
    EXPECT_EQ(carried->plainText(), "Bold plain");
    EXPECT_EQ(targetBook.styles().font(carried->runs[0].font),
              sourceBook.styles().font(sourceBook.richText(rich - 1).runs[0].font));
    EXPECT_EQ(carried->runs[1].font, TextRun::kCellFont);
}

TEST(NotesOnPaste, LinksThatLedNowhereOrToNoFileKeepTheirText) {
    for (const char* path : {"", "/data/source.xlsx"}) {
        Workbook sourceBook;
        sourceBook.setPath(path);
        Sheet& source = sourceBook.addSheet("Data");
        if (*path == 0) {
            sourceBook.addSheet("Other");  // there, but no file to point into
        }
        source.hyperlinks() = {internalLink("A1", "Other!B2")};
        Workbook targetBook;
        Sheet& target = targetBook.addSheet("Result");
        pasteBlock(source, range("A1:B2"), target, at("C3"));
        EXPECT_EQ(linkCells(target), (V{"C3 Other!B2"})) << path;
        EXPECT_EQ(target.hyperlinks()[0].target, "") << path;
    }
}

TEST(NotesOnCopy, AWholeCopyFollowsItsOwnNameAndRelinksToCopiesOfItsSheets) {
    Workbook sourceBook;
    sourceBook.setPath("/data/source.xlsx");
    Sheet& data = sourceBook.addSheet("Data");
    Sheet& other = sourceBook.addSheet("Other");
    sourceBook.addSheet("Third");  // not copied
    data.hyperlinks() = {internalLink("A1", "Data!B2"), internalLink("A2", "Other!C3"),
                         internalLink("A3", "Third!C3"), internalLink("A4", "B7"),
                         internalLink("A5", "Missing!C3")};
    data.comments() = {note("D4", "kept")};
    putRichText(data, "E5", "Arial");
    putText(other, "A1", "x");

    Workbook result;
    result.addSheet("Data");
    copySheet(data, result, result.sheetCount());
    copySheet(other, result, result.sheetCount());
    relinkToCopies(result);
    const Sheet& copy = result.sheet(1);
    ASSERT_EQ(copy.name(), "Data (2)");
    EXPECT_EQ(linkCells(copy),
              (V{"A1 'Data (2)'!B2", "A2 Other!C3", "A3 Third!C3", "A4 B7", "A5 Missing!C3"}));
    EXPECT_EQ(copy.hyperlinks()[1].target, "");
    EXPECT_EQ(copy.hyperlinks()[2].target, linkPath("/data/source.xlsx"));
    EXPECT_EQ(copy.hyperlinks()[4].target, "");  // led nowhere, and still does
    EXPECT_EQ(noteCells(copy), (V{"D4 kept"}));
    const RichText* rich = result.richTextOf(*copy.findCell(at("E5")));
    ASSERT_NE(rich, nullptr);
    EXPECT_EQ(result.styles().font(rich->runs[0].font).name, "Arial");

    // A copy within its own workbook keeps its links to the other sheets as they are.
    Sheet& again = copySheet(data, sourceBook, sourceBook.sheetCount());
    EXPECT_EQ(linkCells(again),
              (V{"A1 'Data (2)'!B2", "A2 Other!C3", "A3 Third!C3", "A4 B7", "A5 Missing!C3"}));
    EXPECT_EQ(again.hyperlinks()[1].target, "");
}

TEST(RichTextCells, RunsHoldOnlyWhileTheCellKeepsTheirText) {
    Workbook book;
    Sheet& sheet = book.addSheet("Data");
    putRichText(sheet, "A1", "Arial");
    ASSERT_NE(book.richTextOf(*sheet.findCell(at("A1"))), nullptr);
    putText(sheet, "A1", "Bold plainer");  // a new value written over the cell
    EXPECT_EQ(book.richTextOf(*sheet.findCell(at("A1"))), nullptr);
    putText(sheet, "A1", "Bold plain");
    EXPECT_NE(book.richTextOf(*sheet.findCell(at("A1"))), nullptr);
    Cell& cell = sheet.cellAt(at("A1"));
    cell.type = CellType::Number;
    cell.value.number = 3;
    EXPECT_EQ(book.richTextOf(cell), nullptr);
    cell.type = CellType::Text;
    cell.value.text = book.strings().intern("Bold plain");
    cell.richText = 99;  // no such text
    EXPECT_EQ(book.richTextOf(cell), nullptr);
}

}  // namespace
}  // namespace plyfold::engine
