#include <optional>
#include <string>

#include "controls/form1_controls.h"
#include "engine/common/file_access.h"
#include "automation/automation.h"
#include "merge/merges.h"

namespace plyfold::merge {
namespace {

using automation::Application;
using automation::SaveChanges;
using automation::Workbook;

class WorkbookMerge {
public:
    explicit WorkbookMerge(controls::Form1Controls& form) : m_form(form) {}

    void run() {
        const int rowCount = m_form.ListView4.count();
        m_server = automation::CreateObject(automation::kSpreadsheetProgId);
        m_server->setDisplayAlerts(false);
        m_result = m_server->Workbooks().Add();
        // The new workbook's own sheet bears a name no source sheet has while the copies go
        // in, so every copy keeps its name; it is deleted at the end.
        m_result->Sheets()(1).setName(kPlaceholderSheetName);
        for (int32_t k = m_result->Sheets().count(); k >= 2; --k) {
            m_result->Sheets()(k).Delete();
        }
        for (int row = 1; row <= rowCount; ++row) {
            if (m_form.ListView4.isChecked(row)) {
                copyQueueRow(m_form.ListView4.text(row), m_form.ListView4.subItem(row));
            }
            m_form.ProgressBar1.setValue(row);
        }
        finish();
    }

    std::shared_ptr<Application> server() const { return m_server; }

private:
    void copyQueueRow(const std::string& path, const std::string& sheetName) {
        if (files::pathKind(path) != files::PathKind::File) {
            return;
        }
        if (path != m_previousPath) {
            if (m_openSource) {
                m_openSource->Close(SaveChanges::Yes);
            }
            m_openSource = m_server->Workbooks().Open(path);
        }
        m_openSource->Worksheets()(sheetName).Copy(
            automation::Before{m_result->Sheets()(m_insertPosition)});
        ++m_insertPosition;
        m_previousPath = path;
    }

    void finish() {
        m_result->Sheets()(m_insertPosition).Delete();
        m_result->Sheets()(1).Select();
        if (!m_openSource) {
            throw automation::SpreadsheetError(
                ErrorNumber::ObjectNotSet,
                "Nothing was merged: none of the checked files in the queue exists.");
        }
        m_openSource->Close(SaveChanges::Yes);
        m_server->setDisplayAlerts(true);
        m_server->setVisible(true);
    }

    controls::Form1Controls& m_form;
    std::shared_ptr<Application> m_server;
    std::optional<Workbook> m_result;
    std::optional<Workbook> m_openSource;
    std::string m_previousPath;
    int32_t m_insertPosition = 1;
};

}  // namespace

bool MergeToOneWorkbook(controls::Form1Controls& form) {
    WorkbookMerge merge(form);
    try {
        merge.run();
        return true;
    } catch (...) {
        if (auto server = merge.server()) {
            server->Quit();
        }
        return false;
    }
}

}  // namespace plyfold::merge
