// Sheet settings through the three merges, with the workbooks make_settings.py generates
// (tests/data/xlsx-features), each merged after a one-block pad so that it lands at an
// offset: the one-workbook merge carries every setting with its sheet, the one-sheet merges
// leave the result sheet its own but carry gradient fills with the cells, and what nothing
// carries is listed for the user. Results are read back by our reader and by openpyxl.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "engine/io/workbook_io.h"
#include "engine/model/workbook.h"
#include "merge/merge_request.h"
#include "merge/merges.h"
#include "tests/merge/merge_fixture.h"

namespace plyfold::merge {
namespace {

constexpr const char* kPython = "/usr/bin/python3";

std::string feature(const std::string& name) {
    return std::string(PLYFOLD_SOURCE_DIR) + "/tests/data/xlsx-features/settings_" + name + ".xlsx";
}

// Prints the settings of one sheet as openpyxl reads them, one fact a line.
constexpr const char* kFacts = R"(import sys
import openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
def facts(ws):
    af = ws.auto_filter
    print('filter', af.ref, af.sortState.ref if af.sortState else None)
    for fc in af.filterColumn:
        print('criteria', fc.colId, fc.filters.filter if fc.filters else None,
              fc.filters.blank if fc.filters else None,
              [(c.operator, c.val) for c in fc.customFilters.customFilter] if fc.customFilters else None,
              (fc.top10.top, fc.top10.percent, fc.top10.val) if fc.top10 else None,
              fc.dynamicFilter.type if fc.dynamicFilter else None)
    def d(value, default):
        return default if value is None else value
    v = ws.sheet_view
    print('view', ws.freeze_panes, d(v.zoomScale, 100), d(v.showGridLines, True),
          d(v.showRowColHeaders, True), d(v.showZeros, True), d(v.rightToLeft, False))
    if v.pane is not None:
        print('pane', v.pane.xSplit, v.pane.ySplit, v.pane.topLeftCell, v.pane.activePane,
              v.pane.state)
    p = ws.sheet_properties
    print('tab', p.tabColor.rgb if p.tabColor is not None else None)
    outline = p.outlinePr
    print('outline', d(outline and outline.summaryBelow, True), d(outline and outline.summaryRight, True))
    print('fit', d(p.pageSetUpPr and p.pageSetUpPr.fitToPage, False))
    ps = ws.page_setup
    print('page', d(ps.orientation, 'default'), d(ps.paperSize, 1), d(ps.fitToHeight, 1),
          d(ps.firstPageNumber, 1), d(ps.useFirstPageNumber, False))
    m = ws.page_margins
    print('margins', m.left, m.right, m.top, m.bottom, m.header, m.footer)
    po = ws.print_options
    print('print', d(po.horizontalCentered, False), d(po.gridLines, False), d(po.headings, False))
    hf = ws.HeaderFooter
    print('header', d(hf.differentFirst, False), d(hf.differentOddEven, False), ws.oddHeader.center.text,
          ws.oddFooter.right.text, ws.evenHeader.left.text, ws.firstHeader.center.text)
    print('breaks', [b.id for b in ws.row_breaks.brk], [b.id for b in ws.col_breaks.brk])
    pr = ws.protection
    print('protection', pr.sheet, pr.password, pr.formatColumns, pr.sort, pr.autoFilter,
          pr.selectLockedCells)
    for i, dim in sorted(ws.row_dimensions.items()):
        if dim.outlineLevel or dim.collapsed or dim.hidden:
            print('row', i, dim.outlineLevel, dim.collapsed, dim.hidden)
    for k, dim in sorted(ws.column_dimensions.items()):
        if dim.outlineLevel or dim.collapsed:
            print('column', dim.min, dim.max, dim.outlineLevel, dim.collapsed)
    print('levels', d(ws.sheet_format.outlineLevelRow, 0), d(ws.sheet_format.outlineLevelCol, 0))
    print('titles', ws.print_title_rows)
    for key, cell in sorted(ws._cells.items()):
        f = cell.fill
        if getattr(f, 'tagname', '') == 'gradientFill':
            print('gradient', cell.coordinate, cell.value, f.type, f.degree, f.left, f.right,
                  f.top, f.bottom, [(s.position, s.color.rgb) for s in f.stop])
for name in sys.argv[2:]:
    print('sheet', name)
    facts(wb[name])
)";

std::vector<std::string> facts(const test::TempDir& dir, const std::string& path,
                               const std::vector<std::string>& sheets) {
    const std::string script = dir.file("facts.py");
    if (!std::filesystem::exists(script)) {
        test::writeFile(script, kFacts);
    }
    std::string command = std::string(kPython) + " " + script + " '" + path + "'";
    for (const std::string& sheet : sheets) {
        command += " '" + sheet + "'";
    }
    command += " 2>/dev/null";
    std::vector<std::string> lines;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        return lines;
    }
    char buffer[4096];
    std::string current;
    while (fgets(buffer, sizeof buffer, pipe)) {
        current += buffer;
        if (current.back() == '\n') {
            current.pop_back();
            lines.push_back(current);
            current.clear();
        }
    }
    EXPECT_EQ(pclose(pipe), 0) << "openpyxl failed: " << (lines.empty() ? "" : lines.back());
    return lines;
}

bool contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

bool haveOpenpyxl() {
    return std::system((std::string(kPython) + " -c 'import openpyxl' 2>/dev/null").c_str()) == 0;
}

struct Feature {
    const char* name;
    const char* sheet;
    // Lines openpyxl must read from the copy, beyond reading it as from the source.
    std::vector<std::string> lines;
};

const std::vector<Feature>& features() {
    static const std::vector<Feature> all = {
        {"autofilter",
         "Filtered",
         {"filter C3:F15 D4:D15", "criteria 0 ['item1', 'item2'] True None None None",
          "criteria 1 None None [('greaterThanOrEqual', '5'), ('lessThan', '40')] None None",
          "criteria 2 None None None (False, True, 25.0) None",
          "criteria 3 None None None None aboveAverage"}},
        {"views",
         "Frozen",
         {"view D5 150 False False False True", "pane 3.0 4.0 D5 bottomRight frozen"}},
        {"print",
         "Printed",
         {"tab 001072BA", "fit True", "page landscape 9 3 7 True",
          "margins 1.25 0.5 1.5 0.25 0.4 0.2", "print True True True",
          "header True True Monthly &P of &N odd footer even header first page", "breaks [20] [4]",
          "titles 3:3"}},
        {"outline",
         "Grouped",
         {"outline False False", "row 6 1 False False", "row 7 2 False True", "row 10 0 True False",
          "column 4 5 1 False", "levels 2 0"}},
        {"protection", "Locked", {"protection True DAA7 False False False True"}},
        {"gradient",
         "Gradients",
         {"gradient C3 linear linear 45.0 0.0 0.0 0.0 0.0 [(0.0, 'FFFF0000'), (1.0, 'FF0000FF')]",
          "gradient D4 path path 0.0 0.2 0.8 0.3 0.7 [(0.0, 'FFFFFFFF'), (1.0, 'FF00FF00')]"}},
    };
    return all;
}

class SettingsMerge : public test::MergeTest {
protected:
    // A block of two rows and two columns, merged first so that the feature lands after it.
    void queuePadAnd(const std::string& path, const std::string& sheet) {
        const std::string pad = writeBook("pad.xlsx", {{"Pad", {{1.0, 2.0}, {3.0, 4.0}}}});
        queue(pad, "Pad");
        queue(path, sheet);
    }

    std::string saved(const std::string& name) {
        const std::string path = dir.file(name);
        engine::saveWorkbook(resultBook(), path);
        return path;
    }
};

TEST_F(SettingsMerge, WorkbookMergeCarriesEverySettingWithItsSheet) {
    for (const Feature& f : features()) {
        SCOPED_TRACE(f.name);
        presenter.server.reset();
        form.ListView4.clear();
        queuePadAnd(feature(f.name), f.sheet);
        queue(feature(f.name), "Other");
        ASSERT_TRUE(MergeToOneWorkbook(form));
        const engine::Workbook& result = resultBook();
        ASSERT_EQ(result.sheetCount(), 3);
        const engine::Sheet& copy = result.sheet(1);
        EXPECT_EQ(copy.name(), f.sheet);

        auto source = engine::openWorkbook(feature(f.name));
        const engine::Sheet& original = *source->findSheet(f.sheet);
        original.ensureLoaded();
        EXPECT_EQ(copy.settings(), original.settings());
        const engine::Sheet& other = *source->findSheet("Other");
        other.ensureLoaded();
        EXPECT_EQ(result.sheet(2).settings(), other.settings());

        const std::string path = saved(std::string("workbook_") + f.name + ".xlsx");
        auto back = engine::openWorkbook(path);
        back->sheet(1).ensureLoaded();
        EXPECT_EQ(back->sheet(1).settings(), original.settings());
        if (haveOpenpyxl()) {
            const std::vector<std::string> read = facts(dir, path, {f.sheet});
            EXPECT_EQ(read, facts(dir, feature(f.name), {f.sheet}));
            for (const std::string& line : f.lines) {
                EXPECT_TRUE(contains(read, line)) << line;
            }
        }
        presenter.server->Quit();
    }
}

// Workbooks saved by spreadsheet programs: filters of every kind, protection, right-to-left
// views, print setup and hidden rows, each sheet copied after the pad.
TEST_F(SettingsMerge, CorpusWorkbooksKeepTheirSettingsThroughAWorkbookMerge) {
    const std::vector<std::pair<std::string, std::string>> books = {
        {"sheetjs__AutoFilter.xlsx", "filter A1:E22 None"},
        {"sheetjs__\u05d7\u05d9\u05e9\u05d5\u05d1_\u05e0\u05e7\u05d5\u05d3\u05d5\u05ea_"
         "\u05d6\u05d9\u05db\u05d5\u05d9.xlsx",
         "protection True DCB4 True True True True"},
        {"calamine__issue_174.xlsx", ""},
    };
    for (const auto& [file, line] : books) {
        SCOPED_TRACE(file);
        const std::string path = std::string(PLYFOLD_CORPUS_DIR) + "/" + file;
        auto source = engine::openWorkbook(path);
        std::vector<std::string> names;
        presenter.server.reset();
        form.ListView4.clear();
        const std::string pad = writeBook("pad.xlsx", {{"Pad", {{1.0}}}});
        queue(pad, "Pad");
        for (int32_t i = 0; i < source->sheetCount(); ++i) {
            if (source->sheet(i).isWorksheet()) {
                names.push_back(source->sheet(i).name());
                queue(path, names.back());
            }
        }
        ASSERT_TRUE(MergeToOneWorkbook(form));
        const std::string result = saved("corpus.xlsx");
        auto back = engine::openWorkbook(result);
        for (const std::string& name : names) {
            const engine::Sheet& original = *source->findSheet(name);
            original.ensureLoaded();
            const engine::Workbook& merged = resultBook();
            for (int32_t i = 0; i < merged.sheetCount(); ++i) {
                if (merged.sheet(i).name() == name) {
                    EXPECT_EQ(merged.sheet(i).settings(), original.settings()) << name;
                }
            }
            const engine::Sheet* read = back->findSheet(name);
            ASSERT_NE(read, nullptr);
            read->ensureLoaded();
            EXPECT_EQ(read->settings(), original.settings()) << name;
        }
        if (haveOpenpyxl()) {
            const std::vector<std::string> read = facts(dir, result, names);
            EXPECT_EQ(read, facts(dir, path, names));
            EXPECT_TRUE(line.empty() || contains(read, line)) << line;
        }
        presenter.server->Quit();
    }
}

TEST_F(SettingsMerge, OneSheetMergesLeaveTheResultItsOwnSettingsAndCarryGradientCells) {
    struct Mode {
        const char* name;
        bool (*merge)(controls::Form1Controls&, MergeOutcome*);
        bool dropFirstLine;
        const char* linear;  // where C3 of the source lands
        const char* path;    // where D4 lands
    };
    // The used range C3:D4 lands after the pad's two rows (or columns); a dropped first line
    // takes C3's row (or column) with it.
    const std::vector<Mode> modes = {
        {"vertical", MergeSheetsVertically, false, "A3", "B4"},
        {"horizontal", MergeSheetsHorizontally, false, "C1", "D2"},
        {"vertical, first row dropped", MergeSheetsVertically, true, nullptr, "B3"},
        {"horizontal, first column dropped", MergeSheetsHorizontally, true, nullptr, "C2"},
    };
    for (const Feature& f : features()) {
        for (const Mode& mode : modes) {
            SCOPED_TRACE(std::string(f.name) + ", " + mode.name);
            presenter.server.reset();
            form.ListView4.clear();
            form.Check1.setValue(mode.dropFirstLine ? 1 : 0);
            form.Check2.setValue(0);
            queuePadAnd(feature(f.name), f.sheet);
            ASSERT_TRUE(mode.merge(form, nullptr));
            const engine::Workbook& result = resultBook();
            EXPECT_EQ(result.sheet(0).settings(), engine::SheetSettings{});
            for (const engine::Row& row : result.sheet(0).rows()) {
                EXPECT_EQ(row.outlineLevel, 0);
            }
            if (std::string(f.name) == "gradient" && haveOpenpyxl()) {
                const std::string path = saved("pasted.xlsx");
                const std::vector<std::string> read = facts(dir, path, {result.sheet(0).name()});
                std::vector<std::string> gradients;
                for (const std::string& line : read) {
                    if (line.starts_with("gradient")) {
                        gradients.push_back(line);
                    }
                }
                std::vector<std::string> expected;
                if (mode.linear) {
                    expected.push_back(std::string("gradient ") + mode.linear +
                                       " linear linear 45.0 0.0 0.0 0.0 0.0 [(0.0, 'FFFF0000'), "
                                       "(1.0, 'FF0000FF')]");
                }
                expected.push_back(std::string("gradient ") + mode.path +
                                   " path path 0.0 0.2 0.8 0.3 0.7 [(0.0, 'FFFFFFFF'), (1.0, "
                                   "'FF00FF00')]");
                EXPECT_EQ(gradients, expected);
                EXPECT_TRUE(contains(read, "filter None None"));
                EXPECT_TRUE(contains(read, "view None 100 True True True False")) << read.size();
            }
            presenter.server->Quit();
        }
    }
}

TEST_F(SettingsMerge, WhatCannotBeCarriedIsListedOnceInOneInformationBox) {
    const std::string held = feature("uncarried");
    const std::string prefix = "'" + held + "'";
    const std::vector<std::string> expected = {
        prefix + ": not carried into the result: VBA project (macros)",
        prefix + ", sheet 'Held': not carried into the result: form or ActiveX controls",
        prefix + ", sheet 'Held': not carried into the result: sparklines",
        prefix +
            ", sheet 'Held': not carried into the result: pivot table (its cells are kept "
            "as values)",
    };
    for (bool (*merge)(controls::Form1Controls&, MergeOutcome*) :
         {MergeSheetsVertically, MergeSheetsHorizontally, MergeToOneWorkbook}) {
        presenter.server.reset();
        messages.shown.clear();
        form.ListView4.clear();
        queuePadAnd(held, "Held");
        queue(held, "Other");  // holds nothing of the kind
        queue(held, "Held");   // the same source again: listed once
        ASSERT_TRUE(merge(form, nullptr));
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].second, controls::MessageIcon::Information);
        std::string text = "The result does not carry everything its sources hold:\n";
        for (const std::string& line : expected) {
            text += "\n" + line;
        }
        EXPECT_EQ(messages.shown[0].first, text);
        presenter.server->Quit();
    }

    // Through the request, as the command line runs it.
    MergeRequest request;
    request.rows = {{held, "Held", true}, {held, "Other", true}};
    request.mode = MergeMode::Workbook;
    MergeOutcome outcome = runMerge(request);
    ASSERT_TRUE(outcome.succeeded());
    ASSERT_EQ(outcome.uncarried.size(), 4u);
    EXPECT_EQ(outcome.uncarried[0], (UncarriedFeature{held, "", "VBA project (macros)"}));
    EXPECT_EQ(outcome.uncarried[3].sheet, "Held");
    outcome.server->Quit();
}

TEST_F(SettingsMerge, SourcesWithNothingUncarriedShowNoBox) {
    queuePadAnd(feature("autofilter"), "Filtered");
    ASSERT_TRUE(MergeToOneWorkbook(form));
    EXPECT_TRUE(messages.shown.empty());
}

}  // namespace
}  // namespace plyfold::merge
