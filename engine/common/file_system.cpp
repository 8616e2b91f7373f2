#include "engine/common/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string_view>

namespace plyfold::files {
namespace {

EntryKind kindOfMode(mode_t mode) {
    if (S_ISREG(mode)) {
        return EntryKind::File;
    }
    if (S_ISDIR(mode)) {
        return EntryKind::Folder;
    }
    return S_ISLNK(mode) ? EntryKind::Link : EntryKind::Other;
}

FileStatus statusOf(const struct stat& info) {
    return {kindOfMode(info.st_mode), static_cast<uint64_t>(info.st_size),
            static_cast<uint32_t>(info.st_mode & 07777), static_cast<uint64_t>(info.st_dev),
            static_cast<uint64_t>(info.st_ino)};
}

class PosixReadHandle : public ReadHandle {
public:
    explicit PosixReadHandle(int fd) : m_fd(fd) {}
    ~PosixReadHandle() override { ::close(m_fd); }
    PosixReadHandle(const PosixReadHandle&) = delete;
    PosixReadHandle& operator=(const PosixReadHandle&) = delete;

    int status(FileStatus& status) override {
        struct stat info {};
        if (::fstat(m_fd, &info) != 0) {
            return errno;
        }
        status = statusOf(info);
        return 0;
    }

    int readAt(uint64_t offset, char* buffer, size_t capacity, size_t& count) override {
        while (true) {
            ssize_t got = ::pread(m_fd, buffer, capacity, static_cast<off_t>(offset));
            if (got >= 0) {
                count = static_cast<size_t>(got);
                return 0;
            }
            if (errno != EINTR) {
                return errno;
            }
        }
    }

private:
    int m_fd;
};

class PosixWriteHandle : public WriteHandle {
public:
    explicit PosixWriteHandle(int fd) : m_fd(fd) {}
    ~PosixWriteHandle() override {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    PosixWriteHandle(const PosixWriteHandle&) = delete;
    PosixWriteHandle& operator=(const PosixWriteHandle&) = delete;

    int write(const char* data, size_t size) override {
        while (size > 0) {
            ssize_t written = ::write(m_fd, data, size);
            if (written < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return errno;
            }
            data += written;
            size -= static_cast<size_t>(written);
        }
        return 0;
    }

    int setPermissions(uint32_t permissions) override {
        return ::fchmod(m_fd, static_cast<mode_t>(permissions)) == 0 ? 0 : errno;
    }

    int sync() override { return ::fsync(m_fd) == 0 ? 0 : errno; }

    int close() override {
        int fd = m_fd;
        m_fd = -1;
        // Linux releases the descriptor even when close reports an error: never retry it.
        return ::close(fd) == 0 ? 0 : errno;
    }

private:
    int m_fd;
};

struct DirectoryCloser {
    void operator()(DIR* directory) const { ::closedir(directory); }
};

// The kind of an entry, following a link to what it ends at.
EntryKind kindOfEntry(int folder, const dirent& entry) {
    switch (entry.d_type) {
        case DT_REG:
            return EntryKind::File;
        case DT_DIR:
            return EntryKind::Folder;
        case DT_LNK:
        case DT_UNKNOWN:
            break;
        default:
            return EntryKind::Other;
    }
    struct stat info {};
    if (::fstatat(folder, entry.d_name, &info, 0) != 0) {
        return EntryKind::Other;
    }
    EntryKind kind = kindOfMode(info.st_mode);
    return kind == EntryKind::Link ? EntryKind::Other : kind;
}

class PosixFileSystem : public FileSystem {
public:
    int status(const std::string& path, Links links, FileStatus& status) override {
        struct stat info {};
        int result =
            links == Links::Follow ? ::stat(path.c_str(), &info) : ::lstat(path.c_str(), &info);
        if (result != 0) {
            return errno;
        }
        status = statusOf(info);
        return 0;
    }

    int openForReading(const std::string& path, std::unique_ptr<ReadHandle>& handle) override {
        // Without O_NONBLOCK opening a pipe would wait for a writer; it changes nothing for a
        // regular file.
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (fd < 0) {
            return errno;
        }
        handle = std::make_unique<PosixReadHandle>(fd);
        return 0;
    }

    int createNew(const std::string& path, std::unique_ptr<WriteHandle>& handle) override {
        // 0666 lets the umask decide the permissions, as for any new file.
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            return errno;
        }
        handle = std::make_unique<PosixWriteHandle>(fd);
        return 0;
    }

    int rename(const std::string& from, const std::string& to) override {
        return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
    }

    int remove(const std::string& path) override { return ::unlink(path.c_str()) == 0 ? 0 : errno; }

    int syncFolder(const std::string& path) override {
        int fd = ::open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            return errno;
        }
        int result = ::fsync(fd) == 0 ? 0 : errno;
        ::close(fd);
        return result;
    }

    int listFolder(const std::string& path, std::vector<FolderEntry>& entries) override {
        std::unique_ptr<DIR, DirectoryCloser> directory(::opendir(path.c_str()));
        if (!directory) {
            return errno;
        }
        const int fd = ::dirfd(directory.get());
        while (true) {
            errno = 0;
            const dirent* entry = ::readdir(directory.get());
            if (!entry) {
                return errno;
            }
            std::string_view name = entry->d_name;
            if (name == "." || name == "..") {
                continue;
            }
            entries.push_back({std::string(name), kindOfEntry(fd, *entry)});
        }
    }

    int createFolder(const std::string& path, uint32_t permissions) override {
        return ::mkdir(path.c_str(), static_cast<mode_t>(permissions)) == 0 ? 0 : errno;
    }
};

std::atomic<FileSystem*> g_override{nullptr};

}  // namespace

FileSystem& systemFileSystem() {
    static PosixFileSystem system;
    return system;
}

FileSystem& currentFileSystem() {
    FileSystem* replacement = g_override.load(std::memory_order_acquire);
    return replacement ? *replacement : systemFileSystem();
}

FileSystemOverride::FileSystemOverride(FileSystem& replacement)
    : m_previous(g_override.exchange(&replacement, std::memory_order_acq_rel)) {}

FileSystemOverride::~FileSystemOverride() {
    g_override.store(m_previous, std::memory_order_release);
}

}  // namespace plyfold::files
