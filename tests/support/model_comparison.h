#pragma once

#include <string>
#include <vector>

#include "engine/model/workbook.h"

namespace plyfold::test {

// What a save deliberately changes, so a comparison can allow for it.
struct SavedForm {
    // Fonts that name a scheme other than the written theme's keep their name only.
    bool schemeOnlyOnThemeFonts = true;
};

// Every difference between two workbooks, cell by cell and style by style (styles compared by
// what they hold, not by their ids), with merges, array formulas, columns, rows, sheet
// visibility, selection and defaults; empty when they hold the same. Chart sheets of expected
// must come back as worksheets of the same name without cells.
std::vector<std::string> workbookDifferences(const engine::Workbook& expected,
                                             const engine::Workbook& actual,
                                             const SavedForm& form = {});

}  // namespace plyfold::test
