#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/io/xlsx/color_resolver.h"
#include "engine/io/xlsx/zip_package.h"
#include "engine/model/style.h"

namespace plyfold {
class MemoryAccount;
}

namespace plyfold::engine::xlsx_read {

// What else a styles part gives the sheets: the ids of its differential styles (dxfs) in the
// part's order, and its colours, for the colours sheets state.
struct StylesExtras {
    std::vector<uint32_t> differentialStyleIds;
    ColorResolver colors;
};

// Reads a styles part (xl/styles.xml) into the style table: number formats, fonts, fills,
// borders and the cell formats (cellXfs) built from them, colours resolved to RGB. Returns
// the style id of each cell format of the part, in the part's order, which is what the s=
// attributes of cells count in. What it builds is counted in memory.
std::vector<uint32_t> readStyles(ZipPackage& package, const std::string& storedName,
                                 const ThemeColors& theme, StyleTable& styles,
                                 MemoryAccount& memory, StylesExtras* extras = nullptr);

// One child of a <font> or of a run's <rPr> (b, i, sz, color, name or rFont, ...) into font;
// its colour, resolved later, into color.
void readFontProperty(std::string_view name, XmlAttributes attributes, Font& font,
                      ColorSpec& color);

}  // namespace plyfold::engine::xlsx_read
