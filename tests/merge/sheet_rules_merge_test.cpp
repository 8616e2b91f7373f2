#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>

#include "engine/io/workbook_io.h"
#include "engine/model/workbook.h"
#include "merge/merges.h"
#include "tests/merge/merge_fixture.h"

namespace plyfold::merge {
namespace {

constexpr const char* kPython = "/usr/bin/python3";

// One line a rule, as both readers print it: the sheet, the ranges, the kind, the formulas
// (thresholds' values after them) and what its differential style states.
constexpr const char* kOpenpyxlDump = R"(import sys
import openpyxl
book = openpyxl.load_workbook(sys.argv[1])
def style(dxf):
    if dxf is None:
        return '-'
    parts = []
    if dxf.font is not None:
        if dxf.font.b:
            parts.append('bold')
        if dxf.font.i:
            parts.append('italic')
        if dxf.font.color is not None and dxf.font.color.rgb:
            parts.append('font=' + dxf.font.color.rgb)
    if dxf.fill is not None and dxf.fill.bgColor is not None and dxf.fill.bgColor.rgb != '00000000':
        parts.append('fill=' + dxf.fill.bgColor.rgb)
    if dxf.numFmt is not None:
        parts.append('format=' + dxf.numFmt.formatCode)
    return ','.join(parts) or '-'
for ws in book.worksheets:
    for cf in ws.conditional_formatting:
        for rule in cf.rules:
            formulas = list(rule.formula or [])
            for scale in (rule.colorScale, rule.dataBar, rule.iconSet):
                if scale is not None:
                    formulas += ['%g' % v.val if isinstance(v.val, float) else str(v.val)
                                 for v in scale.cfvo if v.val is not None]
            print('CF', ws.title, str(cf.sqref), rule.type, '|'.join(formulas) or '-',
                  style(rule.dxf))
    for dv in ws.data_validations.dataValidation:
        print('DV', ws.title, str(dv.sqref), dv.type or 'none', dv.operator or 'between',
              dv.formula1 or '-', dv.formula2 or '-', dv.prompt or '-', dv.error or '-')
)";

std::string argb(const engine::Color& color) {
    char text[12];
    std::snprintf(text, sizeof text, "%08X", color.argb);
    return text;
}

std::string styleText(const engine::StyleTable& styles, const std::optional<uint32_t>& id) {
    if (!id) {
        return "-";
    }
    const engine::DifferentialStyle& dxf = styles.differentialStyle(*id);
    std::vector<std::string> parts;
    if (dxf.font) {
        if (dxf.font->bold.value_or(false)) {
            parts.push_back("bold");
        }
        if (dxf.font->italic.value_or(false)) {
            parts.push_back("italic");
        }
        if (dxf.font->color.kind == engine::Color::Kind::Rgb) {
            parts.push_back("font=" + argb(dxf.font->color));
        }
    }
    if (dxf.fill && dxf.fill->background.kind == engine::Color::Kind::Rgb) {
        parts.push_back("fill=" + argb(dxf.fill->background));
    }
    if (dxf.numberFormat) {
        parts.push_back("format=" + std::string(styles.formatCode(*dxf.numberFormat)));
    }
    std::string text;
    for (const std::string& part : parts) {
        text += (text.empty() ? "" : ",") + part;
    }
    return text.empty() ? "-" : text;
}

std::string rangesText(const std::vector<engine::CellRange>& ranges) {
    std::string text;
    for (const engine::CellRange& range : ranges) {
        text += (text.empty() ? "" : " ") + engine::rangeName(range);
    }
    return text;
}

std::string orDash(const std::string& text) {
    return text.empty() ? "-" : text;
}

// What our model holds, in the openpyxl dump's lines, sorted.
std::vector<std::string> describe(const engine::Workbook& book) {
    std::vector<std::string> lines;
    for (int32_t s = 0; s < book.sheetCount(); ++s) {
        const engine::Sheet& sheet = book.sheet(s);
        sheet.ensureLoaded();
        for (const engine::ConditionalFormat& format : sheet.conditionalFormats()) {
            for (const engine::ConditionalFormatRule& rule : format.rules) {
                std::string formulas;
                for (const std::string& text : rule.formulas) {
                    formulas += (formulas.empty() ? "" : "|") + text;
                }
                for (const engine::ConditionalValue& value : rule.values) {
                    if (!value.value.empty()) {
                        formulas += (formulas.empty() ? "" : "|") + value.value;
                    }
                }
                lines.push_back("CF " + sheet.name() + " " + rangesText(format.ranges) + " " +
                                std::string(engine::conditionalFormatTypeName(rule.type)) + " " +
                                orDash(formulas) + " " +
                                styleText(book.styles(), rule.differentialStyle));
            }
        }
        for (const engine::DataValidation& rule : sheet.dataValidations()) {
            lines.push_back("DV " + sheet.name() + " " + rangesText(rule.ranges) + " " +
                            std::string(engine::validationTypeName(rule.type)) + " " +
                            std::string(engine::validationOperatorName(rule.op)) + " " +
                            orDash(rule.formula1) + " " + orDash(rule.formula2) + " " +
                            orDash(rule.prompt) + " " + orDash(rule.error));
        }
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

bool haveOpenpyxl() {
    return std::filesystem::exists(kPython) &&
           std::system((std::string(kPython) + " -c 'import openpyxl' 2>/dev/null").c_str()) == 0;
}

std::vector<std::string> openpyxlLines(const test::TempDir& dir, const std::string& path) {
    const std::string script = dir.file("dump_rules.py");
    test::writeFile(script, kOpenpyxlDump);
    std::vector<std::string> lines;
    FILE* pipe = popen((std::string(kPython) + " " + script + " " + path + " 2>&1").c_str(), "r");
    if (!pipe) {
        return lines;
    }
    char buffer[4096];
    while (fgets(buffer, sizeof buffer, pipe)) {
        std::string line(buffer);
        if (!line.empty() && line.back() == '\n') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    EXPECT_EQ(pclose(pipe), 0) << "openpyxl failed";
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::string feature(const char* name) {
    return std::string(PLYFOLD_SOURCE_DIR) + "/tests/data/xlsx-features/" + name;
}

class SheetRulesMerge : public test::MergeTest {
protected:
    // The result's rules, checked to read back the same from the saved file, by our reader
    // and by openpyxl.
    std::vector<std::string> savedAndReadBack() {
        const std::vector<std::string> lines = describe(resultBook());
        const std::string saved = dir.file("result.xlsx");
        engine::saveWorkbook(resultBook(), saved);
        EXPECT_EQ(describe(*engine::openWorkbook(saved)), lines);
        if (haveOpenpyxl()) {
            EXPECT_EQ(openpyxlLines(dir, saved), lines);
        }
        return lines;
    }

    void queueWithPad(const char* book, const char* sheet = "Data") {
        queue(feature("pad.xlsx"), "Pad");
        queue(feature(book), sheet);
    }
};

void expectHas(const std::vector<std::string>& lines, std::initializer_list<const char*> wanted) {
    for (const char* line : wanted) {
        EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end())
            << "missing: " << line << "\nhave:\n"
            << [&] {
                   std::string all;
                   for (const std::string& l : lines) {
                       all += l + "\n";
                   }
                   return all;
               }();
    }
}

TEST_F(SheetRulesMerge, StackedConditionalFormatsMoveWithTheirBlock) {
    queueWithPad("cf.xlsx");
    ASSERT_TRUE(MergeSheetsVertically(form));
    // Data's B3:I11 lands at A5: two rows down, one column left. References into the block
    // move with it; the sheet Limits stays in the source, read as an external reference.
    const auto lines = savedAndReadBack();
    EXPECT_EQ(lines.size(), 12u);
    expectHas(lines,
              {"CF Sheet1 A6:A13 expression LEN($A$5)<LEN(A6) font=FF7F7F7F",
               "CF Sheet1 B6:B13 cellIs [1]Limits!$A$1 bold,font=FF9C0006,fill=FFFFC7CE",
               "CF Sheet1 A6:D13 expression $C6>40 italic", "CF Sheet1 C6:C13 colorScale 50 -",
               "CF Sheet1 B6:B13 dataBar - -", "CF Sheet1 C6:C13 iconSet 0|33|67 -",
               "CF Sheet1 A6:A13 containsText NOT(ISERROR(SEARCH(\"an\",A6))) -",
               "CF Sheet1 B6:B13 H6:H13 cellIs 2|[1]Limits!$A$1+1 font=FF0000FF,format=0.000"});
}

TEST_F(SheetRulesMerge, SideBySideValidationMovesWithItsBlock) {
    queueWithPad("dv.xlsx");
    ASSERT_TRUE(MergeSheetsHorizontally(form));
    // Data's B3:I11 lands at C1: two rows up, one column right.
    const auto lines = savedAndReadBack();
    EXPECT_EQ(lines.size(), 8u);
    expectHas(lines, {"DV Sheet1 C2:C9 list between \"Red,Green,Blue\" - Pick a colour Red, "
                      "Green or Blue",
                      "DV Sheet1 G2:G9 list between [1]Limits!$A$2:$A$4 - - -",
                      "DV Sheet1 D2:D9 whole between 1 100 - 1 to 100",
                      "DV Sheet1 J2:J9 custom between AND(D2>0,J2<=[1]Limits!$A$1*20) - - -"});
}

TEST_F(SheetRulesMerge, ADroppedFirstRowTakesTheRulesUpWithIt) {
    queueWithPad("cf.xlsx");
    queue(feature("dv.xlsx"), "Data");
    form.Check1.setValue(1);  // each later block's header row is left out
    ASSERT_TRUE(MergeSheetsVertically(form));
    // cf's block lands at A5:H13 and loses its header row, so its rules start at row 5;
    // dv's block then lands at A13:H21 and loses its header too.
    const auto lines = savedAndReadBack();
    EXPECT_EQ(lines.size(), 20u);
    // The rule reading cf's header row reads it from the source once the row is gone.
    expectHas(lines, {"CF Sheet1 A5:D12 expression $C5>40 italic",
                      "CF Sheet1 A5:A12 expression LEN([1]Data!$B$3)<LEN(A5) font=FF7F7F7F",
                      "CF Sheet1 B5:B12 H5:H12 cellIs 2|[1]Limits!$A$1+1 "
                      "font=FF0000FF,format=0.000",
                      "DV Sheet1 A13:A20 list between \"Red,Green,Blue\" - Pick a colour Red, "
                      "Green or Blue",
                      "DV Sheet1 H13:H20 custom between AND(B13>0,H13<=[2]Limits!$A$1*20) - - -"});
}

TEST_F(SheetRulesMerge, WorkbookMergeCopiesEveryRuleAndFollowsCopiedSheets) {
    queueWithPad("cf.xlsx");
    queue(feature("dv.xlsx"), "Data");
    queue(feature("cf.xlsx"), "Limits");
    ASSERT_TRUE(MergeToOneWorkbook(form));
    const auto lines = savedAndReadBack();
    EXPECT_EQ(lines.size(), 20u);
    // cf's Limits was copied too: its rules read the copy; dv's Limits was not, so its
    // rules read the source file.
    expectHas(lines, {"CF Data C4:C11 cellIs Limits!$A$1 bold,font=FF9C0006,fill=FFFFC7CE",
                      "CF Data B4:E11 expression $D4>40 italic",
                      "CF Data C4:C11 I4:I11 cellIs 2|Limits!$A$1+1 font=FF0000FF,format=0.000",
                      "DV Data (2) I4:I11 custom between AND(C4>0,I4<=[1]Limits!$A$1*20) - - -",
                      "DV Data (2) F4:F11 list between [1]Limits!$A$2:$A$4 - - -"});
}

}  // namespace
}  // namespace plyfold::merge
