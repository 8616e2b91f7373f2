#pragma once

#include <string>

#include "engine/model/cell_ref.h"

namespace plyfold::engine {

// A hyperlink on a cell or range. An external one has a target (a web or mail address, a
// file), which may also name a place inside it (location); an internal one has only a
// location in its own workbook: a reference such as "'Sales 2'!B4", or a defined name.
struct Hyperlink {
    CellRange range;
    std::string target;
    std::string location;
    std::string display;
    std::string tooltip;
    friend bool operator==(const Hyperlink&, const Hyperlink&) = default;
};

}  // namespace plyfold::engine
