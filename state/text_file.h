#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plyfold::state {

// The lines of a text file: split at CR LF, and at a lone CR; a lone LF stays in its line;
// a last line without an end is still a line. Bytes are kept as they are.
std::vector<std::string> splitLines(std::string_view bytes);

// The whole file, or nothing when it is missing or cannot be read.
std::optional<std::string> readWholeFile(const std::string& path);

// Replaces the file with the bytes: they go to a temporary file in the same folder, which is
// then renamed over the old one, so a crash or a full disk never leaves half a file. Returns
// false (and leaves the old file as it was) when that cannot be done.
bool replaceFile(const std::string& path, std::string_view bytes);

// The file name appended to the folder with one separator.
std::string fileInFolder(const std::string& folder, std::string_view name);

}  // namespace plyfold::state
