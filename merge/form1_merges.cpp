#include <string>
#include <vector>

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

std::string uncarriedMessage(const std::vector<UncarriedFeature>& uncarried) {
    std::string text = "The result does not carry everything its sources hold:\n";
    for (const UncarriedFeature& feature : uncarried) {
        text += "\n" + feature.message();
    }
    return text;
}

enum class FailureMessage { Describe, Silent };

bool mergeFromForm(controls::Form1Controls& form, MergeMode mode, FailureMessage message) {
    const MergeOutcome outcome = runMerge(requestFromForm(form, mode));
    if (outcome.failure && message == FailureMessage::Describe) {
        form.showMessage(outcome.failure->message(), controls::MessageIcon::Critical);
    }
    // The result window is open by now; one box lists what it lacks.
    if (!outcome.uncarried.empty()) {
        form.showMessage(uncarriedMessage(outcome.uncarried), controls::MessageIcon::Information);
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
