#include "tests/support/golden_cells.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "engine/common/error.h"
#include "engine/io/workbook_io.h"
#include "engine/model/cell_ref.h"
#include "engine/ops/number_format.h"
#include "engine/ops/shared_formula.h"

namespace plyfold::test {
namespace {

namespace fs = std::filesystem;
using namespace plyfold::engine;

const std::set<std::string> kInputExtensions = {".xlsx", ".xlsm", ".xls", ".csv", ".txt", ".dbf"};

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string unescape(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            char next = text[++i];
            out.push_back(next == 'n' ? '\n' : next == 'r' ? '\r' : next == 't' ? '\t' : next);
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

std::vector<std::string_view> splitTabs(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    for (size_t tab = line.find('\t'); tab != std::string_view::npos;
         tab = line.find('\t', start)) {
        fields.push_back(line.substr(start, tab - start));
        start = tab + 1;
    }
    fields.push_back(line.substr(start));
    return fields;
}

std::string numberText(double number) {
    char buffer[32];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
    return std::string(buffer, result.ptr);
}

std::string visibilityName(SheetVisibility visibility) {
    switch (visibility) {
        case SheetVisibility::Visible:
            return "visible";
        case SheetVisibility::Hidden:
            return "hidden";
        case SheetVisibility::VeryHidden:
            return "veryHidden";
    }
    return "?";
}

struct ExpectedValue {
    char type = 0;  // n t b e
    std::string text;
    double number = 0.0;
    bool date = false;
};

struct ExpectedCell {
    int line = 0;
    std::optional<ExpectedValue> value;
    std::optional<std::string> formula;
};

struct ExpectedSheet {
    std::string name;
    std::string visibility;
    bool chart = false;
};

using CellKey = std::pair<std::string, std::pair<int32_t, int32_t>>;

struct Dump {
    std::vector<ExpectedSheet> sheets;
    std::vector<CellKey> order;  // as listed
    std::map<CellKey, ExpectedCell> cells;
    std::vector<std::string> problems;
};

std::string describe(const ExpectedValue& value) {
    switch (value.type) {
        case 'n':
            return "n " + numberText(value.number);
        case 't':
            return "t '" + dumpEscaped(value.text) + "'";
        default:
            return std::string(1, value.type) + " " + value.text;
    }
}

std::string describe(const Workbook& workbook, const Cell& cell) {
    switch (cell.type) {
        case CellType::Number:
            return "n " + numberText(cell.value.number);
        case CellType::Text:
            return "t '" + dumpEscaped(workbook.strings().text(cell.value.text)) + "'";
        case CellType::Boolean:
            return cell.value.boolean ? "b TRUE" : "b FALSE";
        case CellType::Error:
            return "e " + std::string(errorText(cell.value.error));
        case CellType::Blank:
            return "no value";
    }
    return "?";
}

bool sameValue(const Workbook& workbook, const Cell& cell, const ExpectedValue& expected) {
    switch (cell.type) {
        case CellType::Number: {
            double got = cell.value.number;
            return expected.type == 'n' &&
                   std::fabs(got - expected.number) <=
                       1e-9 * std::max(std::fabs(got), std::fabs(expected.number));
        }
        case CellType::Text:
            return expected.type == 't' &&
                   workbook.strings().text(cell.value.text) == expected.text;
        case CellType::Boolean:
            return expected.type == 'b' && (cell.value.boolean ? "TRUE" : "FALSE") == expected.text;
        case CellType::Error:
            return expected.type == 'e' && errorText(cell.value.error) == expected.text;
        case CellType::Blank:
            return false;
    }
    return false;
}

// Reads one value line's fields after the cell name; false when they are not well formed.
bool readValue(const std::vector<std::string_view>& fields, ExpectedValue& value) {
    const std::string_view type = fields[1];
    if (type.size() != 1 || std::string_view("ntbe").find(type[0]) == std::string_view::npos) {
        return false;
    }
    value.type = type[0];
    value.text = value.type == 't' ? unescape(fields[2]) : std::string(fields[2]);
    if (value.type == 'n') {
        const char* end = fields[2].data() + fields[2].size();
        auto [ptr, error] = std::from_chars(fields[2].data(), end, value.number);
        if (error != std::errc() || ptr != end) {
            return false;
        }
    } else if (value.type == 'b' && value.text != "TRUE" && value.text != "FALSE") {
        return false;
    }
    if (fields.size() > 3) {
        if (fields.size() > 4 || fields[3] != "date") {
            return false;
        }
        value.date = true;
    }
    return true;
}

Dump readDump(std::string_view text) {
    Dump dump;
    int lineNumber = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (line.empty()) {
            continue;
        }
        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        auto bad = [&](const std::string& why) {
            dump.problems.push_back(where + why + ": '" + std::string(line) + "'");
        };
        std::vector<std::string_view> fields = splitTabs(line);
        if (fields.size() < 3) {
            bad("fewer than three fields");
            continue;
        }
        if (fields[1] == "sheet") {
            ExpectedSheet sheet{unescape(fields[0]), std::string(fields[2]), false};
            if (sheet.visibility != "visible" && sheet.visibility != "hidden" &&
                sheet.visibility != "veryHidden") {
                bad("unknown visibility");
                continue;
            }
            if (fields.size() > 3) {
                if (fields.size() > 4 || fields[3] != "chart") {
                    bad("unknown sheet kind");
                    continue;
                }
                sheet.chart = true;
            }
            dump.sheets.push_back(std::move(sheet));
            continue;
        }
        const size_t bang = fields[0].rfind('!');
        std::optional<CellRef> ref;
        if (bang != std::string_view::npos) {
            ref = parseCellName(fields[0].substr(bang + 1));
        }
        if (!ref) {
            bad("no <sheet>!<cell>");
            continue;
        }
        const bool isFormula = fields[1] == "f";
        ExpectedValue value;
        if (isFormula ? fields.size() != 3 : !readValue(fields, value)) {
            bad(isFormula ? "a formula with a flag" : "not a sheet, a value or a formula");
            continue;
        }
        CellKey key{unescape(fields[0].substr(0, bang)), {ref->row, ref->column}};
        auto [it, added] = dump.cells.try_emplace(key);
        ExpectedCell& cell = it->second;
        if (added) {
            cell.line = lineNumber;
            dump.order.push_back(key);
        }
        if (isFormula ? cell.formula.has_value() : cell.value.has_value()) {
            bad(isFormula ? "a second formula for the cell" : "a second value for the cell");
        } else if (isFormula) {
            cell.formula = unescape(fields[2]);
        } else {
            cell.value = std::move(value);
        }
    }
    return dump;
}

void compareSheets(const Workbook& workbook, const Dump& dump, std::vector<std::string>& problems) {
    if (dump.sheets.empty()) {
        return;
    }
    const size_t count = static_cast<size_t>(workbook.sheetCount());
    for (size_t i = 0; i < std::max(count, dump.sheets.size()); ++i) {
        const std::string where = "sheet " + std::to_string(i + 1) + ": ";
        if (i >= dump.sheets.size()) {
            problems.push_back(where + "'" + workbook.sheet(static_cast<int32_t>(i)).name() +
                               "' is not in the dump");
            continue;
        }
        const ExpectedSheet& expected = dump.sheets[i];
        auto text = [](const std::string& name, const std::string& visibility, bool chart) {
            return "'" + dumpEscaped(name) + "' (" + visibility + (chart ? ", chart" : "") + ")";
        };
        const std::string wanted = text(expected.name, expected.visibility, expected.chart);
        if (i >= count) {
            problems.push_back(std::string(where).append("missing, expected ").append(wanted));
            continue;
        }
        const Sheet& sheet = workbook.sheet(static_cast<int32_t>(i));
        const std::string got =
            text(sheet.name(), visibilityName(sheet.visibility()), !sheet.isWorksheet());
        if (got != wanted) {
            problems.push_back(std::string(where).append(got).append(", expected ").append(wanted));
        }
    }
}

void compareCell(const Workbook& workbook, const std::string& where, const Cell& cell, CellRef at,
                 const ExpectedCell& expected, std::vector<std::string>& problems) {
    if (expected.value) {
        if (!sameValue(workbook, cell, *expected.value)) {
            problems.push_back(where + ": got " + describe(workbook, cell) + ", expected " +
                               describe(*expected.value));
        } else {
            std::string_view code =
                workbook.styles().formatCode(workbook.styles().style(cell.style).numberFormat);
            if (expected.value->date != isDateTimeFormatCode(code)) {
                problems.push_back(where + ": number format '" + std::string(code) +
                                   (expected.value->date ? "' is not a date or time format"
                                                         : "' is a date or time format"));
            }
        }
    } else if (cell.type != CellType::Blank) {
        problems.push_back(where + ": got " + describe(workbook, cell) + ", expected no value");
    }
    std::optional<std::string> formula;
    if (cell.hasFormula()) {
        formula = cellFormula(workbook, cell, at);
    }
    if (formula != expected.formula) {
        problems.push_back(
            where + ": formula " +
            (formula ? "'" + dumpEscaped(*formula) + "'" : std::string("none")) + ", expected " +
            (expected.formula ? "'" + dumpEscaped(*expected.formula) + "'" : std::string("none")));
    }
}

std::vector<std::string> compare(const Workbook& workbook, const Dump& dump) {
    std::vector<std::string> problems = dump.problems;
    compareSheets(workbook, dump, problems);
    std::map<std::string, int32_t> sheetIndex;
    for (int32_t i = 0; i < workbook.sheetCount(); ++i) {
        sheetIndex.emplace(workbook.sheet(i).name(), i);
    }
    std::set<std::string> missingSheets;
    for (const CellKey& key : dump.order) {
        const ExpectedCell& expected = dump.cells.at(key);
        const CellRef ref{key.second.first, key.second.second};
        const std::string where = dumpEscaped(key.first) + "!" + cellName(ref) + " (line " +
                                  std::to_string(expected.line) + ")";
        auto found = sheetIndex.find(key.first);
        if (found == sheetIndex.end()) {
            if (missingSheets.insert(key.first).second) {
                problems.push_back(where + ": the workbook has no sheet '" +
                                   dumpEscaped(key.first) + "'");
            }
            continue;
        }
        const Cell* cell = workbook.sheet(found->second).findCell(ref);
        if (!cell) {
            problems.push_back(where + ": missing, expected " +
                               (expected.value
                                    ? describe(*expected.value)
                                    : "formula '" + dumpEscaped(*expected.formula) + "'"));
            continue;
        }
        compareCell(workbook, where, *cell, ref, expected, problems);
    }
    for (int32_t i = 0; i < workbook.sheetCount(); ++i) {
        const Sheet& sheet = workbook.sheet(i);
        for (const Row& row : sheet.rows()) {
            for (const Cell& cell : row.cells) {
                if (cell.type == CellType::Blank && !cell.hasFormula() && cell.style != 0) {
                    continue;  // formatting alone: dumps list contents
                }
                const CellRef ref{row.index, cell.column};
                if (dump.cells.count({sheet.name(), {ref.row, ref.column}})) {
                    continue;
                }
                std::string what = describe(workbook, cell);
                if (cell.hasFormula()) {
                    what += ", formula '" + dumpEscaped(cellFormula(workbook, cell, ref)) + "'";
                }
                problems.push_back(dumpEscaped(sheet.name()) + "!" + cellName(ref) +
                                   ": not in the dump: " + what);
            }
        }
    }
    return problems;
}

std::string inputOf(const fs::path& folder) {
    std::string input;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const fs::path& path = entry.path();
        if (entry.is_regular_file() && path.stem() == "input" &&
            kInputExtensions.count(lowercase(path.extension().string()))) {
            if (!input.empty()) {
                return {};
            }
            input = path.string();
        }
    }
    return input;
}

}  // namespace

std::string dumpEscaped(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

void PrintTo(const GoldenCase& golden, std::ostream* out) {
    *out << golden.folder;
}

std::string goldenFolder(const std::string& format) {
    return std::string(PLYFOLD_GOLDEN_DATA) + "/" + format;
}

GoldenCase goldenCase(const std::string& format, const std::string& name) {
    GoldenCase golden{format, name, goldenFolder(format) + "/" + name, {}};
    if (fs::is_directory(golden.folder)) {
        golden.input = inputOf(golden.folder);
    }
    return golden;
}

std::vector<GoldenCase> goldenCases(const std::string& format) {
    std::vector<GoldenCase> cases;
    if (!fs::is_directory(goldenFolder(format))) {
        return cases;
    }
    for (const auto& entry : fs::directory_iterator(goldenFolder(format))) {
        if (!entry.is_directory()) {
            continue;
        }
        GoldenCase golden = goldenCase(format, entry.path().filename().string());
        if (!golden.input.empty() || fs::exists(golden.dump())) {
            cases.push_back(std::move(golden));
        }
    }
    std::sort(cases.begin(), cases.end(),
              [](const GoldenCase& a, const GoldenCase& b) { return a.name < b.name; });
    return cases;
}

std::vector<GoldenCase> goldenCases() {
    std::vector<std::string> formats;
    for (const auto& entry : fs::directory_iterator(PLYFOLD_GOLDEN_DATA)) {
        if (entry.is_directory()) {
            formats.push_back(entry.path().filename().string());
        }
    }
    std::sort(formats.begin(), formats.end());
    std::vector<GoldenCase> cases;
    for (const std::string& format : formats) {
        std::vector<GoldenCase> more = goldenCases(format);
        cases.insert(cases.end(), more.begin(), more.end());
    }
    return cases;
}

std::string testNameOf(const GoldenCase& golden) {
    std::string name = golden.format + "_";
    for (char c : golden.name) {
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    }
    return name;
}

std::vector<std::string> checkGoldenCase(const GoldenCase& golden) {
    if (golden.input.empty()) {
        return {golden.folder + ": no single input file (input.xlsx, input.xls, input.csv, ...)"};
    }
    std::ifstream file(golden.dump(), std::ios::binary);
    if (!file) {
        return {"cannot read " + golden.dump()};
    }
    std::stringstream text;
    text << file.rdbuf();
    try {
        std::unique_ptr<Workbook> workbook = openWorkbook(golden.input);
        std::vector<std::string> problems;
        for (int32_t i = 0; i < workbook->sheetCount(); ++i) {
            if (workbook->sheet(i).isWorksheet() && workbook->sheet(i).isLoaded()) {
                problems.push_back("sheet " + std::to_string(i + 1) +
                                   ": its cells were read when the workbook was opened");
            }
        }
        const Dump dump = readDump(text.str());
        if (dump.sheets.empty()) {
            problems.push_back(golden.dump() + " lists no sheets");
        }
        std::vector<std::string> differences = compare(*workbook, dump);
        problems.insert(problems.end(), differences.begin(), differences.end());
        return problems;
    } catch (const SpreadsheetError& error) {
        return {"error " + std::to_string(error.number()) + ": " + error.description()};
    }
}

std::vector<std::string> compareWithDump(const Workbook& workbook, const std::string& dumpPath) {
    std::ifstream file(dumpPath, std::ios::binary);
    if (!file) {
        return {"cannot read " + dumpPath};
    }
    std::stringstream text;
    text << file.rdbuf();
    return compareWithDumpText(workbook, text.str());
}

std::vector<std::string> compareWithDumpText(const Workbook& workbook, std::string_view dump) {
    return compare(workbook, readDump(dump));
}

}  // namespace plyfold::test
