#pragma once

#include <cstdint>

#include "engine/model/sheet_settings.h"

namespace plyfold::engine {

// The settings of a sheet after whole rows (or columns) [first, first + count) were deleted
// from it: the autofilter and its sort shrink or go with their lines, filter columns of
// deleted columns go and later ones renumber, page breaks on deleted lines go and later ones
// move, frozen panes lose the frozen lines deleted, selections and view corners move.
void settingsAfterDeletingRows(SheetSettings& settings, int32_t first, int32_t count);
void settingsAfterDeletingColumns(SheetSettings& settings, int32_t first, int32_t count);

}  // namespace plyfold::engine
