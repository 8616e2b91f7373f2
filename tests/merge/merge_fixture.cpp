#include "tests/merge/merge_fixture.h"

#include <charconv>

#include "engine/cell_ref.h"
#include "engine/workbook_io.h"

namespace plyfold::test {

MergeTest::MergeTest() {
    form.messages = &messages;
    form.Check2.setValue(1);
    form.ProgressBar1.setChangeHandler([this] {
        if (form.ProgressBar1.value() != 0) {
            progress.push_back(form.ProgressBar1.value());
        }
    });
}

std::string MergeTest::writeBook(const std::string& name,
                                 const std::vector<std::pair<std::string, Grid>>& sheets,
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
                engine::Cell& cell = sheet.cellAt(
                    {origin.row + static_cast<int32_t>(r), origin.column + static_cast<int32_t>(c)});
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
    std::string path = dir.file(name);
    engine::saveWorkbook(book, path);
    return path;
}

void MergeTest::queue(const std::string& path, const std::string& sheet, bool checked) {
    int row = form.ListView4.add(path);
    form.ListView4.setChecked(row, checked);
    form.ListView4.setSubItem(row, sheet);
}

const engine::Workbook& MergeTest::resultBook() const {
    if (!presenter.server || presenter.server->workbooks().empty()) {
        throw std::runtime_error("no result was presented");
    }
    return *presenter.server->workbooks().front();
}

std::vector<std::string> MergeTest::resultRows(int sheetIndex) const {
    const engine::Workbook& book = resultBook();
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
                line += "=" + std::string(book.formulas().text(cell->formulaId()));
            } else if (cell->type == engine::CellType::Number) {
                char buffer[32];
                auto end = std::to_chars(buffer, buffer + sizeof buffer, cell->value.number).ptr;
                line.append(buffer, end);
            } else if (cell->type == engine::CellType::Text) {
                line += book.strings().text(cell->value.text);
            }
        }
        rows.push_back(line);
    }
    return rows;
}

}  // namespace plyfold::test
