#pragma once

#include <cstdint>
#include <memory>

#include "engine/model/workbook.h"

namespace plyfold::test {

// A workbook using everything the model holds: every kind of value and formula, fonts,
// fills, borders, alignment and protection, merges, columns, rows, hidden sheets, 1904 dates.
std::unique_ptr<engine::Workbook> everythingWorkbook();

// rows x 10 under a bold, filled header: an id, a date, two short texts, six decimals.
std::unique_ptr<engine::Workbook> tableWorkbook(int32_t rows, uint32_t seed);

}  // namespace plyfold::test
