#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "engine/common/file_system.h"

namespace plyfold::files {

// Writes a file so that it appears whole or not at all: the bytes go to a new temporary file
// (hidden, in the target's folder), which commit() flushes to the disk and renames over the
// target. Until then an existing target is untouched; a writer destroyed without commit()
// removes its temporary file, and so does every failure. Saving through a symbolic link
// replaces the file it ends at, not the link. A replaced file keeps its permissions; a new one
// gets those of any new file. Failures throw FileError, "Cannot save '<path>': ...", naming
// the target as the caller gave it.
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

    std::string m_targetPath;   // the file renamed over: the link's target for a symbolic link
    std::string m_displayPath;  // the path as the caller gave it, for messages
    std::string m_temporaryPath;
    std::unique_ptr<WriteHandle> m_file;
};

// Replaces the file with the bytes, through an AtomicFile.
void replaceFile(const std::string& path, std::string_view bytes);

}  // namespace plyfold::files
