#pragma once

#include <string_view>

namespace plyfold::discovery {

// Orders file names as people read them: ASCII letters without regard to case, and runs of
// digits by their value, so "file2" comes before "file10" and "B.xls" after "a.xls". Names
// that compare equal that way (a.xls and A.xls, 01 and 1) are ordered by their bytes, so the
// order is total and the same on every run.
bool naturalLess(std::string_view a, std::string_view b);

}  // namespace plyfold::discovery
