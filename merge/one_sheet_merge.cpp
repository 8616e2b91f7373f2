#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "automation/automation.h"
#include "engine/model/cell_ref.h"
#include "engine/model/limits.h"
#include "merge/header_match.h"
#include "merge/merge_procedure.h"

namespace plyfold::merge::detail {
namespace {

using automation::Range;
using automation::Worksheet;

enum class Axis { Rows, Columns };

constexpr int32_t kLastColumnIndex = engine::kMaxColumns - 1;

// The header of the column (or row) naming each block's source.
const std::string kSourceHeader = "Source";

// next + gap + 1 without overflow; a position past the sheet makes the next paste fail.
int32_t advance(int32_t next, int32_t gap) {
    int64_t position = int64_t{next} + std::max(gap, 0) + 1;
    return static_cast<int32_t>(std::min<int64_t>(position, std::numeric_limits<int32_t>::max()));
}

// Stacks the used range of every queued worksheet on one new sheet, one under another (rows)
// or side by side (columns).
class OneSheetMerge : public MergeProcedure {
public:
    OneSheetMerge(const MergeRequest& request, Axis axis) : MergeProcedure(request), m_axis(axis) {}

private:
    void merge() override {
        automation::Workbook resultBook = startServer();
        m_server->setVisible(false);
        m_sheet = resultBook.Worksheets()(1);
        for (int32_t k = resultBook.Sheets().count(); k >= 2; --k) {
            resultBook.Sheets()(k).Delete();
        }
        m_walk.forEachSheet(*m_server,
                            [this](const Worksheet& source) { return copyBlock(source); });
        finish();
    }

    // The last used row (or column) of the result sheet: its used range's row (or column)
    // count, since that range starts at the first cell.
    int32_t lastUsedLine() const {
        return m_axis == Axis::Rows ? m_sheet->lastUsedRow() : m_sheet->lastUsedColumn();
    }

    BlockSize copyBlock(const Worksheet& source) {
        // An empty sheet's used range is A1 all the same: pasted, it would take the first
        // block's place (a blank header row, the next block's header dropped) or a gap.
        if (!source.hasCells()) {
            return BlockSize{0, 0};
        }
        const Range used = source.UsedRange();
        const int32_t usedRows = used.Cells().Rows().count();
        const int32_t columns = used.Cells().Columns().count();
        const int32_t headerRow = std::max(m_request.headerRow, 1);
        if (headerRow > usedRows) {
            return BlockSize{0, 0};  // nothing below the titles
        }
        const bool vertical = m_axis == Axis::Rows;
        if (vertical && m_request.matchHeaders) {
            return copyMatched(source, used, headerRow, usedRows, columns);
        }
        if (vertical && (m_request.dropFirstLine || headerRow > 1)) {
            noteHeaderDifference(headerTexts(used, headerRow, columns));
        }
        const int32_t blockRows = usedRows - headerRow + 1;
        const Range block = source.Range(used.Cells(headerRow, 1).Address(),
                                         used.Cells(usedRows, columns).Address());
        block.Copy();
        noteObjectsLeftBehind(source, block);
        const bool firstBlock = m_firstBlock;
        const int32_t at = m_next;
        const bool dropped = paste(vertical ? blockRows : columns);
        nameSource(at, firstBlock && m_request.dropFirstLine);
        const int32_t lost = dropped ? 1 : 0;
        return vertical ? BlockSize{blockRows - lost, columns}
                        : BlockSize{blockRows, columns - lost};
    }

    // Vertical merge by header: the block's columns go under their headers; headers the result
    // lacks are added to its header row (the first block's).
    BlockSize copyMatched(const Worksheet& source, const Range& used, int32_t headerRow,
                          int32_t usedRows, int32_t columns) {
        const std::vector<std::string> headers = headerTexts(used, headerRow, columns);
        const int32_t known = m_headers.columnCount();
        std::vector<int32_t> targets = m_headers.place(headers);
        for (int32_t& column : targets) {
            column += firstDataLine();
        }
        if (!m_firstBlock) {
            addHeaders(used, headerRow, targets, known);
        }
        const int32_t firstRow = headerRow + (!m_firstBlock && m_request.dropFirstLine ? 1 : 0);
        const int32_t rows = usedRows - firstRow + 1;
        if (rows <= 0) {
            return BlockSize{0, columns};
        }
        const Range block = source.Range(used.Cells(firstRow, 1).Address(),
                                         used.Cells(usedRows, columns).Address());
        block.Copy();
        noteObjectsLeftBehind(source, block);
        checkBlockFits(rows);
        const bool firstBlock = m_firstBlock;
        const int32_t at = m_next;
        m_sheet->Cells(at, 1).PasteColumns(targets);
        m_firstBlock = false;
        m_next = advance(lastUsedLine(), m_request.gap);
        nameSource(at, firstBlock);
        return BlockSize{rows, columns};
    }

    // The header cells of a later block's columns that the result did not have (placed from
    // column `known` on) are copied, with their formats, into the result's header row: its
    // first row, where the first block landed.
    void addHeaders(const Range& used, int32_t headerRow, const std::vector<int32_t>& targets,
                    int32_t known) {
        for (size_t i = 0; i < targets.size(); ++i) {
            if (targets[i] - firstDataLine() >= known) {
                used.Cells(headerRow, static_cast<int32_t>(i) + 1).Copy();
                m_sheet->Cells(1, targets[i]).PasteSpecial();
            }
        }
    }

    // The texts a block's header row shows, one per column.
    static std::vector<std::string> headerTexts(const Range& used, int32_t headerRow,
                                                int32_t columns) {
        std::vector<std::string> headers;
        headers.reserve(static_cast<size_t>(columns));
        for (int32_t column = 1; column <= columns; ++column) {
            headers.push_back(used.Cells(headerRow, column).Text());
        }
        return headers;
    }

    // Remembers the current block when its header row differs from the first block's.
    void noteHeaderDifference(std::vector<std::string> headers) {
        if (!m_firstHeaders) {
            m_firstHeaders = std::move(headers);
            return;
        }
        std::string difference = headerDifference(*m_firstHeaders, headers);
        const QueueRow* row = m_walk.currentRow();
        if (!difference.empty() && row) {
            m_headerDifferences.push_back(HeaderDifference{row->path, row->sheet, difference});
        }
    }

    // A paste takes the objects anchored in its block; the others stay in the source.
    void noteObjectsLeftBehind(const Worksheet& source, const Range& block) {
        if (const int32_t outside = block.drawnObjectsOutside(); outside > 0) {
            m_walk.noteLeftBehind(
                source.name(),
                std::to_string(outside) +
                    (outside == 1 ? " picture, shape or chart" : " pictures, shapes or charts") +
                    " outside the merged cells");
        }
    }

    // The first column (vertical) or row (horizontal) that blocks are pasted at: the second
    // when the first names the sources.
    int32_t firstDataLine() const { return m_request.sourceColumn ? 2 : 1; }

    // With a source column (or row), names the current row's file and sheet beside every line
    // of the block pasted from line `from` on; a block that starts with the result's header
    // line has "Source" there, formatted as the header beside it.
    void nameSource(int32_t from, bool startsWithHeader) {
        const QueueRow* row = m_walk.currentRow();
        const int32_t to = lastUsedLine();
        if (!m_request.sourceColumn || !row || to < from) {
            return;
        }
        const bool vertical = m_axis == Axis::Rows;
        auto cell = [&](int32_t line, int32_t across) {
            return vertical ? m_sheet->Cells(line, across) : m_sheet->Cells(across, line);
        };
        if (startsWithHeader) {
            cell(from, 2).Copy();
            cell(from, 1).PasteSpecial();
            cell(from, 1).setValue(kSourceHeader);
            ++from;
        }
        if (from <= to) {
            const std::string name =
                std::filesystem::path(row->path).filename().string() + ":" + row->sheet;
            m_sheet->Range(cell(from, 1).Address(), cell(to, 1).Address()).setValue(name);
        }
    }

    // A block reaching past the sheet's last row (or column) cannot be pasted; said in terms
    // of the result, since the failed paste itself can only name the result sheet's cells.
    void checkBlockFits(int32_t blockSize) const {
        const bool rows = m_axis == Axis::Rows;
        const int64_t last = rows ? engine::kMaxRows : engine::kMaxColumns;
        if (int64_t{m_next} + blockSize - 1 <= last) {
            return;
        }
        const std::string unit = rows ? "rows" : "columns";
        const std::string lastName = rows ? "row (" + std::to_string(last) + ")"
                                          : "column (" + engine::columnName(kLastColumnIndex) + ")";
        throw SpreadsheetError(ErrorNumber::ApplicationDefined,
                               "Its block of " + std::to_string(blockSize) + " " + unit +
                                   " does not fit in the result: it would start at " +
                                   unit.substr(0, unit.size() - 1) + " " + std::to_string(m_next) +
                                   " and reach past the last " + lastName + ".");
    }

    // Pastes the held block at the next free line; true when its first line was dropped.
    bool paste(int32_t blockSize) {
        checkBlockFits(blockSize);
        const int32_t usedBefore = lastUsedLine();
        const int32_t across = firstDataLine();
        Range target =
            m_axis == Axis::Rows ? m_sheet->Cells(m_next, across) : m_sheet->Cells(across, m_next);
        target.PasteSpecial();
        m_next = lastUsedLine();
        bool dropped = false;
        if (m_request.dropFirstLine && !m_firstBlock) {
            const int32_t blockStart = m_next - blockSize + 1;
            if (m_next - usedBefore > 0 && blockStart > 0) {
                Range line =
                    m_axis == Axis::Rows ? m_sheet->Rows(blockStart) : m_sheet->Columns(blockStart);
                line.Delete();
                m_next = lastUsedLine();
                dropped = true;
            }
        }
        m_firstBlock = false;
        m_next = advance(m_next, m_request.gap);
        return dropped;
    }

    void finish() {
        m_server->setCutCopyMode(false);
        m_walk.closeLastSource();
        m_server->setVisible(true);
        m_sheet->Cells(1, 1).Select();
        if (m_request.autofit) {
            m_sheet->Columns().AutoFit();
        }
        m_server->setDisplayAlerts(true);
    }

    Axis m_axis;
    std::optional<Worksheet> m_sheet;
    int32_t m_next = 1;
    bool m_firstBlock = true;
    // Matching by header: the result's columns so far.
    HeaderUnion m_headers;
    // By position: the first block's headers, which the others are compared with.
    std::optional<std::vector<std::string>> m_firstHeaders;
};

}  // namespace

MergeOutcome mergeToOneSheet(const MergeRequest& request) {
    OneSheetMerge merge(request, request.mode == MergeMode::Vertical ? Axis::Rows : Axis::Columns);
    return merge.run();
}

}  // namespace plyfold::merge::detail
