#include <algorithm>
#include <optional>
#include <string>

#include "app/block_gap.h"
#include "app/form1.h"
#include "dialogs/common_dialogs.h"
#include "engine/common/text.h"
#include "merge/merge_job.h"

namespace plyfold::app {

// Saving the merge queue and options as a job file, and opening one into the controls.

namespace {

constexpr const char* kJobFilter = "Plyfold job (*.plyjob)|*.plyjob";
constexpr size_t kLongestOpenFileName = 260;

// True for a file name with a stem before the job extension, in any case.
bool endsWithJobExtension(const std::string& path) {
    const std::string_view extension = merge::kJobExtension;
    const std::string_view name = std::string_view(path).substr(path.rfind('/') + 1);
    if (name.size() <= extension.size()) {
        return false;
    }
    return engine::equalsIgnoringAsciiCase(name.substr(name.size() - extension.size()), extension);
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The gap as the job keeps it: the box's text when it is a whole number, else the number the
// Merge command reads from it, so the command line merges a saved job as the window would.
std::string gapForJob(const std::string& text) {
    if (merge::wholeGap(text)) {
        return text;
    }
    return std::to_string(std::max(0, ReadGapNumber(text)));
}

merge::MergeJob jobFromControls(const controls::Form1Controls& c) {
    merge::MergeJob job;
    const controls::ListModel& queue = c.ListView4;
    for (int row = 1; row <= queue.count(); ++row) {
        job.rows.push_back(
            merge::QueueRow{queue.text(row), queue.subItem(row), queue.isChecked(row)});
    }
    if (!c.Option1.value()) {
        job.mode = merge::MergeMode::Workbook;
    } else {
        job.mode =
            c.Combo1.listIndex() == 0 ? merge::MergeMode::Vertical : merge::MergeMode::Horizontal;
    }
    job.gap = gapForJob(c.Text1.text());
    job.dropFirstLine = c.Check1.value() == 1;
    job.autofit = c.Check2.value() == 1;
    job.textDialect = c.textDialect;
    job.sheetNaming = merge::sheetNamingFor(c.sheetNames);
    job.headerRow = c.headerRow;
    job.matchHeaders = c.matchHeaders;
    job.sourceColumn = c.sourceColumn;
    return job;
}

}  // namespace

void Form1::SheetNamesSource_Click() {
    m_controls.sheetNames = controls::SheetNamesChoice::SourceSheet;
}

void Form1::SheetNamesFile_Click() {
    m_controls.sheetNames = controls::SheetNamesChoice::File;
}

void Form1::SheetNamesFileSheet_Click() {
    m_controls.sheetNames = controls::SheetNamesChoice::FileAndSheet;
}

void Form1::SaveJob_Click() {
    controls::Form1Controls& c = m_controls;
    std::string path;
    try {
        dialogs::CCommonDialogs dialog = commonDialog();
        dialog.setFilter(kJobFilter);
        dialog.setPath(folderOf(m_jobPath));
        if (!dialog.ShowSave() || dialog.FileName().empty()) {
            return;
        }
        path = dialog.FileName();
    } catch (...) {
        return;  // a dialog that cannot be shown ends the command, as for the other files
    }
    // Never a spreadsheet's name: a job saved as "jan.xlsx" must not replace a source.
    if (!endsWithJobExtension(path)) {
        path += merge::kJobExtension;
    }
    try {
        merge::writeJobFile(jobFromControls(c), path);
        m_jobPath = path;
    } catch (const merge::JobError& error) {
        c.showMessage(std::string("The job was not saved.\n\n") + error.what(),
                      controls::MessageIcon::Critical);
    }
}

void Form1::OpenJob_Click() {
    controls::Form1Controls& c = m_controls;
    std::string path;
    try {
        dialogs::CCommonDialogs dialog = commonDialog();
        dialog.setTitle("Open Job");
        dialog.setFilter(std::string(kJobFilter) + "|All files (*.*)|*.*");
        if (m_jobPath.size() <= kLongestOpenFileName) {
            dialog.setFileName(m_jobPath);
        }
        if (!dialog.ShowOpenFiltered()) {
            return;
        }
        path = dialog.FileName();
    } catch (...) {
        return;
    }
    merge::MergeJob job;
    try {
        job = merge::readJobFile(path);
    } catch (const merge::JobError& error) {
        // The controls keep what they showed.
        c.showMessage(std::string("The job was not opened.\n\n") + error.what(),
                      controls::MessageIcon::Critical);
        return;
    }
    m_jobPath = path;

    controls::ListModel& queue = c.ListView4;
    queue.clear();
    for (const merge::QueueRow& row : job.rows) {
        const int index = queue.add(row.path);
        queue.setSubItem(index, row.sheet);
        queue.setChecked(index, row.checked);
    }
    queue.refresh();
    // The options go through the handlers the clicks run, so captions and enabled states follow.
    if (job.mode != merge::MergeMode::Workbook) {
        c.Combo1.setListIndex(job.mode == merge::MergeMode::Vertical ? 0 : 1);
        Combo1_Click();
    }
    c.Text1.setText(job.gap);
    c.Check1.setValue(job.dropFirstLine ? 1 : 0);
    c.Check2.setValue(job.autofit ? 1 : 0);
    c.textDialect = job.textDialect;
    c.sheetNames = merge::sheetNamesChoiceFor(job.sheetNaming);
    c.headerRow = job.headerRow;
    c.matchHeaders = job.matchHeaders;
    c.sourceColumn = job.sourceColumn;
    const bool oneSheet = job.mode != merge::MergeMode::Workbook;
    c.Option1.setValue(oneSheet);
    c.Option2.setValue(!oneSheet);
    if (oneSheet) {
        Option1_Click();
    } else {
        Option2_Click();
    }

    const std::vector<merge::RowReport> missing = merge::rowsWithMissingFiles(job.rows);
    if (!missing.empty()) {
        c.showMessage(merge::missingFilesText(missing), controls::MessageIcon::Information);
    }
}

}  // namespace plyfold::app
