#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "automation/automation.h"
#include "engine/model/cell_ref.h"
#include "engine/model/limits.h"
#include "merge/merge_procedure.h"

namespace plyfold::merge::detail {
namespace {

using automation::Range;
using automation::Worksheet;

enum class Axis { Rows, Columns };

constexpr int32_t kLastColumnIndex = engine::kMaxColumns - 1;

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
        Range used = source.UsedRange();
        const int32_t blockRows = used.Cells().Rows().count();
        const int32_t blockColumns = used.Cells().Columns().count();
        const Range block =
            source.Range(used.Cells(1, 1).Address(), used.Cells(blockRows, blockColumns).Address());
        block.Copy();
        // A paste takes the objects anchored in its block; the others stay in the source.
        if (const int32_t outside = block.drawnObjectsOutside(); outside > 0) {
            m_walk.noteLeftBehind(
                source.name(),
                std::to_string(outside) +
                    (outside == 1 ? " picture, shape or chart" : " pictures, shapes or charts") +
                    " outside the merged cells");
        }
        const bool dropped = paste(m_axis == Axis::Rows ? blockRows : blockColumns);
        const int32_t lost = dropped ? 1 : 0;
        return m_axis == Axis::Rows ? BlockSize{blockRows - lost, blockColumns}
                                    : BlockSize{blockRows, blockColumns - lost};
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
        Range target = m_axis == Axis::Rows ? m_sheet->Cells(m_next, 1) : m_sheet->Cells(1, m_next);
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
};

}  // namespace

MergeOutcome mergeToOneSheet(const MergeRequest& request) {
    OneSheetMerge merge(request, request.mode == MergeMode::Vertical ? Axis::Rows : Axis::Columns);
    return merge.run();
}

}  // namespace plyfold::merge::detail
