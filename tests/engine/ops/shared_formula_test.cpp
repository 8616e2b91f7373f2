// Formulas that many cells share: held once, read moved into each cell, and kept right (and
// shared) through paste, sheet copy and deletion. Each edit is checked against a twin
// workbook in which every cell holds its own formula text, which the same edit must leave
// reading alike.

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "engine/model/limits.h"
#include "engine/model/workbook.h"
#include "engine/ops/formula_refs.h"
#include "engine/ops/shared_formula.h"
#include "engine/ops/sheet_ops.h"

namespace plyfold::engine {
namespace {

CellRef at(std::string_view name) {
    return *parseCellName(name);
}

CellRange range(std::string_view name) {
    return *parseRangeName(name);
}

TEST(SharedFormula, ReachKeepsEveryMovedReferenceOnTheSheet) {
    const int32_t lastRow = kMaxRows - 1;
    const int32_t lastColumn = kMaxColumns - 1;
    struct Case {
        const char* text;
        const char* anchor;
        CellRange reach;
    };
    const Case cases[] = {
        {"A1*2", "A1", {{0, 0}, {lastRow, lastColumn}}},
        {"A1*2", "B2", {{1, 1}, {lastRow, lastColumn}}},
        {"C3", "A1", {{0, 0}, {lastRow - 2, lastColumn - 2}}},
        {"$A$1+1", "D4", {{0, 0}, {lastRow, lastColumn}}},
        {"A$1+$B2", "C3", {{1, 2}, {lastRow, lastColumn}}},
        {"SUM(A1:B5)", "C3", {{2, 2}, {lastRow - 2, lastColumn}}},
        {"SUM(B:C)", "A1", {{0, 0}, {lastRow, lastColumn - 2}}},
        {"SUM(2:3)", "A1", {{0, 0}, {lastRow - 2, lastColumn}}},
        {"Other!B2+[1]Book!C1", "A1", {{0, 0}, {lastRow - 1, lastColumn - 2}}},
        {"\"B2\"&Total&#REF!", "A1", {{0, 0}, {lastRow, lastColumn}}},
        {"A1048576", "A1", {{0, 0}, {0, lastColumn}}},
        {"XFD1+A1048576", "XFD1048576", {{lastRow, lastColumn}, {lastRow, lastColumn}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(formulaReach(c.text, at(c.anchor)), c.reach) << c.text << " at " << c.anchor;
    }
}

TEST(SharedFormula, ACellReadsItsFormulaMovedFromTheAnchor) {
    Workbook book;
    Cell own;
    own.formula = book.formulas().intern("B1+1") + 1;
    Cell shared;
    shared.formula = addSharedFormula(book, "B2*$C$1", at("A2")) + 1;
    shared.flags = kSharedFormula;
    Cell none;
    EXPECT_EQ(cellFormula(book, own, at("Z9")), "B1+1");
    EXPECT_EQ(cellFormula(book, shared, at("A2")), "B2*$C$1");
    EXPECT_EQ(cellFormula(book, shared, at("D7")), "E7*$C$1");
    EXPECT_EQ(cellFormula(book, none, at("A1")), "");
    EXPECT_EQ(book.sharedFormulaCount(), 1u);
    EXPECT_EQ(book.formulas().size(), 2u);
}

// A workbook whose formulas are shared, and its twin in which each cell holds its own text.
class Twins {
public:
    Twins() {
        for (Workbook* book : {&m_shared, &m_plain}) {
            book->addSheet("Data");
            book->addSheet("Other");
        }
    }

    Workbook& shared() { return m_shared; }
    Workbook& plain() { return m_plain; }

    // Gives every cell of cells on the sheet the formula text as it reads at anchor, as a
    // reader does: shared where the moved text keeps its references on the sheet.
    void fill(const std::string& sheet, std::string_view text, CellRange cells, CellRef anchor) {
        const uint32_t id = addSharedFormula(m_shared, text, anchor);
        for (int32_t r = cells.first.row; r <= cells.last.row; ++r) {
            for (int32_t c = cells.first.column; c <= cells.last.column; ++c) {
                const std::string own = shiftFormula(text, r - anchor.row, c - anchor.column);
                Cell& plainCell = m_plain.findSheet(sheet)->cellAt({r, c});
                plainCell.type = CellType::Number;
                plainCell.formula = m_plain.formulas().intern(own) + 1;
                Cell& sharedCell = m_shared.findSheet(sheet)->cellAt({r, c});
                sharedCell.type = CellType::Number;
                if (m_shared.sharedFormula(id).reach.contains({r, c})) {
                    sharedCell.formula = id + 1;
                    sharedCell.flags = kSharedFormula;
                } else {
                    sharedCell.formula = m_shared.formulas().intern(own) + 1;
                }
            }
        }
    }

private:
    Workbook m_shared;
    Workbook m_plain;
};

// Every formula of the workbook by sheet and cell.
std::map<std::string, std::string> formulasOf(const Workbook& book) {
    std::map<std::string, std::string> formulas;
    for (int32_t s = 0; s < book.sheetCount(); ++s) {
        const Sheet& sheet = book.sheet(s);
        for (const Row& row : sheet.rows()) {
            for (const Cell& cell : row.cells) {
                const CellRef ref{row.index, cell.column};
                formulas[sheet.name() + "!" + cellName(ref)] = cellFormula(book, cell, ref);
            }
        }
    }
    return formulas;
}

size_t sharedCells(const Workbook& book) {
    size_t count = 0;
    for (int32_t s = 0; s < book.sheetCount(); ++s) {
        for (const Row& row : book.sheet(s).rows()) {
            for (const Cell& cell : row.cells) {
                count += cell.hasSharedFormula() ? 1 : 0;
            }
        }
    }
    return count;
}

// The formulas the deletions below are tried on: relative and absolute parts, ranges with an
// end of each kind, whole rows and columns, other sheets, and references near the sheet's edge.
const char* const kFormulas[] = {
    "B2*2",
    "SUM(A$1:A1)",
    "SUM(A$10:A1)",
    "SUM(A1:A$10)",
    "SUM($A1:C1)",
    "A12-B1+C$3",
    "A1-A3+C2",
    "SUM(B2:D6)+$E$5",
    "SUM(A:B)+SUM(3:4)",
    "Data!C3+Other!C3",
    "Data!A12+Other!D1",
    "A1048570+XFD2",
    "\"A1\"&B2",
};

struct Deletion {
    const char* sheet;
    bool rows;
    int32_t first;
    int32_t count;
};

const Deletion kDeletions[] = {
    {"Data", true, 0, 1},  {"Data", true, 4, 1},   {"Data", true, 4, 3},
    {"Data", true, 9, 2},  {"Data", true, 20, 2},  {"Data", true, 30, 5},
    {"Data", false, 0, 1}, {"Data", false, 2, 1},  {"Data", false, 1, 3},
    {"Other", true, 2, 2}, {"Other", false, 2, 1}, {"Data", true, 1048566, 3},
    {"Data", false, 9, 1},
};

TEST(SharedFormula, DeletionsLeaveEveryCellReadingAsItsOwnTextWould) {
    for (const char* text : kFormulas) {
        for (const Deletion& d : kDeletions) {
            Twins twins;
            twins.fill("Data", text, range("B2:F25"), at("B2"));
            twins.fill("Data", text, range("C1048560:C1048575"), at("C1048570"));
            twins.fill("Other", text, range("A1:B12"), at("B3"));
            for (Workbook* book : {&twins.shared(), &twins.plain()}) {
                Sheet& sheet = *book->findSheet(d.sheet);
                if (d.rows) {
                    deleteRows(sheet, d.first, d.count);
                } else {
                    deleteColumns(sheet, d.first, d.count);
                }
            }
            EXPECT_EQ(formulasOf(twins.shared()), formulasOf(twins.plain()))
                << text << ", deleting " << (d.rows ? "rows" : "columns") << " from " << d.first + 1
                << " (" << d.count << ") of " << d.sheet;
        }
    }
}

TEST(SharedFormula, ADeletionKeepsTheCellsOfAFormulaShared) {
    Twins twins;
    twins.fill("Data", "B1*2+SUM(C$1:C1)", range("A1:A1000"), at("A1"));
    Workbook& book = twins.shared();
    const uint32_t textsBefore = book.formulas().size();
    deleteRows(*book.findSheet("Data"), 499, 1);
    // Cell A500 read B500; its run of one cell is the only new shared formula besides the
    // one of the cells below it, which moved up.
    EXPECT_EQ(sharedCells(book), 999u);
    EXPECT_LE(book.sharedFormulaCount(), 3u);
    EXPECT_LE(book.formulas().size(), textsBefore + 2);
    EXPECT_EQ(cellFormula(book, *book.findSheet("Data")->findCell(at("A500")), at("A500")),
              "B500*2+SUM(C$1:C500)");
    // A deletion the cells' references reach into: the range that lost its first row.
    deleteRows(*book.findSheet("Data"), 0, 1);
    EXPECT_EQ(cellFormula(book, *book.findSheet("Data")->findCell(at("A1")), at("A1")),
              "B1*2+SUM(C$1:C1)");
    EXPECT_EQ(cellFormula(book, *book.findSheet("Data")->findCell(at("A9")), at("A9")),
              "B9*2+SUM(C$1:C9)");
    EXPECT_EQ(sharedCells(book), 998u);
}

TEST(SharedFormula, PastesAtAnOffsetReadAsTheCopiedTextsWould) {
    struct Paste {
        const char* block;
        const char* to;
    };
    const Paste pastes[] = {
        {"B2:F25", "B2"},
        {"B2:F25", "H40"},
        {"B2:D10", "A1"},
        {"C4:F9", "A1"},
        {"A1:F25", "XFA1048560"},
        {"C1048560:C1048575", "A1"},
        {"C1048560:C1048575", "D1048570"},
    };
    for (const char* text : kFormulas) {
        for (const Paste& p : pastes) {
            Twins twins;
            twins.fill("Data", text, range("B2:F25"), at("B2"));
            twins.fill("Data", text, range("C1048560:C1048575"), at("C1048570"));
            Twins targets;
            for (bool shared : {true, false}) {
                Workbook& from = shared ? twins.shared() : twins.plain();
                Workbook& into = shared ? targets.shared() : targets.plain();
                const CellRange block = range(p.block);
                const CellRef to = at(p.to);
                if (int64_t{to.column} + block.columnCount() > kMaxColumns ||
                    int64_t{to.row} + block.rowCount() > kMaxRows) {
                    continue;
                }
                pasteBlock(*from.findSheet("Data"), block, *into.findSheet("Other"), to);
                // Into the workbook the formulas came from, too.
                pasteBlock(*from.findSheet("Data"), block, *from.findSheet("Other"), to);
            }
            EXPECT_EQ(formulasOf(targets.shared()), formulasOf(targets.plain()))
                << text << ", " << p.block << " to " << p.to;
            EXPECT_EQ(formulasOf(twins.shared()), formulasOf(twins.plain()))
                << text << ", " << p.block << " to " << p.to << " in its workbook";
        }
    }
}

TEST(SharedFormula, SheetCopiesReadAsTheCopiedTextsWould) {
    for (const char* text : kFormulas) {
        Twins twins;
        twins.fill("Data", text, range("B2:F25"), at("B2"));
        const size_t shared = sharedCells(twins.shared());
        Twins targets;
        for (bool isShared : {true, false}) {
            Workbook& from = isShared ? twins.shared() : twins.plain();
            Workbook& into = isShared ? targets.shared() : targets.plain();
            copySheet(*from.findSheet("Data"), into, 0);  // becomes "Data (2)"
            copySheet(*from.findSheet("Data"), from, 2);  // the same, in its own workbook
        }
        EXPECT_EQ(formulasOf(targets.shared()), formulasOf(targets.plain())) << text;
        EXPECT_EQ(formulasOf(twins.shared()), formulasOf(twins.plain())) << text;
        // The copies share as the sheet copied does.
        EXPECT_EQ(sharedCells(targets.shared()), shared) << text;
        EXPECT_EQ(sharedCells(twins.shared()), 2 * shared) << text;
    }
}

// A paste that places the block's columns apart: each cell reads what its twin reads, whether
// its formula was shared or its own, and references to the block follow its cells.
TEST(SharedFormula, ARearrangedPasteReadsAsItsTwinDoes) {
    struct Case {
        const char* text;
        const char* movedFromB2;  // at D10, where B2 lands
        const char* movedFromE2;  // at C10, where E2 lands
    };
    const Case cases[] = {
        {"B2+C2", "D10+A10", "C10+[1]Data!F2"},
        {"$B2*C$2", "$D10*A$10", "$D10*[1]Data!F$2"},
        {"SUM(B2:B6)", "SUM(D10:D14)", "SUM(C10:C14)"},
        {"SUM(C2:E2)", "SUM(A10:C10)", "SUM([1]Data!F2:H2)"},
        {"SUM(B2:C2)", "SUM([1]Data!B2:C2)", "SUM([1]Data!E2:F2)"},
        {"Other!A1+A2", "[1]Other!A1+[1]Data!A2", "[1]Other!D1+B10"},
    };
    // B to D, C to A, D to B, E to C, from row 10 on.
    const std::vector<int32_t> columns{3, 0, 1, 2};
    for (const Case& c : cases) {
        Twins twins;
        twins.shared().setPath("/data/month.xlsx");
        twins.plain().setPath("/data/month.xlsx");
        twins.fill("Data", c.text, range("B2:E6"), at("B2"));
        Twins targets;
        for (bool shared : {true, false}) {
            Workbook& from = shared ? twins.shared() : twins.plain();
            Workbook& into = shared ? targets.shared() : targets.plain();
            pasteBlockRearranged(*from.findSheet("Data"), range("B2:E6"), *into.findSheet("Other"),
                                 9, columns);
        }
        EXPECT_EQ(formulasOf(targets.shared()), formulasOf(targets.plain())) << c.text;
        const std::map<std::string, std::string> moved = formulasOf(targets.plain());
        EXPECT_EQ(moved.at("Other!D10"), c.movedFromB2) << c.text;
        EXPECT_EQ(moved.at("Other!C10"), c.movedFromE2) << c.text;
        EXPECT_EQ(moved.size(), 20u) << c.text;
    }
}

TEST(SharedFormula, AMillionCellsHoldTheirFormulaOnce) {
    std::string formula = "SUM(B1:C2)";
    for (int i = 0; i < 2000; ++i) {
        formula += "+1";
    }
    Workbook book;
    Sheet& sheet = book.addSheet("Data");
    const uint32_t id = addSharedFormula(book, formula, at("A1"));
    for (int32_t r = 0; r < 1000; ++r) {
        Row& row = sheet.appendRow(r);
        row.cells.resize(1000);
        for (int32_t c = 0; c < 1000; ++c) {
            row.cells[static_cast<size_t>(c)].column = static_cast<uint16_t>(c);
            row.cells[static_cast<size_t>(c)].formula = id + 1;
            row.cells[static_cast<size_t>(c)].flags = kSharedFormula;
        }
    }
    Workbook copy;
    pasteBlock(sheet, range("A1:ALL1000"), copy.addSheet("Copy"), at("B3"));
    copySheet(sheet, copy, 0);
    deleteRows(*copy.findSheet("Copy"), 500, 1);
    // The text once per shared formula, not once per cell (4 KB a cell would be 4 GB).
    EXPECT_LT(copy.formulas().memoryUsage(), size_t{1} << 20);
    EXPECT_LE(copy.sharedFormulaCount(), 8u);
    // ALL1000 went to ALM1002 with the paste and to ALM1001 with the deletion.
    const Cell* last = copy.findSheet("Copy")->findCell(at("ALM1001"));
    ASSERT_NE(last, nullptr);
    EXPECT_TRUE(last->hasSharedFormula());
    EXPECT_EQ(cellFormula(copy, *last, at("ALM1001")), "SUM(ALN1001:ALO1002)" + formula.substr(10));
}

}  // namespace
}  // namespace plyfold::engine
