#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace plyfold::files {

// What a directory entry or a path is. Link appears only where links are not followed.
enum class EntryKind { File, Folder, Link, Other };

struct FileStatus {
    EntryKind kind = EntryKind::Other;
    uint64_t size = 0;
    uint32_t permissions = 0;  // the mode bits 07777
    // Together they tell one file from another, whatever names (links, hard links) lead to it.
    uint64_t device = 0;
    uint64_t inode = 0;
};

// One entry of a folder listing; a link has the kind of what it ends at, and one that ends
// nowhere (dangling, or a loop) is Other.
struct FolderEntry {
    std::string name;
    EntryKind kind = EntryKind::Other;

    bool operator==(const FolderEntry&) const = default;
};

// The operations under the file access of the whole program, each one system call or close
// to it. Each returns 0 or the errno value of the failure, so a stand-in can give any failure
// the system can; file_access.h turns them into errors that name the file.
class ReadHandle {
public:
    virtual ~ReadHandle() = default;
    virtual int status(FileStatus& status) = 0;
    // Reads up to capacity bytes at offset; count 0 at the end of the file.
    virtual int readAt(uint64_t offset, char* buffer, size_t capacity, size_t& count) = 0;
};

class WriteHandle {
public:
    virtual ~WriteHandle() = default;  // closes the file if close() was not called
    // Writes all the bytes, or fails (having written part of them, perhaps).
    virtual int write(const char* data, size_t size) = 0;
    virtual int setPermissions(uint32_t permissions) = 0;
    virtual int sync() = 0;
    virtual int close() = 0;
};

enum class Links { Follow, DoNotFollow };

class FileSystem {
public:
    virtual ~FileSystem() = default;
    virtual int status(const std::string& path, Links links, FileStatus& status) = 0;
    // Opens any kind of entry without blocking; the caller checks what it opened.
    virtual int openForReading(const std::string& path, std::unique_ptr<ReadHandle>& handle) = 0;
    // Creates a file that must not exist yet, with the permissions a new file gets.
    virtual int createNew(const std::string& path, std::unique_ptr<WriteHandle>& handle) = 0;
    virtual int rename(const std::string& from, const std::string& to) = 0;
    virtual int remove(const std::string& path) = 0;
    // Makes the folder's entries (a rename into it) durable.
    virtual int syncFolder(const std::string& path) = 0;
    // Every entry but "." and "..", in the order the system gives them.
    virtual int listFolder(const std::string& path, std::vector<FolderEntry>& entries) = 0;
    // Creates one folder (its parent must exist) with the permission bits given, less the
    // umask; EEXIST when the name is taken.
    virtual int createFolder(const std::string& path, uint32_t permissions) = 0;
};

// The operating system's file system.
FileSystem& systemFileSystem();

// The file system every operation of file_access.h goes through: the system's, unless a
// FileSystemOverride is in place.
FileSystem& currentFileSystem();

// Puts another file system in place for the whole program while it lives (a test's stand-in),
// then restores the one before. Overrides nest; they are not meant to change while other
// threads use files.
class FileSystemOverride {
public:
    explicit FileSystemOverride(FileSystem& replacement);
    ~FileSystemOverride();
    FileSystemOverride(const FileSystemOverride&) = delete;
    FileSystemOverride& operator=(const FileSystemOverride&) = delete;

private:
    FileSystem* m_previous;
};

}  // namespace plyfold::files
