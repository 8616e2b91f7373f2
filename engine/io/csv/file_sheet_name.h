#pragma once

#include <string>
#include <string_view>

namespace plyfold::engine::csv {

// The name of the one sheet of a text file: the file name without its extension, with the
// characters a sheet name cannot hold (: \ / ? * [ ]) replaced by '_', apostrophes at either
// end removed, cut to 31 characters at a character boundary; "Sheet1" when nothing is left.
std::string sheetNameForFile(std::string_view path);

}  // namespace plyfold::engine::csv
