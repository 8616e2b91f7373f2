#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/io/xlsx/color_resolver.h"
#include "engine/model/style.h"

namespace plyfold::engine::xlsx_read {

// A differential style as the styles part writes it, its colours not resolved yet.
struct RawDifferentialStyle {
    DifferentialStyle style;
    ColorSpec fontColor;
    ColorSpec fillForeground;
    ColorSpec fillBackground;
    std::array<ColorSpec, 5> edgeColors{};  // left, right, top, bottom, diagonal
    std::optional<std::string> formatCode;
    bool gradient = false;  // a gradient fill, which the model does not hold for these
};

// Reads the <dxfs> list of a styles part, or a differential style written inside a rule:
// given their events from the <dxfs> element on (or as if there were one around the <dxf>).
// count hears of the bytes it builds.
class DifferentialStyleHandler {
public:
    explicit DifferentialStyleHandler(std::function<void(uint64_t)> count)
        : m_count(std::move(count)) {}

    // depth: 1 for <dxfs> itself, 2 for a <dxf>.
    void startElement(int depth, std::string_view name, XmlAttributes attributes);
    void endElement(int depth);

    std::vector<RawDifferentialStyle> styles;

private:
    void startFontChild(std::string_view name, XmlAttributes attributes);

    std::function<void(uint64_t)> m_count;
    enum class Part : uint8_t { None, Font, Fill, Border, Other } m_part = Part::None;
    int m_edge = -1;
};

// The differential styles added to styles, colours resolved; their ids in the part's order.
std::vector<uint32_t> addDifferentialStyles(const std::vector<RawDifferentialStyle>& raw,
                                            const ColorResolver& colors, StyleTable& styles);

}  // namespace plyfold::engine::xlsx_read
