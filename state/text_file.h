#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace plyfold::state {

// The lines of a text file: split at CR LF, and at a lone CR; a lone LF stays in its line;
// a last line without an end is still a line. Bytes are kept as they are.
std::vector<std::string> splitLines(std::string_view bytes);

// The file name appended to the folder with one separator.
std::string fileInFolder(const std::string& folder, std::string_view name);

}  // namespace plyfold::state
