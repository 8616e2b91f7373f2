#include <charconv>
#include <cmath>
#include <string>

#include "engine/common/atomic_file.h"
#include "engine/common/error.h"
#include "engine/common/file_access.h"
#include "engine/io/save_atomically.h"
#include "engine/io/workbook_io.h"
#include "engine/ops/number_format.h"

namespace plyfold::engine {
namespace {

constexpr size_t kFlushSize = size_t{256} * 1024;
// Spreadsheet programs take a file without it to be in the local code page.
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

void appendField(std::string& out, std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        out.append(text);
        return;
    }
    out.push_back('"');
    for (char c : text) {
        if (c == '"') {
            out.push_back('"');
        }
        out.push_back(c);
    }
    out.push_back('"');
}

void appendCommas(std::string& out, int32_t count) {
    if (count > 0) {
        out.append(static_cast<size_t>(count), ',');
    }
}

// The stored value of a cell (for a formula, its last result): numbers and dates in the
// shortest text that reads back as the same double.
void appendRawValue(std::string& out, const Workbook& workbook, const Cell& cell) {
    switch (cell.type) {
        case CellType::Blank:
            return;
        case CellType::Number: {
            double number = cell.value.number;
            if (!std::isfinite(number)) {
                out.append(errorText(ErrorValue::Num));
                return;
            }
            if (number == 0.0) {
                number = 0.0;  // no "-0"
            }
            char digits[32];
            auto [end, ec] = std::to_chars(digits, digits + sizeof digits, number);
            (void)ec;  // 32 characters hold any double
            out.append(digits, end);
            return;
        }
        case CellType::Boolean:
            out.append(cell.value.boolean ? "TRUE" : "FALSE");
            return;
        case CellType::Error:
            out.append(errorText(cell.value.error));
            return;
        case CellType::Text:
            appendField(out, workbook.strings().text(cell.value.text));
            return;
    }
}

// The sheet from A1 to the end of its used range, every line as wide as the range, so the
// cells come back at the same places when the file is read again.
void writeCsv(const Sheet& sheet, CsvValues values, files::AtomicFile& file) {
    std::string buffer(kUtf8Mark);
    buffer.reserve(kFlushSize + 4096);
    const auto used = sheet.usedRange();
    if (used) {
        DisplayFormatter formatter(sheet.workbook());
        const int32_t lastColumn = used->last.column;
        int32_t nextRow = 0;
        for (const Row& row : sheet.rows()) {
            if (row.cells.empty()) {
                continue;
            }
            for (; nextRow < row.index; ++nextRow) {
                appendCommas(buffer, lastColumn);
                buffer.append("\r\n");
            }
            int32_t commas = 0;
            for (const Cell& cell : row.cells) {
                appendCommas(buffer, cell.column - commas);
                commas = cell.column;
                if (values == CsvValues::Raw) {
                    appendRawValue(buffer, sheet.workbook(), cell);
                } else {
                    appendField(buffer, formatter.text(cell));
                }
            }
            appendCommas(buffer, lastColumn - commas);
            buffer.append("\r\n");
            nextRow = row.index + 1;
            if (buffer.size() >= kFlushSize) {
                file.write(buffer.data(), buffer.size());
                buffer.clear();
            }
        }
    }
    file.write(buffer.data(), buffer.size());
}

}  // namespace

void saveSheetAsCsv(const Sheet& sheet, const std::string& path, CsvValues values) {
    saveAtomically(path,
                   [&sheet, values](files::AtomicFile& file) { writeCsv(sheet, values, file); });
}

}  // namespace plyfold::engine
