#pragma once

#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace plyfold::engine {
class Workbook;
}

namespace plyfold::test {

// A cell of a test grid: empty, a number, a text, or a formula (text beginning with "=").
using GridValue = std::variant<std::monostate, double, std::string>;
using Grid = std::vector<std::vector<GridValue>>;
using NamedGrids = std::vector<std::pair<std::string, Grid>>;

// Writes a workbook file of named sheets, each grid with its top-left cell at topLeft.
void writeGridWorkbook(const std::string& path, const NamedGrids& sheets,
                       const std::string& topLeft = "A1");

// A grid of texts tagged by row and column: tag11, tag12, ...
Grid taggedGrid(const std::string& tag, int rows, int columns);

// The sheet as text: one line a row up to its last used row, cells separated by "|",
// numbers in their shortest form, formulas as "=...".
std::vector<std::string> sheetRows(const engine::Workbook& book, int sheetIndex);

}  // namespace plyfold::test
