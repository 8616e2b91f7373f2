#include "engine/common/file_access.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

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

std::string quoted(const std::string& path) {
    return "'" + path + "'";
}

FileError notFound(const std::string& path, int systemError) {
    return FileError(ErrorNumber::FileNotFound, quoted(path) + " could not be found.", path,
                     systemError);
}

FileError readFailure(const std::string& path, int systemError) {
    if (detail::errorNumberFor(systemError) == ErrorNumber::FileNotFound) {
        return notFound(path, systemError);
    }
    return FileError(ErrorNumber::FileAccess,
                     quoted(path) + " could not be read: " + std::strerror(systemError) + ".", path,
                     systemError);
}

FileError listFailure(const std::string& path, int systemError) {
    if (systemError == ENOENT) {
        return notFound(path, systemError);
    }
    if (systemError == ENOTDIR) {
        return FileError(ErrorNumber::FileAccess, quoted(path) + " is not a folder.", path,
                         systemError);
    }
    return FileError(ErrorNumber::FileAccess,
                     quoted(path) + " could not be listed: " + std::strerror(systemError) + ".",
                     path, systemError);
}

FileError createFailure(const std::string& path, int systemError) {
    return FileError(
        detail::errorNumberFor(systemError),
        "The folder " + quoted(path) + " could not be created: " + std::strerror(systemError) + ".",
        path, systemError);
}

// The path without its last component; empty when there is nothing above it.
std::string parentOf(const std::string& path) {
    std::string_view rest = path;
    while (rest.size() > 1 && rest.back() == '/') {
        rest.remove_suffix(1);
    }
    const size_t slash = rest.rfind('/');
    if (slash == std::string_view::npos) {
        return {};
    }
    return slash == 0 ? std::string("/") : std::string(rest.substr(0, slash));
}

}  // namespace

namespace detail {

ErrorNumber errorNumberFor(int systemError) {
    return systemError == ENOENT || systemError == ENOTDIR ? ErrorNumber::FileNotFound
                                                           : ErrorNumber::FileAccess;
}

}  // namespace detail

bool isHiddenName(std::string_view name) {
    return !name.empty() && name.front() == '.' && name != "." && name != "..";
}

PathKind pathKind(const std::string& path) {
    if (path.empty() || path.find_first_of(std::string_view("*?\0", 3)) != std::string::npos) {
        return PathKind::Missing;
    }
    if (isHiddenName(lastComponent(path))) {
        return PathKind::Missing;
    }
    FileStatus status;
    if (currentFileSystem().status(path, Links::Follow, status) != 0) {
        return PathKind::Missing;
    }
    switch (status.kind) {
        case EntryKind::Folder:
            return PathKind::Folder;
        case EntryKind::File:
            return PathKind::File;
        default:
            return PathKind::Missing;
    }
}

bool isFile(const std::string& path) {
    FileStatus status;
    return currentFileSystem().status(path, Links::Follow, status) == 0 &&
           status.kind == EntryKind::File;
}

std::optional<EntryKind> entryKind(const std::string& path) {
    FileStatus status;
    if (currentFileSystem().status(path, Links::DoNotFollow, status) != 0) {
        return std::nullopt;
    }
    return status.kind;
}

std::optional<FileIdentity> fileIdentity(const std::string& path) {
    FileStatus status;
    if (path.empty() || currentFileSystem().status(path, Links::Follow, status) != 0) {
        return std::nullopt;
    }
    return FileIdentity{status.device, status.inode};
}

std::optional<std::string> findSameFile(const std::string& path,
                                        const std::vector<std::string>& candidates) {
    const std::optional<FileIdentity> identity = fileIdentity(path);
    if (!identity) {
        return std::nullopt;
    }
    for (const std::string& candidate : candidates) {
        if (fileIdentity(candidate) == identity) {
            return candidate;
        }
    }
    return std::nullopt;
}

InputFile::InputFile(std::string path) : m_path(std::move(path)) {
    if (int error = currentFileSystem().openForReading(m_path, m_handle)) {
        throw readFailure(m_path, error);
    }
    FileStatus status;
    if (int error = m_handle->status(status)) {
        throw readFailure(m_path, error);
    }
    if (status.kind == EntryKind::Folder) {
        throw FileError(ErrorNumber::FileAccess, quoted(m_path) + " is a folder, not a file.",
                        m_path, 0);
    }
    if (status.kind != EntryKind::File) {
        throw FileError(ErrorNumber::FileAccess, quoted(m_path) + " is not a file.", m_path, 0);
    }
    m_size = status.size;
}

size_t InputFile::readAt(uint64_t offset, char* buffer, size_t capacity) const {
    size_t total = 0;
    while (total < capacity) {
        size_t count = 0;
        if (int error = m_handle->readAt(offset + total, buffer + total, capacity - total, count)) {
            throw readFailure(m_path, error);
        }
        if (count == 0) {
            break;
        }
        total += count;
    }
    return total;
}

std::string InputFile::readFirst(size_t count) const {
    std::string bytes;
    bytes.resize(static_cast<size_t>(std::min<uint64_t>(count, m_size)));
    bytes.resize(readAt(0, bytes.data(), bytes.size()));
    if (bytes.size() == m_size) {
        // The file may have grown since it was opened.
        char buffer[65536];
        while (bytes.size() < count) {
            size_t more =
                readAt(bytes.size(), buffer, std::min(sizeof buffer, count - bytes.size()));
            if (more == 0) {
                break;
            }
            bytes.append(buffer, more);
        }
    }
    return bytes;
}

std::string InputFile::readAll() const {
    return readFirst(std::string().max_size());
}

std::string readFile(const std::string& path) {
    return InputFile(path).readAll();
}

std::string readFirstBytes(const std::string& path, size_t count) {
    return InputFile(path).readFirst(count);
}

std::vector<FolderEntry> listFolder(const std::string& path) {
    std::vector<FolderEntry> entries;
    if (int error = currentFileSystem().listFolder(path, entries)) {
        throw listFailure(path, error);
    }
    return entries;
}

void createFolders(const std::string& path, uint32_t permissions) {
    FileSystem& system = currentFileSystem();
    FileStatus status;
    if (system.status(path, Links::Follow, status) == 0) {
        if (status.kind != EntryKind::Folder) {
            throw FileError(ErrorNumber::FileAccess, quoted(path) + " is not a folder.", path,
                            ENOTDIR);
        }
        return;
    }
    const std::string parent = parentOf(path);
    if (!parent.empty() && parent != path) {
        createFolders(parent, permissions);
    }
    const int error = system.createFolder(path, permissions);
    // Another program may have made it meanwhile.
    if (error != 0 && !(error == EEXIST && pathKind(path) == PathKind::Folder)) {
        throw createFailure(path, error);
    }
}

}  // namespace plyfold::files
