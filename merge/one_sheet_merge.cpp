#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "controls/form1_controls.h"
#include "engine/common/file_access.h"
#include "engine/model/sheet.h"
#include "automation/automation.h"
#include "merge/merges.h"

namespace plyfold::merge {
namespace {

using automation::Application;
using automation::Range;
using automation::SaveChanges;
using automation::Workbook;
using automation::Worksheet;

enum class Axis { Rows, Columns };

// The last used row (or column) of the sheet, 1-based: the last line of its used range (1 on
// an empty sheet, whose used range is A1). On a sheet whose used range starts at the first
// cell this is its row (or column) count. Asked twice a paste, so the row is found from the
// end of the sheet rather than by building the whole used range.
int32_t lastUsedLine(const Worksheet& sheet, Axis axis) {
    const engine::Sheet& cells = sheet.engineSheet();
    std::optional<int32_t> last = axis == Axis::Rows ? cells.lastUsedRow() : cells.lastUsedColumn();
    return last.value_or(0) + 1;
}

// next + gap + 1 without overflow; a position past the sheet makes the next paste fail.
int32_t advance(int32_t next, int32_t gap) {
    int64_t position = int64_t{next} + std::max(gap, 0) + 1;
    return static_cast<int32_t>(std::min<int64_t>(position, std::numeric_limits<int32_t>::max()));
}

class OneSheetMerge {
public:
    OneSheetMerge(controls::Form1Controls& form, Axis axis) : m_form(form), m_axis(axis) {}

    void run() {
        const int rowCount = m_form.ListView4.count();
        m_server = automation::CreateObject(automation::kSpreadsheetProgId);
        m_server->setVisible(false);
        m_server->setDisplayAlerts(false);
        Workbook resultBook = m_server->Workbooks().Add();
        m_result = resultBook.Worksheets()(1);
        for (int32_t k = resultBook.Sheets().count(); k >= 2; --k) {
            resultBook.Sheets()(k).Delete();
        }
        for (int row = 1; row <= rowCount; ++row) {
            if (m_form.ListView4.isChecked(row)) {
                mergeQueueRow(m_form.ListView4.text(row), m_form.ListView4.subItem(row));
            }
            m_form.ProgressBar1.setValue(row);
        }
        finish();
    }

    std::shared_ptr<Application> server() const { return m_server; }

private:
    void mergeQueueRow(const std::string& path, const std::string& sheetName) {
        if (files::pathKind(path) != files::PathKind::File) {
            return;
        }
        if (path != m_previousPath) {
            if (m_openSource) {
                m_server->setCutCopyMode(false);
                m_openSource->Close(SaveChanges::Yes);
            }
            m_openSource = m_server->Workbooks().Open(path);
        }
        Worksheet source = m_openSource->Worksheets()(sheetName);
        Range used = source.UsedRange();
        const int32_t blockRows = used.Cells().Rows().count();
        const int32_t blockColumns = used.Cells().Columns().count();
        source.Range(used.Cells(1, 1).Address(), used.Cells(blockRows, blockColumns).Address())
            .Copy();
        paste(m_axis == Axis::Rows ? blockRows : blockColumns);
        m_previousPath = path;
    }

    void paste(int32_t blockSize) {
        const int32_t usedBefore = lastUsedLine(*m_result, m_axis);
        Range target = m_axis == Axis::Rows ? m_result->Cells(m_next, 1) : m_result->Cells(1, m_next);
        target.PasteSpecial();
        m_next = lastUsedLine(*m_result, m_axis);
        if (m_form.Check1.value() == 1 && !m_firstBlock) {
            const int32_t blockStart = m_next - blockSize + 1;
            if (m_next - usedBefore > 0 && blockStart > 0) {
                Range line = m_axis == Axis::Rows ? m_result->Rows(blockStart)
                                                  : m_result->Columns(blockStart);
                line.Delete();
                m_next = lastUsedLine(*m_result, m_axis);
            }
        }
        m_firstBlock = false;
        m_next = advance(m_next, m_form.BlockGap);
    }

    void finish() {
        m_server->setCutCopyMode(false);
        if (!m_openSource) {
            throw automation::SpreadsheetError(
                ErrorNumber::ObjectNotSet,
                "Nothing was merged: none of the checked files in the queue exists.");
        }
        m_openSource->Close(SaveChanges::Yes);
        m_server->setVisible(true);
        m_result->Cells(1, 1).Select();
        if (m_form.Check2.value() == 1) {
            m_result->Columns().AutoFit();
        }
        m_server->setDisplayAlerts(true);
    }

    controls::Form1Controls& m_form;
    Axis m_axis;
    std::shared_ptr<Application> m_server;
    std::optional<Worksheet> m_result;
    std::optional<Workbook> m_openSource;
    std::string m_previousPath;
    int32_t m_next = 1;
    bool m_firstBlock = true;
};

enum class FailureMessage { Describe, Silent };

bool mergeToOneSheet(controls::Form1Controls& form, Axis axis, FailureMessage message) {
    OneSheetMerge merge(form, axis);
    try {
        merge.run();
        return true;
    } catch (...) {
        automation::SpreadsheetError error = automation::currentError();
        if (message == FailureMessage::Describe) {
            form.showMessage(error.description(), controls::MessageIcon::Critical);
        }
        if (auto server = merge.server()) {
            server->Quit();
        }
        return false;
    }
}

}  // namespace

bool MergeSheetsVertically(controls::Form1Controls& form) {
    return mergeToOneSheet(form, Axis::Rows, FailureMessage::Describe);
}

bool MergeSheetsHorizontally(controls::Form1Controls& form) {
    return mergeToOneSheet(form, Axis::Columns, FailureMessage::Silent);
}

}  // namespace plyfold::merge
