#pragma once

#include <cstdint>

namespace plyfold::engine {

// The limits of current spreadsheet programs; going past one is an error, never a cut.
inline constexpr int32_t kMaxRows = 1'048'576;
inline constexpr int32_t kMaxColumns = 16'384;
inline constexpr int32_t kMaxCellTextLength = 32'767;
inline constexpr int32_t kMaxSheetNameLength = 31;
inline constexpr int32_t kMaxFormulaLength = 8'192;

}  // namespace plyfold::engine
