#pragma once

#include <string>

namespace plyfold::engine {

// The whole content of a file. Throws SpreadsheetError: FileNotFound when it does not exist,
// FileAccess when it cannot be read (a folder, no permission, a read error).
std::string readWholeFile(const std::string& path);

}  // namespace plyfold::engine
