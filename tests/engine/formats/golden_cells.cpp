#include "golden_cells.h"

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

#include "engine/model/cell_ref.h"
#include "engine/ops/number_format.h"

namespace plyfold::test {
using namespace plyfold::engine;
namespace {

std::string unescape(const std::string& text) {
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

std::vector<std::string> split(const std::string& line, char separator) {
    std::vector<std::string> parts;
    std::stringstream stream(line);
    std::string part;
    while (std::getline(stream, part, separator)) {
        parts.push_back(part);
    }
    return parts;
}

std::string describe(const Workbook& workbook, const Cell& cell) {
    switch (cell.type) {
        case CellType::Number: {
            std::ostringstream out;
            out.precision(17);
            out << "n " << cell.value.number;
            return out.str();
        }
        case CellType::Text:
            return "t " + std::string(workbook.strings().text(cell.value.text));
        case CellType::Boolean:
            return cell.value.boolean ? "b TRUE" : "b FALSE";
        case CellType::Error:
            return "e " + std::string(errorText(cell.value.error));
        case CellType::Blank:
            return "blank";
    }
    return "?";
}

}  // namespace

std::string dataFolder(const std::string& format) {
    return std::string(PLYFOLD_SOURCE_DIR) + "/tests/data/" + format;
}

std::vector<std::string> compareWithCells(const Workbook& workbook, const std::string& cellsPath) {
    std::vector<std::string> problems;
    std::ifstream file(cellsPath);
    if (!file) {
        return {"cannot read " + cellsPath};
    }
    std::map<std::pair<int32_t, std::pair<int32_t, int32_t>>, bool> listed;
    std::string line;
    while (std::getline(file, line)) {
        if (line.empty()) {
            continue;
        }
        std::vector<std::string> parts = split(line, '\t');
        size_t bang = parts[0].rfind('!');
        if (parts.size() < 3 || bang == std::string::npos) {
            problems.push_back("bad line: " + line);
            continue;
        }
        std::string sheetName = parts[0].substr(0, bang);
        auto ref = parseCellName(parts[0].substr(bang + 1));
        int32_t index = -1;
        for (int32_t i = 0; i < workbook.sheetCount(); ++i) {
            if (workbook.sheet(i).name() == sheetName) {
                index = i;
            }
        }
        if (!ref || index < 0) {
            problems.push_back("no sheet or cell for: " + line);
            continue;
        }
        listed[{index, {ref->row, ref->column}}] = true;
        const Cell* cell = workbook.sheet(index).findCell(*ref);
        if (!cell) {
            problems.push_back(parts[0] + ": missing, expected " + parts[1] + " " + parts[2]);
            continue;
        }
        const std::string& type = parts[1];
        const std::string expected = type == "t" ? unescape(parts[2]) : parts[2];
        bool same = false;
        if (type == "n" && cell->type == CellType::Number) {
            double want = std::stod(expected);
            same = std::fabs(cell->value.number - want) <= 1e-9 * std::max(1.0, std::fabs(want));
        } else if (type == "t" && cell->type == CellType::Text) {
            same = workbook.strings().text(cell->value.text) == expected;
        } else if (type == "b" && cell->type == CellType::Boolean) {
            same = cell->value.boolean == (expected == "TRUE");
        } else if (type == "e" && cell->type == CellType::Error) {
            same = errorText(cell->value.error) == expected;
        }
        if (!same) {
            problems.push_back(parts[0] + ": got " + describe(workbook, *cell) + ", expected " +
                               type + " " + expected);
            continue;
        }
        const bool wantsDate = parts.size() > 3 && parts[3] == "date";
        std::string_view code =
            workbook.styles().formatCode(workbook.styles().style(cell->style).numberFormat);
        if (wantsDate != isDateTimeFormatCode(code)) {
            problems.push_back(parts[0] + ": number format '" + std::string(code) +
                               (wantsDate ? "' is not a date format" : "' is a date format"));
        }
    }
    for (int32_t i = 0; i < workbook.sheetCount(); ++i) {
        for (const Row& row : workbook.sheet(i).rows()) {
            for (const Cell& cell : row.cells) {
                if (!listed.count({i, {row.index, cell.column}})) {
                    problems.push_back(workbook.sheet(i).name() + "!" +
                                       cellName({row.index, cell.column}) + ": unexpected cell " +
                                       describe(workbook, cell));
                }
            }
        }
    }
    return problems;
}

}  // namespace plyfold::test
