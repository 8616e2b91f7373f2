#include "engine/common/atomic_file.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <random>

#include "engine/common/file_access.h"

namespace plyfold::files {
namespace {

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

// The folder part of a path, without its last separator; "" for a bare name, "/" for a file
// at the root.
std::string folderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {};
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

AtomicFile::AtomicFile(const std::string& path) : m_targetPath(path) {
    if (path.empty()) {
        throw FileError(ErrorNumber::FileAccess, "Cannot save: no file name.", path, 0);
    }
    FileSystem& system = currentFileSystem();
    // The name itself, not what a link there points at: the link is what gets replaced.
    FileStatus status;
    const bool exists = system.status(path, Links::DoNotFollow, status) == 0;
    if (exists && status.kind == EntryKind::Folder) {
        throw FileError(ErrorNumber::FileAccess, "Cannot save '" + path + "': it is a folder.",
                        path, EISDIR);
    }
    std::string folder = folderOf(path);
    std::string base = "." + nameOf(path);
    // The name stays short enough for the file system whatever the target's length.
    if (base.size() > 200) {
        base.resize(200);
    }
    int error = EEXIST;
    for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
        std::string candidate = base + "." + randomSuffix() + ".tmp";
        if (!folder.empty()) {
            candidate.insert(0, folder == "/" ? folder : folder + "/");
        }
        // Registered before it exists, so that no moment passes in which a signal would
        // leave it behind; a name that turns out to be taken is unregistered at once.
        m_registration = std::make_unique<TemporaryFileRegistration>(candidate);
        error = system.createNew(candidate, m_file);
        if (error == 0) {
            m_temporaryPath = candidate;
        } else {
            m_registration.reset();
        }
    }
    if (error != 0) {
        fail("cannot create a file in its folder", error);
    }
    if (exists && status.kind == EntryKind::File) {
        // Without it the replaced file would take the permissions of a new one; a failure
        // here still leaves a good file, so it is not one of the save.
        m_file->setPermissions(status.permissions);
    }
}

AtomicFile::~AtomicFile() {
    discard();
}

void AtomicFile::discard() {
    m_file.reset();
    if (!m_temporaryPath.empty()) {
        currentFileSystem().remove(m_temporaryPath);
        m_temporaryPath.clear();
    }
    m_registration.reset();
}

void AtomicFile::fail(const std::string& what, int systemError) {
    discard();
    std::string description = "Cannot save '" + m_targetPath + "': " + what;
    if (systemError != 0) {
        description += " (" + std::string(std::strerror(systemError)) + ")";
    }
    description += ".";
    throw FileError(detail::errorNumberFor(systemError), description, m_targetPath, systemError);
}

void AtomicFile::write(const char* data, size_t size) {
    if (!m_file) {
        fail("the file is no longer open", 0);
    }
    if (int error = m_file->write(data, size)) {
        fail("writing failed", error);
    }
}

void AtomicFile::commit() {
    if (!m_file) {
        fail("the file is no longer open", 0);
    }
    // The data must be on the disk before the rename makes it the file, or a crash could
    // leave an empty file under the target's name.
    if (int error = m_file->sync()) {
        fail("writing to the disk failed", error);
    }
    int error = m_file->close();
    m_file.reset();
    if (error != 0) {
        fail("writing to the disk failed", error);
    }
    FileSystem& system = currentFileSystem();
    if (int renameError = system.rename(m_temporaryPath, m_targetPath)) {
        fail("cannot replace the file", renameError);
    }
    m_temporaryPath.clear();
    m_registration.reset();
    // Makes the rename itself durable; a failure here leaves a complete file either way.
    system.syncFolder(folderOf(m_targetPath));
}

void replaceFile(const std::string& path, std::string_view bytes) {
    AtomicFile file(path);
    file.write(bytes);
    file.commit();
}

}  // namespace plyfold::files
