// The hyperlinks and notes of .xls sheets.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "engine/common/error.h"
#include "engine/io/workbook_io.h"
#include "engine/io/xls/biff_notes.h"
#include "engine/io/xls/biff_styles.h"
#include "engine/io/xls/xls_reader.h"
#include "engine/model/cell_ref.h"
#include "tests/engine/formats/biff_bytes.h"
#include "tests/support/golden_cells.h"

namespace plyfold::engine::xls {
namespace {

using namespace biff_bytes;

// UTF-16LE of ASCII text.
std::string wide(const std::string& ascii) {
    std::string out;
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

// A string of a hyperlink: its length with the closing NUL, the characters and the NUL.
std::string linkString(const std::string& ascii) {
    return u32le(static_cast<uint32_t>(ascii.size() + 1)) + wide(ascii) + std::string(2, '\0');
}

std::string ref8(uint16_t firstRow, uint16_t lastRow, uint16_t firstColumn, uint16_t lastColumn) {
    return u16le(firstRow) + u16le(lastRow) + u16le(firstColumn) + u16le(lastColumn);
}

const std::string kUrlClass("\xE0\xC9\xEA\x79\xF9\xBA\xCE\x11\x8C\x82\x00\xAA\x00\x4B\xA9\x0B", 16);
const std::string kFileClass("\x03\x03\x00\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46",
                             16);
const std::string kCompositeClass(
    "\x09\x03\x00\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46", 16);

std::string hlinkData(const std::string& range, uint32_t flags, const std::string& body) {
    return range + kUrlClass + u32le(2) + u32le(flags) + body;
}

std::string hlink(const std::string& range, uint32_t flags, const std::string& body) {
    return record(0x01B8, hlinkData(range, flags, body));
}

std::string urlMoniker(const std::string& url) {
    const std::string text = wide(url) + std::string(2, '\0');
    return kUrlClass + u32le(static_cast<uint32_t>(text.size())) + text;
}

// A file moniker with parents "..\" before the path; the path in Unicode when unicodePath.
std::string fileMoniker(uint16_t parents, const std::string& path, bool unicodePath) {
    std::string out = kFileClass + u16le(parents) + u32le(static_cast<uint32_t>(path.size() + 1)) +
                      path + '\0' + u16le(0xFFFF) + u16le(0xDEAD) + std::string(16, '\0') +
                      u32le(0);
    if (!unicodePath) {
        return out + u32le(0);
    }
    const std::string text = wide(path);
    return out + u32le(static_cast<uint32_t>(text.size() + 6)) +
           u32le(static_cast<uint32_t>(text.size())) + u16le(3) + text;
}

std::string tooltip(const std::string& range, const std::string& text) {
    return record(0x0800, u16le(0x0800) + range + wide(text) + std::string(2, '\0'));
}

// A note's object (OBJ) with its id, and the TXO with the text and runs that follow it.
std::string noteObject(uint16_t id) {
    return record(0x005D, u16le(0x15) + u16le(0x12) + u16le(0x19) + u16le(id) +
                              std::string(14, '\0') + u16le(0) + u16le(0));
}

std::string textObject(uint16_t characters, const std::vector<std::string>& textRecords,
                       const std::string& runs) {
    std::string out =
        record(0x01B6, u16le(0x12) + std::string(8, '\0') + u16le(characters) +
                           u16le(static_cast<uint32_t>(runs.size())) + std::string(4, '\0'));
    for (const std::string& text : textRecords) {
        out += record(0x003C, text);
    }
    return runs.empty() ? out : out + record(0x003C, runs);
}

std::string run(uint16_t first, uint16_t font) {
    return u16le(first) + u16le(font) + std::string(4, '\0');
}

std::string note(uint16_t row, uint16_t column, uint16_t id, const std::string& author) {
    return record(0x001C, u16le(row) + u16le(column) + u16le(0) + u16le(id) +
                              u16le(static_cast<uint32_t>(author.size())) + '\0' + author + '\0');
}

// A workbook stream of one sheet holding the records given, BIFF8 or BIFF5.
std::string workbookStream(const std::string& sheetRecords, bool biff8 = true,
                           const std::string& globals = {}) {
    const uint16_t version = biff8 ? 0x0600 : 0x0500;
    const std::string bof = u16le(version) + u16le(0x0005) + std::string(12, '\0');
    const std::string sheetBof = u16le(version) + u16le(0x0010) + std::string(12, '\0');
    auto head = [&](uint32_t position) {
        std::string name = biff8 ? std::string("\x05\x00", 2) + "Sheet" : "\x05Sheet";
        return record(0x0809, bof) + globals +
               record(0x0085, u32le(position) + std::string(2, '\0') + name) + record(0x000A, {});
    };
    const uint32_t position = static_cast<uint32_t>(head(0).size());
    return head(position) + record(0x0809, sheetBof) + sheetRecords + record(0x000A, {});
}

std::unique_ptr<Workbook> read(const std::string& stream) {
    auto workbook = readBiffStream(stream, "notes.xls");
    workbook->sheet(0).rows();
    return workbook;
}

TEST(BiffNotes, HyperlinksOfEveryKindOfTarget) {
    struct Case {
        const char* what;
        std::string records;
        std::string range;  // empty: the link is left out
        std::string target;
        std::string location;
        std::string display;
        std::string tooltip;
    };
    const std::string a1 = ref8(0, 0, 0, 0);
    const std::string b2c4 = ref8(1, 3, 1, 2);
    const Case cases[] = {
        {"web address", hlink(a1, 0x17, linkString("web") + urlMoniker("https://example.com/")),
         "A1", "https://example.com/", "", "web", ""},
        {"web address, place in it and tooltip on a range",
         hlink(b2c4, 0x0B, urlMoniker("https://example.com/a") + linkString("part")) +
             tooltip(b2c4, "A tip"),
         "B2:C4", "https://example.com/a", "part", "", "A tip"},
        {"place in the workbook", hlink(a1, 0x08, linkString("'Sales 2'!B4")), "A1", "",
         "'Sales 2'!B4", "", ""},
        {"relative file, Unicode path", hlink(a1, 0x01, fileMoniker(2, "reports\\sum.xls", true)),
         "A1", "../../reports/sum.xls", "", "", ""},
        {"absolute file, 8-bit path", hlink(a1, 0x03, fileMoniker(0, "C:\\D\\B\xE4.xls", false)),
         "A1", "file:///C:\\D\\B\xC3\xA4.xls", "", "", ""},
        {"file on a share", hlink(a1, 0x03, fileMoniker(0, "\\\\srv\\d\\x.xls", true)), "A1",
         "file:///\\\\srv\\d\\x.xls", "", "", ""},
        {"moniker saved as a string and a frame name",
         hlink(a1, 0x0181, linkString("_blank") + linkString("http://x.org/")), "A1",
         "http://x.org/", "", "", ""},
        {"moniker of a kind not read: what follows it cannot be found",
         hlink(a1, 0x09, kCompositeClass + u32le(0) + linkString("A1")), "", "", "", "", ""},
        {"cut short",
         record(
             0x01B8,
             hlinkData(a1, 0x17, linkString("web") + urlMoniker("https://x.org/")).substr(0, 56)),
         "", "", "", "", ""},
        {"rows the wrong way round", hlink(ref8(4, 2, 0, 0), 0x08, linkString("A1")), "", "", "",
         "", ""},
        {"tooltip of no link", hlink(a1, 0x08, linkString("A1")) + tooltip(b2c4, "lost"), "A1", "",
         "A1", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto workbook = read(workbookStream(c.records));
        const auto& links = workbook->sheet(0).hyperlinks();
        if (c.range.empty()) {
            EXPECT_TRUE(links.empty());
            continue;
        }
        ASSERT_EQ(links.size(), 1u);
        EXPECT_EQ(rangeName(links[0].range), c.range);
        EXPECT_EQ(links[0].target, c.target);
        EXPECT_EQ(links[0].location, c.location);
        EXPECT_EQ(links[0].display, c.display);
        EXPECT_EQ(links[0].tooltip, c.tooltip);
    }
}

// The runs of a note as "font:text" pairs, font - for the note's own.
std::string runsOf(const Comment& comment) {
    std::string out;
    for (const TextRun& run : comment.text.runs) {
        out += (run.font == TextRun::kCellFont ? std::string("-") : std::to_string(run.font)) +
               ":" + run.text + "|";
    }
    return out;
}

TEST(BiffNotes, NotesTakeTheirTextFromTheirObjects) {
    struct Case {
        const char* what;
        std::string records;
        std::string expected;  // cell, author and runs of each note
    };
    const Case cases[] = {
        {"one-byte text, its runs all in the note's font",
         noteObject(1) + textObject(5, {std::string("\0Hello", 6)}, run(0, 0) + run(5, 0)) +
             note(1, 2, 1, "Ann"),
         "C2 Ann -:Hello|"},
        {"text going on in a second record, two bytes wide there",
         noteObject(7) +
             textObject(7,
                        {std::string("\0Two", 4), std::string("\x01", 1) + wide(" \xE9"
                                                                                "ab")},
                        "") +
             note(1, 2, 7, "Ann"),
         "C2 Ann -:Two \xC3\xA9"
         "ab|"},
        {"runs in fonts of the file",
         noteObject(3) +
             textObject(6, {std::string("\0abcdef", 7)},
                        run(0, 0) + run(2, 5) + run(4, 6) + run(6, 0)) +
             note(1, 2, 3, "Ann"),
         "C2 Ann -:ab|105:cd|106:ef|"},
        {"runs out of order and past the end are left out, runs of one font joined",
         noteObject(3) +
             textObject(5, {std::string("\0abcde", 6)},
                        run(2, 5) + run(1, 6) + run(3, 5) + run(9, 6)) +
             note(1, 2, 3, "Ann"),
         "C2 Ann -:ab|105:cde|"},
        {"a note with no text object, and a second note on one cell",
         note(0, 0, 9, "Bob") + note(0, 0, 9, "Carl"), "A1 Bob "},
        {"text of another kind of object is not a note's",
         record(0x005D,
                u16le(0x15) + u16le(0x12) + u16le(0x06) + u16le(4) + std::string(18, '\0')) +
             textObject(3, {std::string("\0box", 4)}, "") + note(0, 0, 4, ""),
         "A1  "},
        {"a note past the last column is on no cell", note(0, 16384, 1, "Ann"), ""},
        {"text cut short keeps what there is",
         noteObject(2) + textObject(9, {std::string("\0abc", 4)}, "") + note(0, 1, 2, "Zo\xEB"),
         "B1 Zo\xC3\xAB -:abc|"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BiffGlobals globals;
        BiffNotesReader reader(
            globals, [](uint16_t index) { return index == 0 ? TextRun::kCellFont : 100u + index; });
        BiffRecordCursor records(c.records, 0);
        while (auto next = records.next()) {
            reader.record(*next, records);
        }
        std::string got;
        for (const Comment& comment : reader.takeComments()) {
            got += cellName(comment.cell) + " " + comment.author + " " + runsOf(comment);
        }
        EXPECT_EQ(got, c.expected);
    }
}

TEST(BiffNotes, NotesOfExcel5HoldTheirTextInTheCodePage) {
    // The text of a long note goes on in NOTE records of row 0xFFFF.
    std::string first = u16le(1) + u16le(0) + u16le(8) + "Gr\xFC\xDF";
    std::string more = u16le(0xFFFF) + u16le(0) + u16le(4) + " dir";
    std::string lone = u16le(0xFFFF) + u16le(0) + u16le(2) + "xx";
    for (bool goesOnFromNone : {false, true}) {
        std::string records =
            goesOnFromNone ? record(0x001C, lone) : record(0x001C, first) + record(0x001C, more);
        auto workbook = read(workbookStream(records, false, record(0x0042, u16le(1252))));
        const auto& comments = workbook->sheet(0).comments();
        if (goesOnFromNone) {
            EXPECT_TRUE(comments.empty());
            continue;
        }
        ASSERT_EQ(comments.size(), 1u);
        EXPECT_EQ(cellName(comments[0].cell), "A2");
        EXPECT_EQ(runsOf(comments[0]), "-:Gr\xC3\xBC\xC3\x9F dir|");
    }
}

TEST(BiffNotes, ANoteLongerThanANoteCanHoldFailsClearly) {
    const std::string records = noteObject(1) + textObject(40000, {}, "") + note(0, 0, 1, "");
    try {
        read(workbookStream(records));
        ADD_FAILURE() << "read";
    } catch (const SpreadsheetError& error) {
        EXPECT_NE(error.description().find("longer than the 32767 characters a note can hold"),
                  std::string::npos)
            << error.description();
    }
}

std::string fontRecord(uint16_t twips, uint16_t flags, uint16_t color, uint16_t weight,
                       uint8_t underline, const std::string& name, bool biff8 = true) {
    std::string data = u16le(twips) + u16le(flags) + u16le(color) + u16le(weight) + u16le(0) +
                       static_cast<char>(underline) + std::string(3, '\0') +
                       static_cast<char>(name.size());
    return record(0x0031, data + (biff8 ? std::string(1, '\0') : std::string()) + name);
}

std::string described(const Font* font) {
    if (!font) {
        return "none";
    }
    std::string color = "auto";  // a colour not stated is what the program draws by default
    if (font->color.kind == Color::Kind::Rgb) {
        char rgb[16];
        std::snprintf(rgb, sizeof rgb, "%08X", font->color.argb);
        color = rgb;
    }
    return font->name + " " + std::to_string(static_cast<int>(font->size * 10)) +
           (font->bold ? " bold" : "") + (font->italic ? " italic" : "") +
           (font->strike ? " strike" : "") +
           (font->underline == Underline::Double ? " double" : "") + " " + color;
}

TEST(BiffNotes, RunFontsWithTheirColoursFromThePalette) {
    // The palette replaces colours 8 and 9; the fifth FONT record has index 5.
    const std::string palette =
        record(0x0092, u16le(2) + std::string("\x11\x22\x33\0\x44\x55\x66\0", 8));
    for (bool biff8 : {true, false}) {
        SCOPED_TRACE(biff8 ? "BIFF8" : "BIFF5");
        const std::string globals = record(0x0042, u16le(biff8 ? 1200 : 1252)) + palette +
                                    fontRecord(200, 0, 0x7FFF, 400, 0, "Arial", biff8) +
                                    fontRecord(160, 0x02, 8, 700, 0, "Tahoma", biff8) +
                                    fontRecord(220, 0x08, 9, 400, 2, "Caf\xE9", biff8) +
                                    fontRecord(100, 0, 10, 400, 0, "Ten", biff8) +
                                    fontRecord(120, 0, 2, 400, 0, "Fixed", biff8) +
                                    fontRecord(140, 0, 0x40, 400, 0, "System", biff8);
        const std::string stream = workbookStream({}, biff8, globals);
        const BiffGlobals scanned = scanBiffGlobals(stream);
        const BiffCellFormats formats(stream, scanned);
        struct Case {
            uint16_t index;
            const char* font;
        };
        for (const Case& c :
             {Case{0, "Arial 100 auto"}, Case{1, "Tahoma 80 bold italic FF112233"},
              Case{2, "Caf\xC3\xA9 110 strike double FF445566"}, Case{3, "Ten 50 FFFF0000"},
              Case{4, "none"}, Case{5, "Fixed 60 FFFF0000"}, Case{6, "System 70 auto"},
              Case{7, "none"}}) {
            const std::optional<Font> font = formats.fontAt(c.index);
            EXPECT_EQ(described(font ? &*font : nullptr), c.font) << c.index;
        }
    }
}

TEST(BiffNotes, ANoteOfACorpusWorkbookKeepsItsAuthorAndItsBoldFirstLine) {
    auto workbook =
        openWorkbook(std::string(PLYFOLD_CORPUS_DIR) + "/poi__StringContinueRecords.xls");
    const Sheet& sheet = workbook->sheet(0);
    ASSERT_EQ(sheet.comments().size(), 1u);
    const Comment& comment = sheet.comments()[0];
    EXPECT_EQ(cellName(comment.cell), "Q6");
    EXPECT_EQ(comment.author, "Bruno Lefebvre");
    ASSERT_GE(comment.text.runs.size(), 2u);
    EXPECT_EQ(comment.text.runs[0].text, "Bruno Lefebvre:");
    EXPECT_EQ(described(&workbook->styles().font(comment.text.runs[0].font)),
              "Tahoma 80 bold auto");
    EXPECT_EQ(comment.text.plainText().rfind("Bruno Lefebvre:\nBy indicating \"SP\"", 0), 0u);
}

// The links and notes of a workbook in the form of links.txt (dump_links.py).
std::string linksDump(const Workbook& workbook) {
    std::vector<std::string> lines;
    for (int32_t s = 0; s < workbook.sheetCount(); ++s) {
        const Sheet& sheet = workbook.sheet(s);
        for (const Hyperlink& link : sheet.hyperlinks()) {
            lines.push_back(test::dumpEscaped(sheet.name()) + "!" + rangeName(link.range) +
                            "\tlink\t" + test::dumpEscaped(link.target) + "\t" +
                            test::dumpEscaped(link.location) + "\t" +
                            test::dumpEscaped(link.tooltip));
        }
        for (const Comment& comment : sheet.comments()) {
            lines.push_back(test::dumpEscaped(sheet.name()) + "!" + cellName(comment.cell) +
                            "\tnote\t" + test::dumpEscaped(comment.author) + "\t" +
                            test::dumpEscaped(comment.text.plainText()));
        }
    }
    std::sort(lines.begin(), lines.end());
    std::string out;
    for (const std::string& line : lines) {
        out += line + "\n";
    }
    return out;
}

TEST(BiffNotes, AWorkbookSavedByLibreOfficeGivesTheLinksAndNotesItReads) {
    const std::string input = test::goldenCase("xls", "notes_and_links").input;
    const std::string folder = input.substr(0, input.rfind('/'));
    std::ifstream expectedFile(folder + "/links.txt", std::ios::binary);
    std::stringstream expected;
    expected << expectedFile.rdbuf();
    auto workbook = openWorkbook(input);
    EXPECT_EQ(linksDump(*workbook), expected.str());
}

}  // namespace
}  // namespace plyfold::engine::xls
