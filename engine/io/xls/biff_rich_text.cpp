#include "engine/io/xls/biff_rich_text.h"

namespace plyfold::engine::xls {
namespace {

// The UTF-8 offset of each UTF-16 position of text, from 0 to its length.
std::vector<size_t> utf16Offsets(std::string_view text) {
    std::vector<size_t> offsets;
    for (size_t at = 0; at < text.size();) {
        const auto lead = static_cast<unsigned char>(text[at]);
        const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        offsets.push_back(at);
        if (length == 4) {
            offsets.push_back(at);  // a surrogate pair counts two; its second half is no place
        }
        at += length;
    }
    offsets.push_back(text.size());
    return offsets;
}

}  // namespace

RichText richTextOf(std::string_view text, const std::vector<BiffTextRun>& runs,
                    BiffCellFormats& formats, StyleTable& styles) {
    RichText rich;
    const std::vector<size_t> offsets = utf16Offsets(text);
    const size_t units = offsets.size() - 1;
    // The starts of the runs that format something, in order.
    std::vector<const BiffTextRun*> kept;
    for (const BiffTextRun& run : runs) {
        if (run.character < units && (kept.empty() || run.character > kept.back()->character)) {
            kept.push_back(&run);
        }
    }
    if (kept.empty()) {
        return rich;
    }
    auto part = [&](size_t from, size_t to) {
        return std::string(
            text.substr(offsets[from], std::min(offsets[to], text.size()) - offsets[from]));
    };
    if (kept.front()->character > 0) {
        rich.runs.push_back({part(0, kept.front()->character), TextRun::kCellFont});
    }
    for (size_t i = 0; i < kept.size(); ++i) {
        const size_t end = i + 1 < kept.size() ? kept[i + 1]->character : units;
        rich.runs.push_back({part(kept[i]->character, end), formats.fontId(kept[i]->font, styles)});
    }
    return rich;
}

}  // namespace plyfold::engine::xls
