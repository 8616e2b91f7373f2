#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/common/file_system.h"

namespace plyfold::test {

// What a rule of FailingFileSystem makes fail.
enum class FileOperation {
    Open,        // opening a file for reading
    Read,        // reading an open file
    List,        // listing a folder
    Create,      // creating a new file (the temporary file of a save)
    Write,       // writing to a new file
    Sync,        // flushing a new file to the disk
    Rename,      // renaming, by the path renamed from or to
    Remove,      // removing a file
    MakeFolder,  // creating a folder
};

// The real file system, with failures on demand: for as long as it lives it is the file
// system of the whole program (files::currentFileSystem), and every operation goes through to
// the system unless a rule makes it fail with the errno value given. A rule's path matches
// that path and everything under it, so a rule on a folder covers the temporary file a save
// makes there. It also counts how often each path was opened for reading.
class FailingFileSystem : public files::FileSystem {
public:
    FailingFileSystem();
    ~FailingFileSystem() override;

    // Makes operation fail on path with the error. For Read and Write the first afterBytes
    // bytes of each file still go through, so the failure comes part way: a disk that fills
    // up, a read error in the middle of a file.
    void fail(FileOperation operation, const std::string& path, int error, uint64_t afterBytes = 0);
    void clearFailures();

    // How often the path, spelled exactly so, was opened for reading.
    int opensOf(const std::string& path) const;
    // How many of the rules have made an operation fail.
    int failuresGiven() const;

    int status(const std::string& path, files::Links links, files::FileStatus& status) override;
    int openForReading(const std::string& path,
                       std::unique_ptr<files::ReadHandle>& handle) override;
    int createNew(const std::string& path, std::unique_ptr<files::WriteHandle>& handle) override;
    int rename(const std::string& from, const std::string& to) override;
    int remove(const std::string& path) override;
    int syncFolder(const std::string& path) override;
    int listFolder(const std::string& path, std::vector<files::FolderEntry>& entries) override;
    int createFolder(const std::string& path, uint32_t permissions) override;

    struct State;

private:
    files::FileSystem& m_system;
    std::shared_ptr<State> m_state;  // shared with the open files, which may outlive this
    files::FileSystemOverride m_override;
};

}  // namespace plyfold::test
