#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/common/error.h"
#include "engine/common/file_system.h"

// Reading and listing files (and, with atomic_file.h, writing them) go through here, and from
// here through the file system of file_system.h, which tests can replace. Paths are used as
// the caller gives them and messages name them that way.
namespace plyfold::files {

// A file that cannot be read, written or listed: FileNotFound when it (or its folder) does not
// exist, FileAccess for everything else. The description names the file.
class FileError : public SpreadsheetError {
public:
    FileError(ErrorNumber number, std::string description, std::string path, int systemError)
        : SpreadsheetError(number, std::move(description)),
          m_path(std::move(path)),
          m_systemError(systemError) {}

    // The file as the caller named it.
    const std::string& path() const { return m_path; }
    // The errno value of the failure; 0 when the system reported none (a folder given for a
    // file, say).
    int systemError() const { return m_systemError; }

private:
    std::string m_path;
    int m_systemError;
};

// What a path names, as the program sees it.
enum class PathKind { Missing, Folder, File };

// Missing when the path does not exist or cannot be examined; Folder; File for a regular file
// (or a link that ends at one). Hidden entries (a last component beginning with "."), paths
// with wildcards or NUL bytes, and anything that is neither a folder nor a regular file (a
// device, a pipe, a socket) are Missing, so nothing ever blocks opening them. Never fails.
PathKind pathKind(const std::string& path);

// True for a regular file or a link that ends at one, with no rules about names; false also
// when the path cannot be examined. Never fails.
bool isFile(const std::string& path);

// What the path itself is, a link at its end not followed (Link); nothing when it does not
// exist or cannot be examined. Never fails.
std::optional<EntryKind> entryKind(const std::string& path);

// The file a path leads to, links followed: two paths with the same identity are one file,
// whether a symbolic link or a hard link joins them.
struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;

    bool operator==(const FileIdentity&) const = default;
};

// Nothing when the path does not exist or cannot be examined. Never fails.
std::optional<FileIdentity> fileIdentity(const std::string& path);

// The first of the candidates that leads to the same file as path; nothing when none does or
// path does not exist. Never fails.
std::optional<std::string> findSameFile(const std::string& path,
                                        const std::vector<std::string>& candidates);

// A name beginning with "." (but not "." or ".." themselves): left out of listings.
bool isHiddenName(std::string_view name);

// A regular file open for reading at any offset. Opening a folder, a missing path or anything
// that is not a regular file throws FileError, and so does a failed read.
class InputFile {
public:
    explicit InputFile(std::string path);

    const std::string& path() const { return m_path; }
    // The size when the file was opened.
    uint64_t size() const { return m_size; }
    // Reads up to capacity bytes at offset; fewer only at the end of the file, 0 past it.
    size_t readAt(uint64_t offset, char* buffer, size_t capacity) const;
    // Everything from the start to the end, however long the file has grown since opening.
    std::string readAll() const;
    // The first count bytes, or the whole file when it is shorter.
    std::string readFirst(size_t count) const;

private:
    std::string m_path;
    std::unique_ptr<ReadHandle> m_handle;
    uint64_t m_size = 0;
};

// The whole content of a file.
std::string readFile(const std::string& path);

// The first count bytes of a file, or all of it when it is shorter.
std::string readFirstBytes(const std::string& path, size_t count);

// The entries of a folder (links followed to their kind), hidden ones included, in the order
// the system gives them. Throws FileError when the folder cannot be listed, also part way.
std::vector<FolderEntry> listFolder(const std::string& path);

// Makes sure the folder exists, creating it and the folders above it that are missing, each
// with the permission bits given (less the umask). Throws FileError naming the folder when one
// cannot be created or the name is taken by something that is not a folder.
void createFolders(const std::string& path, uint32_t permissions);

namespace detail {
// FileNotFound for an errno value that says the file or its folder does not exist, else
// FileAccess.
ErrorNumber errorNumberFor(int systemError);
}  // namespace detail

}  // namespace plyfold::files
