#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "engine/model/workbook.h"

namespace plyfold::test {

// A golden case: the folder tests/data/<format>/<name>/ holding one input file, named
// input.<ext> (.xlsx, .xlsm, .xls, .csv, .txt or .dbf, in any case; files it needs beside it,
// such as input.dbt, may follow), and cells.txt, a dump of what a reader must give for it,
// written independently of the readers (tests/data/README.md tells by what).
//
// cells.txt holds one line a sheet or a cell, fields separated by tabs:
//   <sheet> TAB sheet TAB visible|hidden|veryHidden [TAB chart]
//   <sheet>!<cell> TAB n|t|b|e TAB <value> [TAB date]
//   <sheet>!<cell> TAB f TAB <formula, without "=">
// Sheet lines, when there are any, list every sheet of the workbook in order ("chart" for one
// that is not a worksheet). A value line gives a number (n), a text (t), TRUE or FALSE (b) or
// an error text (e); "date" asks for a date or time number format, and its absence for any
// other. A formula cell has an f line, and a value line when it holds a cached result.
// Backslash, tab, CR and LF in sheet names, texts and formulas are written \\, \t, \r and \n.
// Every cell the reader stores must be listed, except blank cells that hold only a style.
struct GoldenCase {
    std::string format;
    std::string name;
    std::string folder;
    std::string input;  // the path of the input file; empty when the folder has none or several

    std::string dump() const { return folder + "/cells.txt"; }
};

// Prints the case as its folder, for test reports.
void PrintTo(const GoldenCase& golden, std::ostream* out);

// tests/data/<format>.
std::string goldenFolder(const std::string& format);

// The case tests/data/<format>/<name>; its input is empty when it has none.
GoldenCase goldenCase(const std::string& format, const std::string& name);

// Every case of a format, or of every format, sorted by format and name: each folder under
// tests/data/<format>/ that holds a cells.txt or an input file.
std::vector<GoldenCase> goldenCases(const std::string& format);
std::vector<GoldenCase> goldenCases();

// A text as dumps write it: backslash, tab, CR and LF as \\, \t, \r and \n.
std::string dumpEscaped(std::string_view text);

// "xlsx_calamine__date": a name fit for a parameterised test.
std::string testNameOf(const GoldenCase& golden);

// Opens the case's input with the engine and compares it with the dump, whose sheet lines
// are required here. Also checks that opening read no worksheet's cells. One readable line per
// difference; empty when they agree.
std::vector<std::string> checkGoldenCase(const GoldenCase& golden);

// Compares a workbook with a dump file, or with the text of one; one line per difference.
std::vector<std::string> compareWithDump(const engine::Workbook& workbook,
                                         const std::string& dumpPath);
std::vector<std::string> compareWithDumpText(const engine::Workbook& workbook,
                                             std::string_view dump);

}  // namespace plyfold::test
