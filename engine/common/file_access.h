#pragma once

#include <string>

namespace plyfold::files {

// What a path names, as the program sees it.
enum class PathKind { Missing, Folder, File };

// Missing when the path does not exist or cannot be examined; Folder; File for a regular file
// (or a link that ends at one). Hidden entries (a last component beginning with "."), paths
// with wildcards or NUL bytes, and anything that is neither a folder nor a regular file (a
// device, a pipe, a socket) are Missing, so nothing ever blocks opening them. Never fails.
PathKind pathKind(const std::string& path);

}  // namespace plyfold::files
