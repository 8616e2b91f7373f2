#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "engine/common/file_system.h"
#include "engine/common/temporary_files.h"

namespace plyfold::files {

// Writes a file so that it appears whole or not at all: the bytes go to a new temporary file
// (hidden, in the folder of the name given), which commit() flushes to the disk and renames
// over that name. Until then an existing file is untouched; a writer destroyed without
// commit() removes its temporary file, and so does every failure, and so does a signal that
// ends the program (see temporary_files.h). The name given is replaced as rename replaces it:
// a symbolic link there is replaced by the new file, never followed to the file it points at.
// A replaced regular file's permissions are kept; a new file (also one that replaces a link)
// gets those of any new file. Failures throw FileError, "Cannot save '<path>': ...", naming
// the file as the caller gave it.
class AtomicFile {
public:
    explicit AtomicFile(const std::string& path);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    void write(const char* data, size_t size);
    void write(std::string_view bytes) { write(bytes.data(), bytes.size()); }
    void commit();

    const std::string& temporaryPath() const { return m_temporaryPath; }

private:
    [[noreturn]] void fail(const std::string& what, int systemError);
    void discard();

    std::string m_targetPath;
    std::string m_temporaryPath;
    std::unique_ptr<WriteHandle> m_file;
    std::unique_ptr<TemporaryFileRegistration> m_registration;
};

// Replaces the file with the bytes, through an AtomicFile.
void replaceFile(const std::string& path, std::string_view bytes);

}  // namespace plyfold::files
