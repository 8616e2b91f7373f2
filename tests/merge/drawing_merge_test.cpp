#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <set>

#include "engine/io/workbook_io.h"
#include "engine/model/workbook.h"
#include "merge/merges.h"
#include "tests/merge/merge_fixture.h"

namespace plyfold::merge {
namespace {

using engine::AnchorKind;
using engine::CellRef;
using engine::DrawingObject;

constexpr const char* kPython = "/usr/bin/python3";

// Prints the pictures and charts openpyxl finds, one a line:
// I <sheet> <anchor kind> <from col> <from row> [<to col> <to row>]
// C <sheet> <from col> <from row> <series title> <categories> <values> ...
constexpr const char* kScript = R"(import sys
import openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
def corner(anchor):
    out = [type(anchor).__name__, str(anchor._from.col), str(anchor._from.row)]
    if type(anchor).__name__ == 'TwoCellAnchor':
        out += [str(anchor.to.col), str(anchor.to.row)]
    return out
def ref(part):
    if part is None:
        return '-'
    for name in ('strRef', 'numRef'):
        r = getattr(part, name, None)
        if r is not None:
            return r.f
    return '-'
for ws in wb.worksheets:
    for image in ws._images:
        print(' '.join(['I', ws.title] + corner(image.anchor)))
    for chart in ws._charts:
        words = ['C', ws.title] + corner(chart.anchor)[1:3]
        for s in chart.series:
            words += [ref(s.tx), ref(s.cat), ref(s.val)]
        print(' '.join(words))
)";

std::string featureBook(const std::string& name) {
    return std::string(PLYFOLD_SOURCE_DIR) + "/tests/data/xlsx-features/" + name;
}

bool haveOpenpyxl() {
    return std::filesystem::exists(kPython) &&
           std::system((std::string(kPython) + " -c 'import openpyxl, PIL' 2>/dev/null").c_str()) ==
               0;
}

std::set<std::string> openpyxlLines(const test::TempDir& dir, const std::string& path) {
    const std::string script = dir.file("drawings.py");
    test::writeFile(script, kScript);
    std::set<std::string> lines;
    FILE* pipe = popen((std::string(kPython) + " " + script + " " + path + " 2>&1").c_str(), "r");
    if (!pipe) {
        return lines;
    }
    char buffer[4096];
    while (fgets(buffer, sizeof buffer, pipe)) {
        std::string line = buffer;
        if (!line.empty() && line.back() == '\n') {
            line.pop_back();
        }
        lines.insert(line);
    }
    EXPECT_EQ(pclose(pipe), 0) << "openpyxl failed";
    return lines;
}

// Where the cell holding text lies in the sheet.
std::optional<CellRef> find(const engine::Sheet& sheet, std::string_view text) {
    const auto& strings = sheet.workbook().strings();
    for (const engine::Row& row : sheet.rows()) {
        for (const engine::Cell& cell : row.cells) {
            if (cell.type == engine::CellType::Text && strings.text(cell.value.text) == text) {
                return CellRef{row.index, cell.column};
            }
        }
    }
    return std::nullopt;
}

std::string cell(int32_t row, int32_t column, bool absolute = true) {
    const std::string dollar = absolute ? "$" : "";
    return dollar + engine::columnName(column) + dollar + std::to_string(row + 1);
}

const std::vector<std::string>& chartFormulas(const DrawingObject& object) {
    return object.links.at(0).part->formulas;
}

// Where an object's top-left corner lies, and the kind of its anchor.
struct Placed {
    AnchorKind kind;
    int32_t row;
    int32_t column;
    bool operator==(const Placed&) const = default;
};

std::vector<Placed> placed(const engine::Sheet& sheet) {
    std::vector<Placed> out;
    for (const DrawingObject& object : sheet.drawings()) {
        out.push_back({object.anchor, object.topRow(), object.leftColumn()});
    }
    return out;
}

class DrawingMerge : public test::MergeTest {
protected:
    DrawingMerge() {
        pad = writeBook("pad.xlsx", {{"Pad", {{1.0, 2.0}, {3.0, 4.0}, {5.0, 6.0}}}});
        queue(pad, "Pad");
    }

    void queueFeatures() {
        queue(featureBook("drawing_chart.xlsx"), "Sales");
        queue(featureBook("drawing_picture.xlsx"), "Photos");
        queue(featureBook("drawing_shapes.xlsx"), "Shapes");
    }

    // Saves the result, reads it back and checks our reader finds the same objects, and
    // returns what openpyxl finds (empty without openpyxl).
    std::set<std::string> savedAndReadBack() {
        const std::string path = dir.file("result.xlsx");
        engine::saveWorkbook(resultBook(), path);
        auto back = engine::openWorkbook(path);
        EXPECT_EQ(back->sheetCount(), resultBook().sheetCount());
        for (int32_t s = 0; s < back->sheetCount(); ++s) {
            const engine::Sheet& before = resultBook().sheet(s);
            const engine::Sheet& after = back->sheet(s);
            EXPECT_EQ(placed(after), placed(before)) << before.name();
            for (size_t i = 0; i < before.drawings().size() && i < after.drawings().size(); ++i) {
                const auto& a = before.drawings()[i];
                const auto& b = after.drawings()[i];
                EXPECT_EQ(a.links.size(), b.links.size());
                for (size_t k = 0; k < a.links.size() && k < b.links.size(); ++k) {
                    if (a.links[k].part) {
                        EXPECT_EQ(b.links[k].part->formulas, a.links[k].part->formulas);
                    }
                }
            }
        }
        if (!haveOpenpyxl()) {
            return {};
        }
        return openpyxlLines(dir, path);
    }

    std::string pad;
};

TEST_F(DrawingMerge, StackedEveryObjectAnchoredInABlockComesAlongMoved) {
    queueFeatures();
    ASSERT_TRUE(MergeSheetsVertically(form));
    const engine::Sheet& result = resultBook().sheet(0);
    // Where each block's top-left cell landed tells its offset.
    const CellRef month = *find(result, "Month");    // B2 in its source
    const CellRef item = *find(result, "Item");      // B2
    const CellRef shapes = *find(result, "Shapes");  // B2
    EXPECT_GT(month.row, 2);                         // below the pad
    // Where a cell of a source lands, given where its B2 landed.
    auto at = [](CellRef origin, std::string_view name) {
        const CellRef ref = *engine::parseCellName(name);
        return CellRef{origin.row + ref.row - 1, origin.column + ref.column - 1};
    };
    const CellRef bar = at(month, "E3");
    const CellRef line = at(month, "E12");
    const CellRef first = at(item, "C3");
    const CellRef second = at(item, "B9");
    const CellRef picture = at(shapes, "B2");
    const CellRef box = at(shapes, "C4");
    const CellRef fallback = at(shapes, "D12");
    EXPECT_EQ(placed(result),
              (std::vector<Placed>{{AnchorKind::OneCell, bar.row, bar.column},
                                   {AnchorKind::OneCell, line.row, line.column},
                                   {AnchorKind::TwoCell, first.row, first.column},
                                   {AnchorKind::OneCell, second.row, second.column},
                                   {AnchorKind::OneCell, picture.row, picture.column},
                                   {AnchorKind::TwoCell, box.row, box.column},
                                   {AnchorKind::OneCell, fallback.row, fallback.column}}));
    // The two-cell picture keeps its size in cells and its distances into them.
    const DrawingObject& twoCell = result.drawings()[2];
    EXPECT_EQ(twoCell.to.row - twoCell.from.row, 3);
    EXPECT_EQ(twoCell.to.column - twoCell.from.column, 2);
    EXPECT_EQ(twoCell.from.columnOffset, 12700);
    EXPECT_EQ(twoCell.to.rowOffset, 25400);

    // The bar chart reads the cells where they landed; the line chart reads Prices, which
    // was not pasted, from its file.
    const std::string sheet = result.name() + "!";
    const CellRef amounts = at(month, "C3");
    const CellRef months = at(month, "B3");
    const CellRef title = at(month, "C2");
    EXPECT_EQ(chartFormulas(result.drawings()[0]),
              (std::vector<std::string>{sheet + cell(title.row, title.column, false),
                                        sheet + cell(months.row, months.column) + ":" +
                                            cell(months.row + 4, months.column),
                                        sheet + cell(amounts.row, amounts.column) + ":" +
                                            cell(amounts.row + 4, amounts.column)}));
    EXPECT_EQ(
        chartFormulas(result.drawings()[1]),
        (std::vector<std::string>{sheet + cell(title.row, title.column), "[1]Prices!$A$1:$A$4"}));
    ASSERT_EQ(resultBook().externalBooks().size(), 1u);

    const std::set<std::string> lines = savedAndReadBack();
    if (lines.empty()) {
        GTEST_SKIP() << "no openpyxl with Pillow";
    }
    const std::string name = result.name();
    EXPECT_TRUE(lines.count("I " + name + " TwoCellAnchor " + std::to_string(first.column) + " " +
                            std::to_string(first.row) + " " + std::to_string(first.column + 2) +
                            " " + std::to_string(first.row + 3)))
        << testing::PrintToString(lines);
    EXPECT_TRUE(lines.count("I " + name + " OneCellAnchor " + std::to_string(picture.column) + " " +
                            std::to_string(picture.row)))
        << testing::PrintToString(lines);
    EXPECT_TRUE(lines.count("C " + name + " " + std::to_string(bar.column) + " " +
                            std::to_string(bar.row) + " " + chartFormulas(result.drawings()[0])[0] +
                            " " + chartFormulas(result.drawings()[0])[1] + " " +
                            chartFormulas(result.drawings()[0])[2]))
        << testing::PrintToString(lines);
    EXPECT_TRUE(lines.count("C " + name + " " + std::to_string(line.column) + " " +
                            std::to_string(line.row) + " " + sheet + cell(title.row, title.column) +
                            " - [1]Prices!$A$1:$A$4"))
        << testing::PrintToString(lines);
}

TEST_F(DrawingMerge, StackedWithTheHeaderDroppedTheChartsFollowTheirCells) {
    queue(featureBook("drawing_chart.xlsx"), "Sales");
    form.Check1.setValue(1);  // the chart book's first row (its header) is dropped
    ASSERT_TRUE(MergeSheetsVertically(form));
    const engine::Sheet& result = resultBook().sheet(0);
    const CellRef jan = *find(result, "Jan");  // B3 in its source
    EXPECT_FALSE(find(result, "Month"));
    ASSERT_EQ(result.drawings().size(), 2u);
    // E3 sat in the row below the dropped one: it moves up with the cells.
    EXPECT_EQ(result.drawings()[0].from.row, jan.row);
    EXPECT_EQ(result.drawings()[0].from.column, jan.column + 3);
    const std::string sheet = result.name() + "!";
    // The series title stood in the dropped header: it reads the source.
    EXPECT_EQ(
        chartFormulas(result.drawings()[0]),
        (std::vector<std::string>{
            "[1]Sales!C2", sheet + cell(jan.row, jan.column) + ":" + cell(jan.row + 4, jan.column),
            sheet + cell(jan.row, jan.column + 1) + ":" + cell(jan.row + 4, jan.column + 1)}));
    // Its value is kept in the result.
    const auto& books = resultBook().externalBooks();
    ASSERT_EQ(books.size(), 1u);
    const int32_t salesSheet = books[0].sheetIndex("Sales");
    ASSERT_GE(salesSheet, 0);
    EXPECT_EQ(books[0].sheets[static_cast<size_t>(salesSheet)].cells.count({1, 2}), 1u);
    savedAndReadBack();
}

TEST_F(DrawingMerge, SideBySideEveryObjectAnchoredInABlockComesAlongMoved) {
    queueFeatures();
    ASSERT_TRUE(MergeSheetsHorizontally(form));
    const engine::Sheet& result = resultBook().sheet(0);
    const CellRef month = *find(result, "Month");
    const CellRef item = *find(result, "Item");
    EXPECT_GT(month.column, 1);  // right of the pad
    ASSERT_EQ(result.drawings().size(), 7u);
    EXPECT_EQ(result.drawings()[0].from.row, month.row + 1);
    EXPECT_EQ(result.drawings()[0].from.column, month.column + 3);
    EXPECT_EQ(result.drawings()[2].from.row, item.row + 1);
    EXPECT_EQ(result.drawings()[2].from.column, item.column + 1);
    EXPECT_EQ(chartFormulas(result.drawings()[0])[2],
              result.name() + "!" + cell(month.row + 1, month.column + 1) + ":" +
                  cell(month.row + 5, month.column + 1));
    savedAndReadBack();
}

TEST_F(DrawingMerge, TheWorkbookMergeCarriesEverySheetsObjects) {
    queueFeatures();
    ASSERT_TRUE(MergeToOneWorkbook(form));
    const engine::Workbook& book = resultBook();
    ASSERT_EQ(book.sheetCount(), 4);
    const engine::Sheet& sales = book.sheet(1);
    ASSERT_EQ(sales.name(), "Sales");
    EXPECT_EQ(placed(sales),
              (std::vector<Placed>{{AnchorKind::OneCell, 2, 4}, {AnchorKind::OneCell, 11, 4}}));
    // Prices was not copied: the chart reads it from its file, its values kept. What reads the
    // same cells keeps its text.
    EXPECT_EQ(chartFormulas(sales.drawings()[0]),
              (std::vector<std::string>{"'Sales'!C2", "'Sales'!$B$3:$B$7", "'Sales'!$C$3:$C$7"}));
    EXPECT_EQ(chartFormulas(sales.drawings()[1]),
              (std::vector<std::string>{"'Sales'!$C$2", "[1]Prices!$A$1:$A$4"}));
    ASSERT_EQ(book.externalBooks().size(), 1u);
    const engine::Sheet& shapes = book.sheet(3);
    // Every object of the sheet, the one with an absolute anchor too.
    EXPECT_EQ(placed(shapes), (std::vector<Placed>{{AnchorKind::OneCell, 1, 1},
                                                   {AnchorKind::TwoCell, 3, 2},
                                                   {AnchorKind::Absolute, -1, -1},
                                                   {AnchorKind::OneCell, 11, 3}}));
    const auto& web = shapes.drawings()[1].links.at(0);
    EXPECT_TRUE(web.external);
    EXPECT_EQ(web.target, "https://example.com/a?b=1&c=2");

    const std::set<std::string> lines = savedAndReadBack();
    if (lines.empty()) {
        GTEST_SKIP() << "no openpyxl with Pillow";
    }
    EXPECT_TRUE(lines.count("C Sales 4 2 'Sales'!C2 'Sales'!$B$3:$B$7 'Sales'!$C$3:$C$7"))
        << testing::PrintToString(lines);
    EXPECT_TRUE(lines.count("I Photos TwoCellAnchor 2 2 4 5")) << testing::PrintToString(lines);
    EXPECT_TRUE(lines.count("I Photos OneCellAnchor 1 8")) << testing::PrintToString(lines);
}

TEST_F(DrawingMerge, AChartReadsTheCopyOfItsOtherSheetWhereverItIsQueued) {
    queue(featureBook("drawing_chart.xlsx"), "Sales");
    queue(featureBook("drawing_chart.xlsx"), "Prices");
    queue(featureBook("drawing_chart.xlsx"), "Sales");  // a second copy, "Sales (2)"
    ASSERT_TRUE(MergeToOneWorkbook(form));
    const engine::Workbook& book = resultBook();
    ASSERT_EQ(book.sheetCount(), 4);
    EXPECT_EQ(chartFormulas(book.sheet(1).drawings()[1]),
              (std::vector<std::string>{"'Sales'!$C$2", "'Prices'!$A$1:$A$4"}));
    ASSERT_EQ(book.sheet(3).name(), "Sales (2)");
    EXPECT_EQ(chartFormulas(book.sheet(3).drawings()[0])[2], "'Sales (2)'!$C$3:$C$7");
    // Pointed back at the sheet it read, a reference is written as the file wrote it.
    EXPECT_EQ(chartFormulas(book.sheet(3).drawings()[1])[1], "'Prices'!$A$1:$A$4");
    // Nothing reads the source file any more.
    EXPECT_TRUE(book.externalBooks().empty());
    // Each copy has charts of its own.
    EXPECT_NE(book.sheet(1).drawings()[0].links[0].part, book.sheet(3).drawings()[0].links[0].part);
    savedAndReadBack();
}

TEST_F(DrawingMerge, CorpusChartsReadTheCopiesOfTheirSheets) {
    // Charts over sheets with names that need quotes, and a chart over another sheet.
    size_t sourceCharts = 0;
    for (const char* name : {"libxlsxwriter__quote_name01.xlsx", "poi__64450.xlsx"}) {
        const std::string path = std::string(PLYFOLD_CORPUS_DIR) + "/" + name;
        auto source = engine::openWorkbook(path);
        for (int32_t s = 0; s < source->sheetCount(); ++s) {
            queue(path, source->sheet(s).name());
            sourceCharts += source->sheet(s).drawings().size();
        }
    }
    ASSERT_GT(sourceCharts, 8u);
    ASSERT_TRUE(MergeToOneWorkbook(form));
    const engine::Workbook& book = resultBook();
    size_t charts = 0;
    for (int32_t s = 0; s < book.sheetCount(); ++s) {
        for (const DrawingObject& object : book.sheet(s).drawings()) {
            ++charts;
            for (const std::string& formula : chartFormulas(object)) {
                // Every series reads a sheet of the result, none the source files.
                const size_t bang = formula.rfind('!');
                ASSERT_NE(bang, std::string::npos) << formula;
                std::string sheet = formula.substr(formula.front() == '(' ? 1 : 0, bang);
                if (sheet.front() == '\'') {
                    sheet = sheet.substr(1, sheet.size() - 2);
                }
                EXPECT_TRUE(const_cast<engine::Workbook&>(book).findSheet(sheet)) << formula;
            }
        }
    }
    EXPECT_EQ(charts, sourceCharts);
    EXPECT_TRUE(book.externalBooks().empty());
    savedAndReadBack();
}

}  // namespace
}  // namespace plyfold::merge

namespace plyfold::merge {
namespace {

// A source whose picture sits past its cells, and one placed at a fixed position.
class DrawingLeftBehind : public test::MergeTest {
protected:
    std::string sourceWithObjectsAwayFromItsCells() {
        auto book = engine::openWorkbook(featureBook("drawing_picture.xlsx"));
        engine::Sheet& sheet = *book->findSheet("Photos");
        auto& objects = sheet.drawings();
        EXPECT_GE(objects.size(), 2u);
        objects[0].from.row = 400;
        objects[0].to.row = 404;
        objects[1].anchor = engine::AnchorKind::Absolute;
        const std::string path = dir.file("away.xlsx");
        engine::saveWorkbook(*book, path);
        return path;
    }
};

TEST_F(DrawingLeftBehind, AStackedMergeNamesTheObjectsItsBlockLeavesBehind) {
    queue(sourceWithObjectsAwayFromItsCells(), "Photos");
    ASSERT_TRUE(MergeSheetsVertically(form));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_NE(messages.shown[0].first.find("2 pictures, shapes or charts outside the merged cells"),
              std::string::npos)
        << messages.shown[0].first;
}

TEST_F(DrawingLeftBehind, TheWorkbookMergeCarriesThemAndSaysNothing) {
    queue(sourceWithObjectsAwayFromItsCells(), "Photos");
    ASSERT_TRUE(MergeToOneWorkbook(form));
    EXPECT_TRUE(messages.shown.empty());
    auto& result = const_cast<engine::Workbook&>(resultBook());
    EXPECT_EQ(result.findSheet("Photos")->drawings().size(),
              engine::openWorkbook(featureBook("drawing_picture.xlsx"))
                  ->findSheet("Photos")
                  ->drawings()
                  .size());
}

}  // namespace
}  // namespace plyfold::merge
