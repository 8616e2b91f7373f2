#include "tests/support/grid_workbook.h"

#include <charconv>

#include "engine/io/workbook_io.h"
#include "engine/model/cell_ref.h"
#include "engine/model/workbook.h"
#include "engine/ops/shared_formula.h"

namespace plyfold::test {

void writeGridWorkbook(const std::string& path, const NamedGrids& sheets,
                       const std::string& topLeft) {
    engine::Workbook book;
    engine::CellRef origin = *engine::parseCellName(topLeft);
    for (const auto& [sheetName, grid] : sheets) {
        engine::Sheet& sheet = book.addSheet(sheetName);
        for (size_t r = 0; r < grid.size(); ++r) {
            for (size_t c = 0; c < grid[r].size(); ++c) {
                const GridValue& value = grid[r][c];
                if (std::holds_alternative<std::monostate>(value)) {
                    continue;
                }
                engine::Cell& cell = sheet.cellAt({origin.row + static_cast<int32_t>(r),
                                                   origin.column + static_cast<int32_t>(c)});
                if (const double* number = std::get_if<double>(&value)) {
                    cell.type = engine::CellType::Number;
                    cell.value.number = *number;
                } else if (const std::string& text = std::get<std::string>(value);
                           !text.empty() && text[0] == '=') {
                    cell.formula = book.formulas().intern(text.substr(1)) + 1;
                    cell.type = engine::CellType::Number;
                    cell.value.number = 0;
                } else {
                    cell.type = engine::CellType::Text;
                    cell.value.text = book.strings().intern(text);
                }
            }
        }
    }
    engine::saveWorkbook(book, path);
}

Grid taggedGrid(const std::string& tag, int rows, int columns) {
    Grid grid;
    for (int r = 1; r <= rows; ++r) {
        std::vector<GridValue> row;
        for (int c = 1; c <= columns; ++c) {
            row.emplace_back(tag + std::to_string(r) + std::to_string(c));
        }
        grid.push_back(row);
    }
    return grid;
}

std::vector<std::string> sheetRows(const engine::Workbook& book, int sheetIndex) {
    const engine::Sheet& sheet = book.sheet(sheetIndex);
    std::vector<std::string> rows;
    auto used = sheet.usedRange();
    if (!used) {
        return rows;
    }
    for (int32_t r = 0; r <= used->last.row; ++r) {
        std::string line;
        for (int32_t c = 0; c <= used->last.column; ++c) {
            if (c > 0) {
                line += '|';
            }
            const engine::Cell* cell = sheet.findCell({r, c});
            if (!cell) {
                continue;
            }
            if (cell->hasFormula()) {
                line += "=" + engine::cellFormula(book, *cell, {r, c});
            } else if (cell->type == engine::CellType::Number) {
                char buffer[32];
                auto end = std::to_chars(buffer, buffer + sizeof buffer, cell->value.number).ptr;
                line.append(buffer, end);
            } else if (cell->type == engine::CellType::Text) {
                line += book.strings().text(cell->value.text);
            } else if (cell->type == engine::CellType::Boolean) {
                line += cell->value.boolean ? "TRUE" : "FALSE";
            }
        }
        rows.push_back(line);
    }
    return rows;
}

}  // namespace plyfold::test
