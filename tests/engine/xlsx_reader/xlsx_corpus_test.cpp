// The reader against files made by real spreadsheet programs: every workbook of the corpus,
// and the cells of many of them compared with dumps made independently with openpyxl.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "engine/model/cell.h"
#include "engine/model/cell_ref.h"
#include "engine/common/error.h"
#include "engine/io/xlsx/xlsx_reader.h"

namespace plyfold::engine {
namespace {

namespace fs = std::filesystem;

struct ManifestEntry {
    std::string file;
    std::string exercises;
};

std::vector<ManifestEntry> workbooksOfManifest() {
    std::ifstream in(fs::path(PLYFOLD_CORPUS_DIR) / "MANIFEST.tsv");
    std::vector<ManifestEntry> entries;
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::stringstream stream(line);
        for (std::string field; std::getline(stream, field, '\t');) {
            fields.push_back(field);
        }
        if (fields.size() < 6) {
            continue;
        }
        std::string extension = fs::path(fields[0]).extension().string();
        bool ooxml = fields[4].starts_with("xlsx") || fields[4].starts_with("xlsm");
        if (ooxml && (extension == ".xlsx" || extension == ".xlsm")) {
            entries.push_back({fields[0], fields[5]});
        }
    }
    return entries;
}

// The number written just before " word" in the text ("4 sheets": 4), or -1.
int countBefore(const std::string& text, const std::string& word) {
    for (size_t at = text.find(" " + word); at != std::string::npos;
         at = text.find(" " + word, at + 1)) {
        size_t start = at;
        while (start > 0 && std::isdigit(static_cast<unsigned char>(text[start - 1]))) {
            --start;
        }
        if (start < at && (start == 0 || text[start - 1] == ' ' || text[start - 1] == '(')) {
            return std::stoi(text.substr(start, at - start));
        }
    }
    return -1;
}

// What follows "label" up to the next ";", or nullopt.
std::optional<std::string> fieldAfter(const std::string& text, const std::string& label) {
    size_t at = text.find(label);
    if (at == std::string::npos) {
        return std::nullopt;
    }
    at += label.size();
    return text.substr(at, text.find(';', at) - at);
}

TEST(XlsxCorpus, EveryWorkbookOpensOrFailsAsTheManifestSays) {
    std::vector<ManifestEntry> entries = workbooksOfManifest();
    ASSERT_GE(entries.size(), 50u);
    for (const ManifestEntry& entry : entries) {
        SCOPED_TRACE(entry.file);
        std::string path = (fs::path(PLYFOLD_CORPUS_DIR) / entry.file).string();
        bool encrypted = entry.exercises.starts_with("ENCRYPTED");
        bool broken =
            entry.exercises.starts_with("CORRUPT") || entry.exercises.starts_with("MALICIOUS");
        if (encrypted || broken) {
            try {
                auto workbook = readXlsx(path);
                for (int32_t i = 0; i < workbook->sheetCount(); ++i) {
                    workbook->sheet(i).ensureLoaded();
                }
                ADD_FAILURE() << "read without an error";
            } catch (const SpreadsheetError& error) {
                EXPECT_EQ(error.number(), static_cast<int>(ErrorNumber::ApplicationDefined));
                EXPECT_NE(error.description().find(path), std::string::npos) << error.description();
                if (encrypted) {
                    EXPECT_NE(error.description().find("protected by a password"),
                              std::string::npos)
                        << error.description();
                } else {
                    EXPECT_NE(error.description().find("not a valid spreadsheet file"),
                              std::string::npos)
                        << error.description();
                }
            }
            continue;
        }
        std::unique_ptr<Workbook> workbook;
        try {
            workbook = readXlsx(path);
            for (int32_t i = 0; i < workbook->sheetCount(); ++i) {
                workbook->sheet(i).ensureLoaded();
            }
        } catch (const SpreadsheetError& error) {
            ADD_FAILURE() << error.description();
            continue;
        }
        int sheets = countBefore(entry.exercises, "sheet");
        if (sheets >= 0) {
            EXPECT_EQ(workbook->sheetCount(), sheets);
        }
        int charts = std::max(countBefore(entry.exercises, "chartsheet"), 0) +
                     std::max(countBefore(entry.exercises, "dialogsheet"), 0);
        int hidden = 0;
        int veryHidden = 0;
        int nonWorksheets = 0;
        for (int32_t i = 0; i < workbook->sheetCount(); ++i) {
            const Sheet& sheet = workbook->sheet(i);
            hidden += sheet.visibility() == SheetVisibility::Hidden;
            veryHidden += sheet.visibility() == SheetVisibility::VeryHidden;
            nonWorksheets += !sheet.isWorksheet();
            EXPECT_TRUE(sheet.isLoaded());
        }
        EXPECT_EQ(nonWorksheets, charts);
        if (std::optional<std::string> states = fieldAfter(entry.exercises, "hidden: ")) {
            std::string listed = ", " + *states + ",";
            EXPECT_EQ(hidden > 0, listed.find(" hidden,") != std::string::npos) << listed;
            EXPECT_EQ(veryHidden > 0, listed.find("veryHidden") != std::string::npos) << listed;
        } else {
            EXPECT_EQ(hidden + veryHidden, 0);
        }
    }
}

// One cell of a dump: a value, a formula or both.
struct DumpedCell {
    char type = 0;  // n s b e, or 0 for a formula without a cached value
    std::string value;
    std::optional<std::string> formula;
};

std::string unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            char c = text[++i];
            out.push_back(c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c);
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

using Dump = std::map<std::pair<std::string, std::string>, DumpedCell>;

Dump readDump(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    Dump dump;
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        size_t start = 0;
        for (int i = 0; i < 3; ++i) {
            size_t tab = line.find('\t', start);
            fields.push_back(line.substr(start, tab - start));
            start = tab + 1;
        }
        fields.push_back(line.substr(start));
        DumpedCell& cell = dump[{fields[0], fields[1]}];
        if (fields[2] == "f") {
            cell.formula = unescape(fields[3]);
        } else {
            cell.type = fields[2][0];
            cell.value = unescape(fields[3]);
        }
    }
    return dump;
}

// The cell as the dump writes it, or a type of 0 when it has no value.
DumpedCell engineCell(const Workbook& workbook, const Cell& cell) {
    DumpedCell out;
    switch (cell.type) {
        case CellType::Blank:
            break;
        case CellType::Number:
            out.type = 'n';
            break;
        case CellType::Text:
            out.type = 's';
            out.value = std::string(workbook.strings().text(cell.value.text));
            break;
        case CellType::Boolean:
            out.type = 'b';
            out.value = cell.value.boolean ? "TRUE" : "FALSE";
            break;
        case CellType::Error:
            out.type = 'e';
            out.value = std::string(errorText(cell.value.error));
            break;
    }
    if (cell.hasFormula()) {
        out.formula = std::string(workbook.formulas().text(cell.formulaId()));
    }
    return out;
}

bool sameNumber(double a, double b) {
    return a == b || std::fabs(a - b) <= 1e-9 * std::max(std::fabs(a), std::fabs(b));
}

class XlsxGolden : public testing::TestWithParam<std::string> {};

TEST_P(XlsxGolden, CellsMatchTheIndependentDump) {
    const std::string& name = GetParam();
    fs::path corpus(PLYFOLD_CORPUS_DIR);
    fs::path workbookPath = corpus / (name + ".xlsx");
    if (!fs::exists(workbookPath)) {
        workbookPath = corpus / (name + ".xlsm");
    }
    Dump dump = readDump(fs::path(PLYFOLD_SOURCE_DIR) / "tests/data/xlsx" / name / "cells.txt");
    ASSERT_FALSE(dump.empty());
    auto workbook = readXlsx(workbookPath.string());

    std::vector<std::string> problems;
    auto problem = [&](const std::string& where, const std::string& what) {
        problems.push_back(where + ": " + what);
    };
    size_t compared = 0;
    for (int32_t i = 0; i < workbook->sheetCount(); ++i) {
        const Sheet& sheet = workbook->sheet(i);
        if (!sheet.isWorksheet()) {
            continue;
        }
        for (const Row& row : sheet.rows()) {
            for (const Cell& cell : row.cells) {
                DumpedCell got = engineCell(*workbook, cell);
                if (got.type == 0 && !got.formula) {
                    continue;
                }
                std::string ref = cellName({row.index, cell.column});
                std::string where = sheet.name() + "!" + ref;
                auto it = dump.find({sheet.name(), ref});
                if (it == dump.end() ||
                    (it->second.type == 0 && got.type == 's' && got.value.empty())) {
                    // openpyxl takes an empty <v></v> for no value, where the engine keeps
                    // the empty text a formula gave.
                    if (got.type == 's' && got.value.empty()) {
                        got.type = 0;
                        if (!got.formula) {
                            if (it != dump.end()) {
                                dump.erase(it);
                            }
                            continue;
                        }
                    }
                }
                if (it == dump.end()) {
                    problem(where, "read by the engine, not in the dump");
                    continue;
                }
                DumpedCell expected = it->second;
                dump.erase(it);
                ++compared;
                if (got.type != expected.type) {
                    problem(where, std::string("type '") + got.type + "' instead of '" +
                                       expected.type + "' (" + expected.value + ")");
                } else if (got.type == 'n') {
                    double want = std::stod(expected.value);
                    if (!sameNumber(cell.value.number, want)) {
                        problem(where, std::to_string(cell.value.number) + " instead of " +
                                           expected.value);
                    }
                } else if (got.value != expected.value) {
                    problem(where, "'" + got.value + "' instead of '" + expected.value + "'");
                }
                if (got.formula != expected.formula) {
                    problem(where, "formula '" + got.formula.value_or("(none)") + "' instead of '" +
                                       expected.formula.value_or("(none)") + "'");
                }
            }
        }
    }
    for (const auto& [key, cell] : dump) {
        problem(key.first + "!" + key.second, "in the dump, not read by the engine");
    }
    EXPECT_GT(compared, 0u);
    std::string report;
    for (size_t i = 0; i < problems.size() && i < 25; ++i) {
        report += problems[i] + "\n";
    }
    EXPECT_TRUE(problems.empty()) << problems.size() << " differences:\n" << report;
}

std::vector<std::string> goldenCases() {
    std::vector<std::string> cases;
    for (const auto& entry :
         fs::directory_iterator(fs::path(PLYFOLD_SOURCE_DIR) / "tests/data/xlsx")) {
        if (entry.is_directory() && fs::exists(entry.path() / "cells.txt")) {
            cases.push_back(entry.path().filename().string());
        }
    }
    std::sort(cases.begin(), cases.end());
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Corpus, XlsxGolden, testing::ValuesIn(goldenCases()),
                         [](const testing::TestParamInfo<std::string>& param) {
                             std::string name;
                             for (char c : param.param) {
                                 name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             }
                             return name;
                         });

TEST(XlsxGolden, EnoughWorkbooksHaveDumps) {
    EXPECT_GE(goldenCases().size(), 30u);
}

}  // namespace
}  // namespace plyfold::engine
