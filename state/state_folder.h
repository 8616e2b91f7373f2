#pragma once

#include <string>

namespace plyfold::state {

// The folder the saved list and the settings file live in. The program folder when it already
// holds either of them or a file can be made there (a portable copy, shared by everyone who
// runs it); otherwise the user's configuration folder, created (with the folders above it)
// when missing and left to the save at exit to report when that fails. An empty configFolder
// (the system named none) leaves the program folder.
std::string chooseStateFolder(const std::string& programFolder, const std::string& configFolder);

}  // namespace plyfold::state
