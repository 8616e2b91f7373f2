#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plyfold::engine {

// A run of a text whose parts are formatted apart: its text and its font, an id in the
// workbook's style table (kCellFont where the run takes the font of its cell or note).
struct TextRun {
    static constexpr uint32_t kCellFont = UINT32_MAX;
    std::string text;
    uint32_t font = kCellFont;
    friend bool operator==(const TextRun&, const TextRun&) = default;
};

// A text made of formatted runs. A cell that holds one keeps its plain text as its value too
// (Cell::value.text), so everything that reads texts reads it unchanged.
struct RichText {
    std::vector<TextRun> runs;
    std::string plainText() const;
    friend bool operator==(const RichText&, const RichText&) = default;
};

}  // namespace plyfold::engine
