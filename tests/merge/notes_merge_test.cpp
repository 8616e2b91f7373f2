#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "engine/io/workbook_io.h"
#include "engine/model/workbook.h"
#include "engine/ops/formula_lexer.h"
#include "engine/ops/workbook_links.h"
#include "merge/merges.h"
#include "tests/merge/merge_fixture.h"
#include "tests/support/temp_dir.h"

namespace plyfold::merge {
namespace {

using engine::CellRef;
using engine::Comment;
using engine::Hyperlink;
using engine::Sheet;
using engine::Workbook;

enum class Mode {
    Vertical,
    VerticalDroppingFirstRow,
    Horizontal,
    HorizontalDroppingFirstColumn,
    Workbook
};

std::string featureBook(const std::string& name) {
    return std::string(PLYFOLD_SOURCE_DIR) + "/tests/data/xlsx-features/" + name;
}

std::optional<CellRef> findText(const Sheet& sheet, std::string_view text) {
    for (const engine::Row& row : sheet.rows()) {
        for (const engine::Cell& cell : row.cells) {
            if (cell.type == engine::CellType::Text &&
                sheet.workbook().strings().text(cell.value.text) == text) {
                return CellRef{row.index, cell.column};
            }
        }
    }
    return std::nullopt;
}

std::optional<CellRef> findNumber(const Sheet& sheet, double number) {
    for (const engine::Row& row : sheet.rows()) {
        for (const engine::Cell& cell : row.cells) {
            if (cell.type == engine::CellType::Number && cell.value.number == number) {
                return CellRef{row.index, cell.column};
            }
        }
    }
    return std::nullopt;
}

// The sheet holding text (the result sheet of a one-sheet merge, or a copy).
const Sheet* sheetWith(const Workbook& book, std::string_view text) {
    for (int32_t s = 0; s < book.sheetCount(); ++s) {
        if (findText(book.sheet(s), text)) {
            return &book.sheet(s);
        }
    }
    return nullptr;
}

const Hyperlink* linkOn(const Sheet& sheet, std::string_view text) {
    const std::optional<CellRef> cell = findText(sheet, text);
    if (!cell) {
        return nullptr;
    }
    for (const Hyperlink& link : sheet.hyperlinks()) {
        if (link.range.first == *cell && link.range.last == *cell) {
            return &link;
        }
    }
    return nullptr;
}

const Comment* noteAt(const Sheet& sheet, std::optional<CellRef> cell) {
    for (const Comment& comment : sheet.comments()) {
        if (cell && comment.cell == *cell) {
            return &comment;
        }
    }
    return nullptr;
}

// The number in the cell an internal link's location names, or nullopt.
std::optional<double> numberAtLocation(const Workbook& book, std::string_view location) {
    const size_t bang = location.rfind('!');
    if (bang == std::string_view::npos) {
        return std::nullopt;
    }
    std::string name(location.substr(0, bang));
    if (name.size() >= 2 && name.front() == '\'') {
        name = name.substr(1, name.size() - 2);
    }
    const Sheet* sheet = const_cast<Workbook&>(book).findSheet(name);
    const std::optional<CellRef> cell = engine::parseCellName(location.substr(bang + 1));
    if (!sheet || !cell) {
        return std::nullopt;
    }
    const engine::Cell* found = sheet->findCell(*cell);
    if (!found || found->type != engine::CellType::Number) {
        return std::nullopt;
    }
    return found->value.number;
}

// A link into a file: as the model holds it (its path) or as it reads back (a file URL).
bool namesFile(const std::string& target, const std::string& path) {
    return target == path || target == "file://" + path;
}

class NotesMerge : public test::MergeTest {
protected:
    // A pad block first, so the feature lands at an offset; the pad's sheet is called Data
    // too, so a workbook merge renames the copy.
    void queueFeature(const std::string& book, Mode mode) {
        const std::string pad = writeBook("pad.xlsx", {{"Data", test::taggedGrid("p", 3, 2)}});
        queue(pad, "Data");
        queue(book, "Data");
        if (mode == Mode::Workbook) {
            queue(book, "Other Sheet");
        }
    }

    bool merge(Mode mode) {
        switch (mode) {
            case Mode::Vertical:
                return MergeSheetsVertically(form);
            case Mode::VerticalDroppingFirstRow:
                form.Check1.setValue(1);
                return MergeSheetsVertically(form);
            case Mode::Horizontal:
                return MergeSheetsHorizontally(form);
            case Mode::HorizontalDroppingFirstColumn:
                form.Check1.setValue(1);
                return MergeSheetsHorizontally(form);
            case Mode::Workbook:
                return MergeToOneWorkbook(form);
        }
        return false;
    }

    // The result as the merge gave it, then as our reader reads it back from the saved file.
    template <typename Check>
    void checkResultAndFile(const Check& check) {
        {
            SCOPED_TRACE("as merged");
            check(resultBook());
        }
        const std::string saved = dir.file("result.xlsx");
        engine::saveWorkbook(resultBook(), saved);
        std::unique_ptr<Workbook> reread = engine::openWorkbook(saved);
        for (int32_t s = 0; s < reread->sheetCount(); ++s) {
            reread->sheet(s).ensureLoaded();
        }
        SCOPED_TRACE("read back");
        check(*reread);
    }

    // What openpyxl reads from the saved result: one line a link or note.
    std::vector<std::string> openpyxlNotes(bool withTexts = false) {
        const std::string script = dir.file("notes.py");
        FILE* file = std::fopen(script.c_str(), "w");
        std::fputs(
            "import sys, openpyxl\n"
            "book = openpyxl.load_workbook(sys.argv[1])\n"
            "for sheet in book.worksheets:\n"
            "    for row in sheet.iter_rows():\n"
            "        for cell in row:\n"
            "            if cell.hyperlink is not None:\n"
            "                h = cell.hyperlink\n"
            "                print('link', sheet.title, cell.coordinate, repr(cell.value),\n"
            "                      h.target or '', h.location or '', h.tooltip or '')\n"
            "            if len(sys.argv) > 2 and isinstance(cell.value, str):\n"
            "                print('text', sheet.title, cell.coordinate, repr(cell.value))\n"
            "            if cell.comment is not None:\n"
            "                print('note', sheet.title, cell.coordinate, cell.comment.author,\n"
            "                      repr(cell.comment.text))\n",
            file);
        std::fclose(file);
        const std::string command = "/usr/bin/python3 " + script + " " + dir.file("result.xlsx") +
                                    (withTexts ? " texts" : "") + " 2>&1";
        std::vector<std::string> lines;
        FILE* pipe = popen(command.c_str(), "r");
        char buffer[4096];
        std::string all;
        while (pipe && fgets(buffer, sizeof buffer, pipe)) {
            all += buffer;
        }
        EXPECT_EQ(pipe ? pclose(pipe) : -1, 0) << all;
        size_t start = 0;
        for (size_t end; (end = all.find('\n', start)) != std::string::npos; start = end + 1) {
            lines.push_back(all.substr(start, end - start));
        }
        return lines;
    }

    static bool haveOpenpyxl() {
        return std::system("/usr/bin/python3 -c 'import openpyxl' 2>/dev/null") == 0;
    }
};

class NotesMergeModes : public NotesMerge, public ::testing::WithParamInterface<Mode> {};

INSTANTIATE_TEST_SUITE_P(AllModes, NotesMergeModes,
                         ::testing::Values(Mode::Vertical, Mode::VerticalDroppingFirstRow,
                                           Mode::Horizontal, Mode::HorizontalDroppingFirstColumn,
                                           Mode::Workbook));

TEST_P(NotesMergeModes, HyperlinksLandOnTheirCellsPointingWhereTheyDid) {
    const Mode mode = GetParam();
    const std::string source = featureBook("notes_hyperlinks.xlsx");
    queueFeature(source, mode);
    ASSERT_TRUE(merge(mode));
    const std::string sourcePath = engine::linkPath(source);
    checkResultAndFile([&](const Workbook& book) {
        const Sheet* sheet = sheetWith(book, "web");
        ASSERT_NE(sheet, nullptr);
        struct External {
            const char* cell;
            const char* target;
        };
        for (const External& e : {External{"web", "https://example.com/report?a=1&b=2"},
                                  External{"mail", "mailto:someone@example.com?subject=Hi"},
                                  External{"file", "other.xlsx"}}) {
            const Hyperlink* link = linkOn(*sheet, e.cell);
            ASSERT_NE(link, nullptr) << e.cell;
            EXPECT_EQ(link->target, e.target);
            EXPECT_TRUE(link->location.empty());
        }
        EXPECT_EQ(linkOn(*sheet, "web")->tooltip, "The report");

        // A link to its own sheet reads the cell that held 50 where that cell landed.
        const Hyperlink* own = linkOn(*sheet, "to own sheet");
        ASSERT_NE(own, nullptr);
        EXPECT_TRUE(own->target.empty());
        if (mode == Mode::HorizontalDroppingFirstColumn) {
            // Its cell, in the first column, was dropped: the link reads #REF! as a formula would.
            EXPECT_TRUE(own->location.ends_with("!#REF!")) << own->location;
        } else {
            EXPECT_EQ(numberAtLocation(book, own->location), 50.0) << own->location;
        }
        EXPECT_TRUE(
            own->location.starts_with(engine::formula::quotedSheetName(sheet->name()) + "!"))
            << own->location;

        // A link to the other sheet reads its copy, or the source file where none was made.
        const Hyperlink* other = linkOn(*sheet, "to other sheet");
        ASSERT_NE(other, nullptr);
        EXPECT_EQ(other->display, "to other sheet");
        if (mode == Mode::Workbook) {
            EXPECT_TRUE(other->target.empty()) << other->target;
            EXPECT_EQ(numberAtLocation(book, other->location), 2.0) << other->location;
        } else {
            EXPECT_TRUE(namesFile(other->target, sourcePath)) << other->target;
            EXPECT_EQ(other->location, "'Other Sheet'!B2");
        }
        // Nothing else came along, and the pad has no links.
        EXPECT_EQ(sheet->hyperlinks().size(), 5u);
    });
    if (!haveOpenpyxl()) {
        GTEST_SKIP() << "/usr/bin/python3 has no openpyxl";
    }
    const std::vector<std::string> lines = openpyxlNotes();
    ASSERT_EQ(lines.size(), 5u);
    const Sheet* sheet = sheetWith(resultBook(), "web");
    const std::string web = engine::cellName(*findText(*sheet, "web"));
    EXPECT_EQ(lines[0], "link " + sheet->name() + " " + web +
                            " 'web' https://example.com/report?a=1&b=2  The report");
}

TEST_P(NotesMergeModes, NotesLandOnTheirCellsWithAuthorsAndRuns) {
    const Mode mode = GetParam();
    queueFeature(featureBook("notes_comments.xlsx"), mode);
    ASSERT_TRUE(merge(mode));
    checkResultAndFile([&](const Workbook& book) {
        const Sheet* sheet = sheetWith(book, "noted");
        ASSERT_NE(sheet, nullptr);
        const Comment* plain = noteAt(*sheet, findText(*sheet, "noted"));
        ASSERT_NE(plain, nullptr);
        EXPECT_EQ(plain->author, "Ann");
        EXPECT_EQ(plain->text.plainText(), "First note\nsecond line");

        const Comment* rich = noteAt(*sheet, findNumber(*sheet, 5));
        ASSERT_NE(rich, nullptr);
        EXPECT_EQ(rich->author, "Bob");
        ASSERT_EQ(rich->text.runs.size(), 3u);
        EXPECT_EQ(rich->text.plainText(), "Bob: rich note");
        const engine::Font& bold = book.styles().font(rich->text.runs[0].font);
        EXPECT_TRUE(bold.bold);
        EXPECT_EQ(bold.color, engine::Color::rgb(0xFFFF0000));
        EXPECT_EQ(rich->text.runs[1].font, engine::TextRun::kCellFont);
        const engine::Font& italic = book.styles().font(rich->text.runs[2].font);
        EXPECT_TRUE(italic.italic);
        EXPECT_EQ(italic.name, "Arial");
        EXPECT_EQ(italic.size, 14.0);
        EXPECT_EQ(sheet->comments().size(), 2u);

        if (mode == Mode::Workbook) {
            const Sheet* other = const_cast<Workbook&>(book).findSheet("Other Sheet");
            ASSERT_NE(other, nullptr);
            ASSERT_EQ(other->comments().size(), 1u);
            EXPECT_EQ(engine::cellName(other->comments()[0].cell), "C2");
        }
    });
    if (!haveOpenpyxl()) {
        GTEST_SKIP() << "/usr/bin/python3 has no openpyxl";
    }
    const std::vector<std::string> lines = openpyxlNotes();
    const Sheet* sheet = sheetWith(resultBook(), "noted");
    const std::string noted = engine::cellName(*findText(*sheet, "noted"));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "note " + sheet->name() + " " + noted + " Ann 'First note\\nsecond line'");
    EXPECT_EQ(lines.size(), mode == Mode::Workbook ? 3u : 2u);
}

TEST_P(NotesMergeModes, AThreadedCommentArrivesAsTheNoteOlderProgramsShow) {
    const Mode mode = GetParam();
    queueFeature(featureBook("notes_threaded.xlsx"), mode);
    ASSERT_TRUE(merge(mode));
    checkResultAndFile([&](const Workbook& book) {
        const Sheet* sheet = sheetWith(book, "discussed");
        ASSERT_NE(sheet, nullptr);
        const Comment* note = noteAt(*sheet, findText(*sheet, "discussed"));
        ASSERT_NE(note, nullptr);
        EXPECT_TRUE(note->text.plainText().starts_with("[Threaded comment]"));
        EXPECT_TRUE(note->text.plainText().ends_with("Comment:\n    Looks right"));
    });
    // The thread's own part is not carried, and the user is told.
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_NE(messages.shown[0].first.find("threaded comments (each thread is kept as a note)"),
              std::string::npos);
}

TEST_P(NotesMergeModes, RichTextKeepsItsRunsAndFonts) {
    const Mode mode = GetParam();
    queueFeature(featureBook("notes_rich_text.xlsx"), mode);
    ASSERT_TRUE(merge(mode));
    checkResultAndFile([&](const Workbook& book) {
        const Sheet* sheet = sheetWith(book, "Bold red then plain");
        ASSERT_NE(sheet, nullptr);
        struct Expected {
            const char* text;
            size_t styledRun;
            bool bold;
            bool italic;
            const char* font;
        };
        for (const Expected& e : {Expected{"Bold red then plain", 0, true, false, "Calibri"},
                                  Expected{"Inline italic", 1, false, true, "Arial"}}) {
            const engine::Cell* cell = sheet->findCell(*findText(*sheet, e.text));
            const engine::RichText* rich = book.richTextOf(*cell);
            ASSERT_NE(rich, nullptr) << e.text;
            ASSERT_EQ(rich->runs.size(), 2u);
            EXPECT_EQ(rich->plainText(), e.text);
            const engine::Font& font = book.styles().font(rich->runs[e.styledRun].font);
            EXPECT_EQ(font.bold, e.bold);
            EXPECT_EQ(font.italic, e.italic);
            EXPECT_EQ(font.name, e.font);
            EXPECT_EQ(rich->runs[1 - e.styledRun].font, engine::TextRun::kCellFont);
        }
        EXPECT_EQ(book.richTextOf(*sheet->findCell(*findText(*sheet, "plain text"))), nullptr);
    });
    if (!haveOpenpyxl()) {
        GTEST_SKIP() << "/usr/bin/python3 has no openpyxl";
    }
    // openpyxl 3.0 reads the texts of runs, not their fonts.
    const std::vector<std::string> lines = openpyxlNotes(true);
    const Sheet* sheet = sheetWith(resultBook(), "Bold red then plain");
    for (const char* text : {"Bold red then plain", "Inline italic"}) {
        const std::string line = "text " + sheet->name() + " " +
                                 engine::cellName(*findText(*sheet, text)) + " '" + text + "'";
        EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line;
    }
}

}  // namespace
}  // namespace plyfold::merge
