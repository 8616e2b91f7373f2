#include <string>
#include <utility>
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
    request.textDialect = form.textDialect;
    request.sheetNaming = sheetNamingFor(form.sheetNames);
    request.headerRow = form.headerRow;
    request.matchHeaders = form.matchHeaders;
    request.sourceColumn = form.sourceColumn;
    request.progress = [&form](int row) { form.ProgressBar1.setValue(row); };
    return request;
}

bool mergeFromForm(controls::Form1Controls& form, MergeMode mode, MergeOutcome* told) {
    MergeOutcome own;
    MergeOutcome& outcome = told ? *told : own;
    outcome = runMerge(requestFromForm(form, mode));
    // Only the vertical merge describes its failure itself.
    if (outcome.failure && mode == MergeMode::Vertical) {
        form.showMessage(outcome.failure->message(), controls::MessageIcon::Critical);
    }
    // The result window is open by now; one box lists what it lacks.
    if (!told && !outcome.uncarried.empty()) {
        form.showMessage(uncarriedText(outcome.uncarried), controls::MessageIcon::Information);
    }
    return outcome.succeeded();
}

}  // namespace

std::string uncarriedText(const std::vector<UncarriedFeature>& uncarried) {
    std::string text = "The result does not carry everything its sources hold:\n";
    for (const UncarriedFeature& feature : uncarried) {
        text += "\n" + feature.message();
    }
    return text;
}

bool MergeSheetsVertically(controls::Form1Controls& form, MergeOutcome* outcome) {
    return mergeFromForm(form, MergeMode::Vertical, outcome);
}

bool MergeSheetsHorizontally(controls::Form1Controls& form, MergeOutcome* outcome) {
    return mergeFromForm(form, MergeMode::Horizontal, outcome);
}

bool MergeToOneWorkbook(controls::Form1Controls& form, MergeOutcome* outcome) {
    return mergeFromForm(form, MergeMode::Workbook, outcome);
}

}  // namespace plyfold::merge
