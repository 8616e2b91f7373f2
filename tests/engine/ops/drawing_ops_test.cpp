#include <gtest/gtest.h>

#include "engine/model/workbook.h"
#include "engine/ops/drawing_copy.h"
#include "engine/ops/sheet_ops.h"

namespace plyfold::engine {
namespace {

CellRange area(std::string_view name) {
    return *parseRangeName(name);
}

void putNumber(Sheet& sheet, std::string_view ref, double value) {
    Cell& cell = sheet.cellAt(*parseCellName(ref));
    cell.type = CellType::Number;
    cell.value.number = value;
}

DrawingObject twoCell(int32_t fromRow, int32_t fromColumn, int32_t toRow, int32_t toColumn,
                      int64_t toRowOffset = 0) {
    DrawingObject object;
    object.anchor = AnchorKind::TwoCell;
    object.from = {fromColumn, 100, fromRow, 200};
    object.to = {toColumn, 300, toRow, toRowOffset};
    object.pieces = {"<pic/>"};
    return object;
}

// An object showing a chart with these formulas, whose picture part is shared.
DrawingObject chart(int32_t row, int32_t column, std::vector<std::string> formulas) {
    DrawingObject object = twoCell(row, column, row + 5, column + 3);
    auto part = std::make_shared<DrawingPart>();
    part->contentType = "application/vnd.openxmlformats-officedocument.drawingml.chart+xml";
    part->pieces.assign(formulas.size() + 1, "|");
    part->formulas = std::move(formulas);
    object.links.push_back({"chart", "", false, part});
    object.pieces = {"<c r:id=\"", "\"/>"};
    object.linkSlots = {0};
    return object;
}

const std::vector<std::string>& formulasOf(const DrawingObject& object) {
    return object.links.at(0).part->formulas;
}

TEST(DrawingDeletion, ObjectsMoveShrinkOrGoWithTheirLines) {
    struct Case {
        const char* what;
        DrawingObject object;
        int32_t first;
        int32_t count;
        bool kept;
        int32_t fromRow;
        int64_t fromOffset;
        int32_t toRow;
        int64_t toOffset;
    };
    DrawingObject one;
    one.anchor = AnchorKind::OneCell;
    one.from = {2, 0, 6, 50};
    DrawingObject absolute;
    absolute.anchor = AnchorKind::Absolute;
    absolute.from = {0, 0, 9, 0};
    const std::vector<Case> cases = {
        {"above the lines", twoCell(1, 0, 3, 0, 10), 5, 2, true, 1, 200, 3, 10},
        {"below the lines", twoCell(8, 0, 10, 0, 10), 5, 2, true, 6, 200, 8, 10},
        {"its top in the lines", twoCell(5, 0, 10, 0, 10), 4, 3, true, 4, 0, 7, 10},
        {"its bottom in the lines", twoCell(2, 0, 5, 0, 10), 4, 3, true, 2, 200, 4, 0},
        {"around the lines", twoCell(2, 0, 9, 0, 10), 4, 3, true, 2, 200, 6, 10},
        {"wholly in the lines", twoCell(4, 0, 6, 0, 10), 4, 3, false, 0, 0, 0, 0},
        {"ending where the lines end", twoCell(4, 0, 7, 0, 0), 4, 3, false, 0, 0, 0, 0},
        {"reaching into the line after", twoCell(4, 0, 7, 0, 1), 4, 3, true, 4, 0, 4, 1},
        {"starting after, ending at the start", twoCell(7, 0, 7, 0, 0), 4, 3, true, 4, 200, 4, 0},
        {"one-cell anchor in the lines", one, 5, 3, true, 5, 0, 0, 0},
        {"one-cell anchor below", one, 0, 2, true, 4, 50, 0, 0},
        {"absolute anchor stays", absolute, 0, 5, true, 9, 0, 0, 0},
    };
    for (Case c : cases) {
        Workbook book;
        Sheet& sheet = book.addSheet("S");
        c.object.wrapper.choices = "<mc:Choice/>";
        sheet.drawings().push_back(c.object);
        drawingsAfterDeleting(sheet, c.first, c.count, false);
        ASSERT_EQ(sheet.drawings().size(), c.kept ? 1u : 0u) << c.what;
        if (!c.kept) {
            continue;
        }
        const DrawingObject& after = sheet.drawings()[0];
        // A wrapper's choices stay only with an object that did not move.
        const bool moved =
            after.from.row != c.object.from.row ||
            after.from.rowOffset != c.object.from.rowOffset ||
            (after.anchor == AnchorKind::TwoCell &&
             (after.to.row != c.object.to.row || after.to.rowOffset != c.object.to.rowOffset));
        EXPECT_EQ(after.wrapper.isEmpty(), moved) << c.what;
        EXPECT_EQ(after.from.row, c.fromRow) << c.what;
        EXPECT_EQ(after.from.rowOffset, c.fromOffset) << c.what;
        EXPECT_EQ(after.from.column, c.object.from.column) << c.what;
        if (after.anchor == AnchorKind::TwoCell) {
            EXPECT_EQ(after.to.row, c.toRow) << c.what;
            EXPECT_EQ(after.to.rowOffset, c.toOffset) << c.what;
        }
    }

    // Columns work alike.
    Workbook book;
    Sheet& sheet = book.addSheet("S");
    sheet.drawings().push_back(twoCell(0, 6, 2, 9));
    drawingsAfterDeleting(sheet, 2, 3, true);
    EXPECT_EQ(sheet.drawings()[0].from.column, 3);
    EXPECT_EQ(sheet.drawings()[0].to.column, 6);
    EXPECT_EQ(sheet.drawings()[0].from.row, 0);
}

TEST(DrawingDeletion, DeletingRowsMovesChartsOnEverySheet) {
    Workbook book;
    Sheet& data = book.addSheet("Data");
    Sheet& report = book.addSheet("Report");
    putNumber(data, "A1", 1);
    data.drawings().push_back(chart(6, 3, {"Data!$B$5:$B$9", "Data!$A$2"}));
    report.drawings().push_back(chart(1, 1, {"Data!$C$3:$C$20", "Report!$A$3"}));
    deleteRows(data, 1, 2);  // rows 2 and 3
    EXPECT_EQ(data.drawings()[0].from.row, 4);
    EXPECT_EQ(formulasOf(data.drawings()[0]),
              (std::vector<std::string>{"Data!$B$3:$B$7", "Data!#REF!"}));
    EXPECT_EQ(report.drawings()[0].from.row, 1);
    EXPECT_EQ(formulasOf(report.drawings()[0]),
              (std::vector<std::string>{"Data!$C$2:$C$18", "Report!$A$3"}));
}

TEST(DrawingPaste, ObjectsAnchoredInTheBlockComeAlongMoved) {
    Workbook book;
    Sheet& source = book.addSheet("Source");
    Sheet& target = book.addSheet("Target");
    putNumber(source, "B2", 1);
    putNumber(source, "F12", 2);
    source.drawings().push_back(twoCell(2, 2, 40, 40));  // top-left C3 inside, reaching out
    source.drawings().push_back(twoCell(0, 0, 3, 3));    // top-left A1 outside
    DrawingObject absolute;
    absolute.anchor = AnchorKind::Absolute;
    source.drawings().push_back(absolute);
    source.drawings().push_back(chart(
        3, 1,
        {"Source!$B$2:$B$6", "Source!B3", "Source!$B$2:$B$30", "Other!$A$1", "(Source!$C$2,1)"}));
    pasteBlock(source, area("B2:F12"), target, *parseCellName("D10"));  // 8 rows down, 2 right
    const auto& objects = target.drawings();
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[0].from.row, 10);
    EXPECT_EQ(objects[0].from.column, 4);
    EXPECT_EQ(objects[0].from.rowOffset, 200);  // distances into cells kept
    EXPECT_EQ(objects[0].to.row, 48);
    EXPECT_EQ(objects[0].to.column, 42);
    EXPECT_EQ(objects[1].from.row, 11);
    // Within one workbook, what lies outside the block still reads the source.
    EXPECT_EQ(formulasOf(objects[1]),
              (std::vector<std::string>{"Target!$D$10:$D$14", "Target!D11", "Source!$B$2:$B$30",
                                        "Other!$A$1", "(Target!$E$10,1)"}));
    // The source keeps its chart as it was.
    EXPECT_EQ(formulasOf(source.drawings()[3])[0], "Source!$B$2:$B$6");
}

TEST(DrawingPaste, APasteOnItsOwnSheetDrawsTheObjectsAgain) {
    Workbook book;
    Sheet& sheet = book.addSheet("Data");
    putNumber(sheet, "A1", 1);
    sheet.drawings().push_back(chart(1, 0, {"Data!$A$1:$A$4"}));
    pasteBlock(sheet, area("A1:D8"), sheet, *parseCellName("F1"));
    ASSERT_EQ(sheet.drawings().size(), 2u);
    EXPECT_EQ(sheet.drawings()[1].from.column, 5);
    EXPECT_EQ(formulasOf(sheet.drawings()[0]), (std::vector<std::string>{"Data!$A$1:$A$4"}));
    EXPECT_EQ(formulasOf(sheet.drawings()[1]), (std::vector<std::string>{"Data!$F$1:$F$4"}));
}

TEST(DrawingCopy, ACopyInTheSameWorkbookReadsItselfWithChartsOfItsOwn) {
    Workbook book;
    Sheet& data = book.addSheet("Data");
    putNumber(data, "A1", 1);
    data.drawings().push_back(twoCell(1, 1, 2, 2));
    data.drawings()[0].links.push_back({"image", "", false, std::make_shared<DrawingPart>()});
    data.drawings().push_back(chart(3, 3, {"Data!$A$1:$A$3", "'Data'!$B$1", "Else!$A$1"}));
    const Sheet& copy = copySheet(data, book, 1);
    ASSERT_EQ(copy.name(), "Data (2)");
    ASSERT_EQ(copy.drawings().size(), 2u);
    EXPECT_EQ(copy.drawings()[0].links[0].part, data.drawings()[0].links[0].part);
    EXPECT_NE(copy.drawings()[1].links[0].part, data.drawings()[1].links[0].part);
    EXPECT_EQ(formulasOf(copy.drawings()[1]),
              (std::vector<std::string>{"'Data (2)'!$A$1:$A$3", "'Data (2)'!$B$1", "Else!$A$1"}));

    // Into another workbook, a reference that still reads the same cells keeps its text.
    Workbook other;
    const Sheet& carried = copySheet(data, other, 0);
    EXPECT_EQ(formulasOf(carried.drawings()[1])[1], "'Data'!$B$1");
    EXPECT_EQ(formulasOf(data.drawings()[1])[0], "Data!$A$1:$A$3");
}

}  // namespace
}  // namespace plyfold::engine
