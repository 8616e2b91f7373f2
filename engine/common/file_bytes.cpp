#include "engine/common/file_bytes.h"

#include <sys/stat.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "engine/common/error.h"

namespace plyfold::engine {

std::string readWholeFile(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            throw SpreadsheetError(ErrorNumber::FileNotFound, "'" + path + "' could not be found.");
        }
        throw SpreadsheetError(ErrorNumber::FileAccess,
                               "'" + path + "' could not be read: " + std::strerror(errno) + ".");
    }
    if (!S_ISREG(info.st_mode)) {
        throw SpreadsheetError(ErrorNumber::FileAccess, "'" + path + "' is not a file.");
    }
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) {
        throw SpreadsheetError(ErrorNumber::FileAccess,
                               "'" + path + "' could not be read: " + std::strerror(errno) + ".");
    }
    std::string bytes;
    bytes.resize(static_cast<size_t>(info.st_size));
    size_t got = std::fread(bytes.data(), 1, bytes.size(), file.get());
    if (std::ferror(file.get())) {
        throw SpreadsheetError(ErrorNumber::FileAccess, "'" + path + "' could not be read.");
    }
    bytes.resize(got);
    // A file that grew since stat (or reports size 0, as some special files do).
    char buffer[65536];
    while (size_t more = std::fread(buffer, 1, sizeof buffer, file.get())) {
        bytes.append(buffer, more);
    }
    return bytes;
}

}  // namespace plyfold::engine
