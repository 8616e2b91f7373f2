#pragma once

#include <string>

#include "engine/io/xlsx/color_resolver.h"
#include "engine/io/xlsx/zip_package.h"

namespace plyfold::engine::xlsx_read {

// The colour scheme of a theme part (xl/theme/theme1.xml); slots the part leaves out keep
// the default theme's colours. sysClr colours are taken as their lastClr.
ThemeColors readThemeColors(ZipPackage& package, const std::string& storedName);

}  // namespace plyfold::engine::xlsx_read
