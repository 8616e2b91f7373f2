#pragma once

#include <string_view>

#include "engine/io/xlsx/zip_writer.h"

namespace plyfold::engine::xlsx {

// The fonts of the theme written with every workbook: fonts of those names may refer to the
// theme by their scheme, other fonts may not.
inline constexpr std::string_view kThemeMinorFont = "Calibri";
inline constexpr std::string_view kThemeMajorFont = "Cambria";

// xl/theme/theme1.xml: a small complete theme (the classic office colours and fonts). Colours
// in the styles are always written as RGB, so the theme only supplies the scheme fonts.
void writeTheme(ZipWriter& zip);

}  // namespace plyfold::engine::xlsx
