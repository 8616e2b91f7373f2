#include "controls/form1_controls.h"
#include "merge/merge_request.h"
#include "merge/merges.h"

namespace plyfold::merge {
namespace {

MergeRequest requestFromForm(controls::Form1Controls& form, MergeMode mode) {
    MergeRequest request;
    const controls::ListModel& queue = form.ListView4;
    for (int row = 1; row <= queue.count(); ++row) {
        request.rows.push_back(QueueRow{queue.text(row), queue.subItem(row), queue.isChecked(row)});
    }
    request.mode = mode;
    request.gap = form.BlockGap;
    request.dropFirstLine = form.Check1.value() == 1;
    request.autofit = form.Check2.value() == 1;
    request.progress = [&form](int row) { form.ProgressBar1.setValue(row); };
    return request;
}

enum class FailureMessage { Describe, Silent };

bool mergeFromForm(controls::Form1Controls& form, MergeMode mode, FailureMessage message) {
    const MergeOutcome outcome = runMerge(requestFromForm(form, mode));
    if (outcome.failure && message == FailureMessage::Describe) {
        form.showMessage(outcome.failure->message(), controls::MessageIcon::Critical);
    }
    return outcome.succeeded();
}

}  // namespace

bool MergeSheetsVertically(controls::Form1Controls& form) {
    return mergeFromForm(form, MergeMode::Vertical, FailureMessage::Describe);
}

bool MergeSheetsHorizontally(controls::Form1Controls& form) {
    return mergeFromForm(form, MergeMode::Horizontal, FailureMessage::Silent);
}

bool MergeToOneWorkbook(controls::Form1Controls& form) {
    return mergeFromForm(form, MergeMode::Workbook, FailureMessage::Silent);
}

}  // namespace plyfold::merge
