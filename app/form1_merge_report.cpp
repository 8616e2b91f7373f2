#include "app/form1.h"

#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "dialogs/common_dialogs.h"
#include "engine/common/atomic_file.h"
#include "engine/common/file_access.h"
#include "merge/merge_report.h"
#include "merge/merge_request.h"
#include "merge/merges.h"

namespace plyfold::app {

// What the Merge command tells the user once a merge is over.

namespace {

constexpr const char* kSaveReportCaption = "Save Report...";

}  // namespace

void Form1::showMergeFailed(const merge::MergeOutcome& outcome) {
    const std::string cause = outcome.failure ? outcome.failure->message() : std::string();
    if (cause.empty() || !m_controls.messages) {
        m_controls.showMessage("Merge Failed!", controls::MessageIcon::Critical);
        return;
    }
    m_controls.messages->showDetailedMessage("Merge Failed!", cause,
                                             controls::MessageIcon::Critical);
}

void Form1::ShowMergeReport(const merge::MergeOutcome& outcome) {
    const std::vector<merge::RowReport> leftOut = outcome.leftOut();
    std::string text;
    auto addPart = [&text](const std::string& part) {
        if (!part.empty()) {
            text += (text.empty() ? "" : "\n\n") + part;
        }
    };
    if (!leftOut.empty()) {
        addPart(merge::leftOutText(leftOut));
    }
    if (!outcome.uncarried.empty()) {
        addPart(merge::uncarriedText(outcome.uncarried));
    }
    addPart(merge::headerDifferencesText(outcome.headerDifferences));
    if (text.empty()) {
        return;
    }
    // Only rows left out make a report worth saving; without a way to ask for a file there is
    // nothing to offer either.
    if (leftOut.empty() || !m_services.dialogs || !m_controls.messages) {
        m_controls.showMessage(text, controls::MessageIcon::Information);
        return;
    }
    if (m_controls.messages->showMessageWithAction(text, controls::MessageIcon::Information,
                                                   kSaveReportCaption)) {
        saveMergeReport(outcome.rows);
    }
}

void Form1::saveMergeReport(const std::vector<merge::RowReport>& rows) {
    controls::Form1Controls& c = m_controls;
    std::string path;
    try {
        dialogs::CCommonDialogs dialog = commonDialog();
        dialog.setFilter("Tab-separated report|*.tsv");
        // Beside the queue's first file, where the dialog can list it; else the dialog's own.
        if (!rows.empty()) {
            dialog.setPath(std::filesystem::path(rows.front().path).parent_path().string());
        }
        if (!dialog.ShowSave()) {
            return;
        }
        path = dialog.FileName();
    } catch (const std::exception&) {
        // A dialog that cannot be shown saves nothing, as a cancelled one.
        return;
    }
    // The report never replaces a source of the merge, under whatever name leads to it.
    std::vector<std::string> sources;
    for (const merge::RowReport& row : rows) {
        sources.push_back(row.path);
    }
    if (const std::optional<std::string> source = files::findSameFile(path, sources)) {
        c.showMessage("The report was not saved: '" + path + "' is '" + *source +
                          "', a file queued as a source of this merge. Choose another file.",
                      controls::MessageIcon::Critical);
        return;
    }
    try {
        files::replaceFile(path, merge::reportText(rows));
    } catch (const files::FileError& error) {
        c.showMessage("The report was not saved. " + error.description(),
                      controls::MessageIcon::Critical);
    } catch (const std::exception& error) {
        c.showMessage("The report was not saved to '" + path + "'. " + error.what(),
                      controls::MessageIcon::Critical);
    }
}

}  // namespace plyfold::app
