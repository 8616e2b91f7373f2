#include <cstdint>

#include "automation/automation.h"
#include "merge/merge_procedure.h"
#include "merge/merges.h"

namespace plyfold::merge::detail {
namespace {

// Copies every queued worksheet whole into one new workbook, in queue order.
class WorkbookMerge : public MergeProcedure {
public:
    using MergeProcedure::MergeProcedure;

private:
    void merge() override {
        automation::Workbook result = startServer();
        // The new workbook's own sheet bears a name no source sheet has while the copies go
        // in, so every copy keeps its name; it is deleted at the end.
        result.Sheets()(1).setName(kPlaceholderSheetName);
        for (int32_t k = result.Sheets().count(); k >= 2; --k) {
            result.Sheets()(k).Delete();
        }
        m_walk.forEachSheet(*m_server, [this, &result](const automation::Worksheet& source) {
            // The copy is born with its name, so its formulas naming its sheet follow it and
            // relinkToCopies below finds it by its source whatever it is called.
            const automation::Before before{result.Sheets()(m_insertPosition)};
            if (m_request.sheetNaming == SheetNaming::Source) {
                source.Copy(before);
            } else {
                source.Copy(before, copySheetName(m_request.sheetNaming, m_walk.currentRow()->path,
                                                  source.name()));
            }
            ++m_insertPosition;
            const automation::Range used = source.UsedRange();
            return BlockSize{used.Rows().count(), used.Columns().count()};
        });
        // With nothing copied the placeholder is the only sheet: say so rather than fail to
        // delete it.
        m_walk.checkSomethingMerged();
        // Now that every copy is in, whatever the queue order, references between sheets of
        // one source read the copies of those sheets.
        result.relinkToCopies();
        showOneCopyIfAllHidden(result);
        result.Sheets()(m_insertPosition).Delete();
        selectFirstVisible(result);
        m_walk.closeLastSource();
        m_server->setDisplayAlerts(true);
        m_server->setVisible(true);
    }

    // Copies keep their sources' hidden state; a workbook must still show one sheet, so when
    // every copy is hidden the first one is shown.
    void showOneCopyIfAllHidden(const automation::Workbook& result) const {
        const automation::SheetCollection sheets = result.Sheets();
        for (int32_t k = 1; k < m_insertPosition; ++k) {
            if (sheets(k).Visible() == automation::SheetVisibility::Visible) {
                return;
            }
        }
        sheets(1).setVisible(automation::SheetVisibility::Visible);
    }

    static void selectFirstVisible(const automation::Workbook& result) {
        const automation::SheetCollection sheets = result.Sheets();
        for (int32_t k = 1; k <= sheets.count(); ++k) {
            if (sheets(k).Visible() == automation::SheetVisibility::Visible) {
                sheets(k).Select();
                return;
            }
        }
    }

    int32_t m_insertPosition = 1;
};

}  // namespace

MergeOutcome mergeToOneWorkbook(const MergeRequest& request) {
    WorkbookMerge merge(request);
    return merge.run();
}

}  // namespace plyfold::merge::detail
