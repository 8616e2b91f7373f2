#include "engine/io/xlsx/atomic_file_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

#include "engine/common/error.h"

namespace plyfold::engine::xlsx {
namespace {

namespace fs = std::filesystem;

std::string randomSuffix() {
    static thread_local std::mt19937_64 generator{std::random_device{}()};
    static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string suffix;
    uint64_t bits = generator();
    for (int i = 0; i < 10; ++i) {
        suffix.push_back(kDigits[bits % 36]);
        bits /= 36;
    }
    return suffix;
}

}  // namespace

AtomicFileWriter::AtomicFileWriter(const std::string& targetPath)
    : m_targetPath(targetPath), m_displayPath(targetPath) {
    if (targetPath.empty()) {
        throw FileSaveError(ErrorNumber::ApplicationDefined, "Cannot save: no file name.");
    }
    std::error_code ec;
    fs::path target(targetPath);
    // Saving through a symbolic link replaces the file it points to, not the link.
    if (fs::is_symlink(target, ec)) {
        fs::path resolved = fs::weakly_canonical(target, ec);
        if (!ec) {
            target = resolved;
            m_targetPath = resolved.string();
        }
    }
    if (fs::is_directory(target, ec)) {
        throw FileSaveError(ErrorNumber::ApplicationDefined,
                            "Cannot save '" + m_displayPath + "': it is a folder.");
    }
    fs::path folder = target.parent_path();
    std::string base = "." + target.filename().string();
    // The name stays short enough for the file system whatever the target's length.
    if (base.size() > 200) {
        base.resize(200);
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = folder / (base + "." + randomSuffix() + ".tmp");
        // 0666 lets the umask decide the permissions, as for any new file.
        int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            m_fd = fd;
            m_temporaryPath = candidate.string();
            break;
        }
        if (errno != EEXIST) {
            fail("cannot create a file in its folder", errno);
        }
    }
    if (m_fd < 0) {
        fail("cannot create a temporary file in its folder", EEXIST);
    }
    // A replaced file keeps the permissions it had.
    struct stat existing {};
    if (::stat(m_targetPath.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        ::fchmod(m_fd, existing.st_mode & 07777);
    }
}

AtomicFileWriter::~AtomicFileWriter() {
    if (!m_committed) {
        discard();
    }
}

void AtomicFileWriter::discard() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temporaryPath.empty()) {
        ::unlink(m_temporaryPath.c_str());
        m_temporaryPath.clear();
    }
}

void AtomicFileWriter::fail(const std::string& what, int error) {
    discard();
    std::string description = "Cannot save '" + m_displayPath + "': " + what;
    if (error != 0) {
        description += " (" + std::string(std::strerror(error)) + ")";
    }
    description += ".";
    throw FileSaveError(ErrorNumber::ApplicationDefined, description);
}

void AtomicFileWriter::write(const char* data, size_t size) {
    if (m_fd < 0) {
        fail("the file is no longer open", 0);
    }
    while (size > 0) {
        ssize_t written = ::write(m_fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail("writing failed", errno);
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
}

void AtomicFileWriter::commit() {
    if (m_fd < 0) {
        fail("the file is no longer open", 0);
    }
    // The data must be on the disk before the rename makes it the file, or a crash could
    // leave an empty file under the target's name.
    if (::fsync(m_fd) != 0) {
        fail("writing to the disk failed", errno);
    }
    int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) {
        fail("writing to the disk failed", errno);
    }
    if (::rename(m_temporaryPath.c_str(), m_targetPath.c_str()) != 0) {
        fail("cannot replace the file", errno);
    }
    m_temporaryPath.clear();
    m_committed = true;
    // Make the rename itself durable; a failure here leaves a complete file either way.
    std::string folder = std::filesystem::path(m_targetPath).parent_path().string();
    int dirFd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

}  // namespace plyfold::engine::xlsx
