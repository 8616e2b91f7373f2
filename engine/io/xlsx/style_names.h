#pragma once

#include <array>
#include <cstddef>
#include <string_view>

// The names the styles part gives the members of the style enumerations of the model, in the
// enumerations' order, for its reader and its writer.
namespace plyfold::engine::xlsx_names {

inline constexpr std::array<std::string_view, 19> kPatternNames = {
    "none",           "solid",           "mediumGray",    "darkGray",  "lightGray",
    "darkHorizontal", "darkVertical",    "darkDown",      "darkUp",    "darkGrid",
    "darkTrellis",    "lightHorizontal", "lightVertical", "lightDown", "lightUp",
    "lightGrid",      "lightTrellis",    "gray125",       "gray0625"};

inline constexpr std::array<std::string_view, 14> kBorderStyleNames = {"none",
                                                                       "thin",
                                                                       "medium",
                                                                       "dashed",
                                                                       "dotted",
                                                                       "thick",
                                                                       "double",
                                                                       "hair",
                                                                       "mediumDashed",
                                                                       "dashDot",
                                                                       "mediumDashDot",
                                                                       "dashDotDot",
                                                                       "mediumDashDotDot",
                                                                       "slantDashDot"};

inline constexpr std::array<std::string_view, 8> kHorizontalNames = {
    "general", "left", "center", "right", "fill", "justify", "centerContinuous", "distributed"};

// The member of Enum that value names; fallback for a name not in names.
template <typename Enum, size_t N>
Enum lookupName(std::string_view value, const std::array<std::string_view, N>& names,
                Enum fallback) {
    for (size_t i = 0; i < N; ++i) {
        if (names[i] == value) {
            return static_cast<Enum>(i);
        }
    }
    return fallback;
}

// The name of value; the first name for a value past the table.
template <size_t N, typename Enum>
std::string_view nameOf(const std::array<std::string_view, N>& names, Enum value) {
    auto index = static_cast<size_t>(value);
    return index < N ? names[index] : names[0];
}

}  // namespace plyfold::engine::xlsx_names
