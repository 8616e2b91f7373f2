#include "merge/merge_request.h"

#include "merge/merge_procedure.h"

namespace plyfold::merge {

std::string MergeFailure::message() const {
    if (path.empty()) {
        return description;
    }
    return "The worksheet '" + sheet + "' of '" + path + "' could not be merged. " + description;
}

std::string UncarriedFeature::message() const {
    std::string text = "'" + path + "'";
    if (!sheet.empty()) {
        text += ", sheet '" + sheet + "'";
    }
    return text + ": not carried into the result: " + feature;
}

std::string HeaderDifference::message() const {
    return "'" + path + "', sheet '" + sheet +
           "': its header row differs from the first block's: " + difference;
}

MergeOutcome runMerge(const MergeRequest& request) {
    return request.mode == MergeMode::Workbook ? detail::mergeToOneWorkbook(request)
                                               : detail::mergeToOneSheet(request);
}

}  // namespace plyfold::merge
