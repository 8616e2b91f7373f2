#pragma once

#include <string_view>
#include <vector>

#include "engine/io/xls/biff_records.h"
#include "engine/io/xls/biff_styles.h"
#include "engine/model/rich_text.h"

namespace plyfold::engine::xls {

// The runs of a text formatted in parts: the part before the first run keeps the cell's font,
// each run's part takes the font of its FONT index. Runs out of order or past the text's end
// are left out; empty when no run formats any character.
RichText richTextOf(std::string_view text, const std::vector<BiffTextRun>& runs,
                    BiffCellFormats& formats, StyleTable& styles);

}  // namespace plyfold::engine::xls
