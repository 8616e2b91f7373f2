#include <new>
#include <string>

#include "engine/common/atomic_file.h"
#include "engine/common/error.h"
#include "engine/common/file_access.h"
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

// The sheet from A1 to the end of its used range, every line as wide as the range, so the
// cells come back at the same places when the file is read again.
void writeCsv(const Sheet& sheet, files::AtomicFile& file) {
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
                appendField(buffer, formatter.text(cell));
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

void saveSheetAsCsv(const Sheet& sheet, const std::string& path) {
    auto failure = [&path](ErrorNumber number, const std::string& why) {
        return SpreadsheetError(number, "Cannot save '" + path + "': " + why);
    };
    try {
        files::AtomicFile file(path);
        writeCsv(sheet, file);
        file.commit();
    } catch (const files::FileError& e) {
        // A failure of the target already says so; one of a source read on the way does not.
        if (e.path() == path) {
            throw;
        }
        throw failure(static_cast<ErrorNumber>(e.number()), e.description());
    } catch (const SpreadsheetError& e) {
        throw failure(static_cast<ErrorNumber>(e.number()), e.description());
    } catch (const std::bad_alloc&) {
        throw failure(ErrorNumber::OutOfMemory, "out of memory.");
    } catch (const std::exception& e) {
        throw failure(ErrorNumber::ApplicationDefined, std::string(e.what()) + ".");
    }
}

}  // namespace plyfold::engine
