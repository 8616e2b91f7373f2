#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/io/xlsx/color_resolver.h"
#include "engine/model/style.h"

namespace plyfold {
class ChunkedCount;
}

namespace plyfold::engine::xlsx_read {

// A differential style as the styles part writes it, its colours not resolved yet.
struct RawDifferentialStyle {
    DifferentialStyle style;
    ColorSpec fontColor;
    ColorSpec fillForeground;
    ColorSpec fillBackground;
    std::array<ColorSpec, 5> edgeColors{};  // left, right, top, bottom, diagonal
    std::optional<std::string> formatCode;
};

// Reads the <dxfs> list of a styles part: given its events from the <dxfs> element on.
class DifferentialStyleHandler {
public:
    explicit DifferentialStyleHandler(ChunkedCount& count) : m_count(count) {}

    // depth: 1 for <dxfs> itself.
    void startElement(int depth, std::string_view name, XmlAttributes attributes);
    void endElement(int depth);

    std::vector<RawDifferentialStyle> styles;

private:
    void startFontChild(std::string_view name, XmlAttributes attributes);

    ChunkedCount& m_count;
    enum class Part : uint8_t { None, Font, Fill, Border, Other } m_part = Part::None;
    int m_edge = -1;
};

// The differential styles added to styles, colours resolved; their ids in the part's order.
std::vector<uint32_t> addDifferentialStyles(const std::vector<RawDifferentialStyle>& raw,
                                            const ColorResolver& colors, StyleTable& styles);

}  // namespace plyfold::engine::xlsx_read
