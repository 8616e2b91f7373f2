#include "engine/common/file_access.h"

#include <sys/stat.h>

#include <string_view>

namespace plyfold::files {
namespace {

// The last component of the path, ignoring separators at its end; empty for the root.
std::string_view lastComponent(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') {
        path.remove_suffix(1);
    }
    size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool isHiddenName(std::string_view name) {
    return !name.empty() && name.front() == '.' && name != "." && name != "..";
}

}  // namespace

PathKind pathKind(const std::string& path) {
    if (path.empty() || path.find_first_of(std::string_view("*?\0", 3)) != std::string::npos) {
        return PathKind::Missing;
    }
    if (isHiddenName(lastComponent(path))) {
        return PathKind::Missing;
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return PathKind::Missing;
    }
    if (S_ISDIR(info.st_mode)) {
        return PathKind::Folder;
    }
    return S_ISREG(info.st_mode) ? PathKind::File : PathKind::Missing;
}

}  // namespace plyfold::files
