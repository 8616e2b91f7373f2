#pragma once

#include <cstddef>
#include <string>

#include "engine/common/error.h"
#include "engine/io/xlsx/zip_writer.h"

namespace plyfold::engine::xlsx {

// What AtomicFileWriter throws: its description already names the file.
class FileSaveError : public SpreadsheetError {
public:
    using SpreadsheetError::SpreadsheetError;
};

// Writes a file so that it appears whole or not at all: the bytes go to a new temporary file
// in the target's folder, which commit() flushes to the disk and renames over the target.
// Until then an existing target is untouched; a writer destroyed without commit() removes
// its temporary file. Failures throw FileSaveError naming the target.
class AtomicFileWriter : public ByteSink {
public:
    explicit AtomicFileWriter(const std::string& targetPath);
    ~AtomicFileWriter() override;
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    void write(const char* data, size_t size) override;
    void commit();

    const std::string& temporaryPath() const { return m_temporaryPath; }

private:
    [[noreturn]] void fail(const std::string& what, int error);
    void discard();

    std::string m_targetPath;   // the file renamed over: the link's target for a symbolic link
    std::string m_displayPath;  // the path as the caller gave it, for messages
    std::string m_temporaryPath;
    int m_fd = -1;
    bool m_committed = false;
};

}  // namespace plyfold::engine::xlsx
