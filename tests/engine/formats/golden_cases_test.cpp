// Every reader against the golden cases of tests/data: each case's input opened with the engine
// gives the cells of the dump beside it. A new case folder needs no code.

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <sstream>

#include "engine/model/workbook.h"
#include "tests/support/golden_cells.h"

namespace plyfold::test {
namespace {

using namespace plyfold::engine;

class GoldenCases : public testing::TestWithParam<GoldenCase> {};

TEST_P(GoldenCases, InputGivesTheCellsOfItsDump) {
    const GoldenCase& golden = GetParam();
    std::vector<std::string> problems = checkGoldenCase(golden);
    std::string report;
    for (size_t i = 0; i < problems.size() && i < 25; ++i) {
        report += "  " + problems[i] + "\n";
    }
    EXPECT_TRUE(problems.empty()) << golden.folder << ": " << problems.size() << " differences:\n"
                                  << report;
}

INSTANTIATE_TEST_SUITE_P(Data, GoldenCases, testing::ValuesIn(goldenCases()),
                         [](const testing::TestParamInfo<GoldenCase>& param) {
                             return testNameOf(param.param);
                         });

// A folder moved or emptied by mistake would otherwise leave its cases silently untested.
TEST(GoldenCases, EveryFormatKeepsItsCases) {
    std::map<std::string, size_t> counts;
    for (const GoldenCase& golden : goldenCases()) {
        ++counts[golden.format];
    }
    const std::map<std::string, size_t> minimum = {
        {"csv", 5}, {"dbf", 11}, {"xls", 13}, {"xlsx", 41}};
    for (const auto& [format, least] : minimum) {
        EXPECT_GE(counts[format], least) << format;
    }
    EXPECT_EQ(counts.size(), minimum.size()) << "a format folder without its minimum here";
}

// The comparison itself, on a workbook built in memory: each kind of difference is reported
// as one line naming the cell, and a dump that agrees gives none.
std::unique_ptr<Workbook> smallWorkbook() {
    auto workbook = std::make_unique<Workbook>();
    Sheet& data = workbook->addSheet("Data");
    workbook->addSheet("Hidden").setVisibility(SheetVisibility::Hidden);
    CellStyle dateStyle;
    dateStyle.numberFormat = workbook->styles().addFormatCode("yyyy-mm-dd");
    Font bold;
    bold.bold = true;
    CellStyle boldStyle;
    boldStyle.font = workbook->styles().addFont(bold);

    Cell& text = data.cellAt({0, 0});
    text.type = CellType::Text;
    text.value.text = workbook->strings().intern("tab\there");
    Cell& date = data.cellAt({0, 1});
    date.type = CellType::Number;
    date.value.number = 45382.5;
    date.style = workbook->styles().addStyle(dateStyle);
    Cell& formula = data.cellAt({1, 0});
    formula.type = CellType::Boolean;
    formula.value.boolean = true;
    formula.formula = workbook->formulas().intern("A1<>\"\"") + 1;
    data.cellAt({1, 1}).style = workbook->styles().addStyle(boldStyle);  // formatting alone
    Cell& error = data.cellAt({2, 0});
    error.type = CellType::Error;
    error.value.error = ErrorValue::Div0;
    return workbook;
}

const char* const kAgreeing =
    "Data\tsheet\tvisible\n"
    "Hidden\tsheet\thidden\n"
    "Data!A1\tt\ttab\\there\n"
    "Data!B1\tn\t45382.5\tdate\n"
    "Data!A2\tf\tA1<>\"\"\n"
    "Data!A2\tb\tTRUE\n"
    "Data!A3\te\t#DIV/0!\n";

TEST(GoldenCells, ADumpThatAgreesGivesNoDifference) {
    auto workbook = smallWorkbook();
    EXPECT_EQ(compareWithDumpText(*workbook, kAgreeing), std::vector<std::string>{});
    // Without sheet lines the sheets are not compared.
    const std::string cellsOnly =
        std::string(kAgreeing).substr(std::strlen("Data\tsheet\tvisible\nHidden\tsheet\thidden\n"));
    EXPECT_EQ(compareWithDumpText(*workbook, cellsOnly), std::vector<std::string>{});
}

// Each fault drops one line of the agreeing dump (a number from 1, or 0 for none) and adds one
// at its end.
TEST(GoldenCells, EachDifferenceIsOneLineNamingTheCell) {
    struct Fault {
        int drop;
        const char* add;
        const char* report;
    };
    const Fault faults[] = {
        {3, "Data!A1\tt\ttab\\there!",
         "Data!A1 (line 7): got t 'tab\\there', expected t 'tab\\there!'"},
        {7, "Data!A3\tt\t#DIV/0!", "Data!A3 (line 7): got e #DIV/0!, expected t '#DIV/0!'"},
        {7, "Data!A3\tb\tFALSE", "Data!A3 (line 7): got e #DIV/0!, expected b FALSE"},
        {6, "Data!A2\tb\tFALSE", "Data!A2 (line 5): got b TRUE, expected b FALSE"},
        {4, "Data!B1\tn\t45382.6\tdate", "Data!B1 (line 7): got n 45382.5, expected n 45382.6"},
        {4, "Data!B1\tn\t45382.5",
         "Data!B1 (line 7): number format 'yyyy-mm-dd' is a date or time format"},
        {7, "Data!A3\te\t#DIV/0!\tdate",
         "Data!A3 (line 7): number format 'General' is not a date or time format"},
        {5, "Data!A2\tf\tA1=\"\"", "Data!A2 (line 5): formula 'A1<>\"\"', expected 'A1=\"\"'"},
        {5, "", "Data!A2 (line 5): formula 'A1<>\"\"', expected none"},
        {6, "", "Data!A2 (line 5): got b TRUE, expected no value"},
        {0, "Data!A9\tn\t1", "Data!A9 (line 8): missing, expected n 1"},
        {0, "Data!B2\tn\t1", "Data!B2 (line 8): got no value, expected n 1"},
        {7, "", "Data!A3: not in the dump: e #DIV/0!"},
        {0, "Gone!A1\tn\t1", "Gone!A1 (line 8): the workbook has no sheet 'Gone'"},
        {2, "Hidden\tsheet\tvisible", "sheet 2: 'Hidden' (hidden), expected 'Hidden' (visible)"},
        {2, "Hidden\tsheet\thidden\tchart",
         "sheet 2: 'Hidden' (hidden), expected 'Hidden' (hidden, chart)"},
        {2, "", "sheet 2: 'Hidden' is not in the dump"},
        {0, "Third\tsheet\tvisible", "sheet 3: missing, expected 'Third' (visible)"},
        {0, "Data!A1\ts\ttab", "line 8: not a sheet, a value or a formula: 'Data!A1\ts\ttab'"},
        {0, "Data!B1\tn\t4538x", "line 8: not a sheet, a value or a formula"},
        {0, "Data!B1\tn\t1\tbold", "line 8: not a sheet, a value or a formula"},
        {0, "Data!A1\tt\ttab\\there", "line 8: a second value for the cell"},
        {0, "Data!A2\tf\tA1", "line 8: a second formula for the cell"},
        {0, "A1\tn\t1", "line 8: no <sheet>!<cell>"},
        {0, "Data\tsheet\tshown", "line 8: unknown visibility"},
    };
    auto workbook = smallWorkbook();
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.report);
        std::string dump;
        std::istringstream lines(kAgreeing);
        int number = 0;
        for (std::string line; std::getline(lines, line);) {
            if (++number != fault.drop) {
                dump += line + "\n";
            }
        }
        dump += fault.add;
        std::vector<std::string> problems = compareWithDumpText(*workbook, dump);
        ASSERT_EQ(problems.size(), 1u) << testing::PrintToString(problems) << "\n" << dump;
        EXPECT_EQ(problems[0].rfind(fault.report, 0), 0u) << problems[0];
    }
}

TEST(GoldenCells, ACaseWithoutItsInputOrDumpSaysSo) {
    GoldenCase missing = goldenCase("xlsx", "no such case");
    std::vector<std::string> problems = checkGoldenCase(missing);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("no single input file"), std::string::npos) << problems[0];
}

}  // namespace
}  // namespace plyfold::test
