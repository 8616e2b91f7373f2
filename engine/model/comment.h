#pragma once

#include <string>

#include "engine/model/cell_ref.h"
#include "engine/model/rich_text.h"

namespace plyfold::engine {

// A note (comment) on a cell: who wrote it and its text, which may be formatted in runs.
struct Comment {
    CellRef cell;
    std::string author;
    RichText text;
    friend bool operator==(const Comment&, const Comment&) = default;
};

}  // namespace plyfold::engine
