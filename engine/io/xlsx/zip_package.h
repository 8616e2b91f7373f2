#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/io/xlsx/byte_source.h"

struct zip;

namespace plyfold::files {
class InputFile;
}

namespace plyfold::engine::xlsx_read {

// How far a part may inflate. A sheet or the shared strings may be large; the other parts
// are small. A part that inflates far more than deflate does for real data is taken for a
// zip bomb once it is past a size no ordinary file reaches at such a ratio.
inline constexpr uint64_t kMaxLargePartBytes = 2ull << 30;
inline constexpr uint64_t kMaxSmallPartBytes = 256ull << 20;
inline constexpr uint64_t kMaxPackageBytes = 4ull << 30;
inline constexpr uint64_t kRatioCheckFloor = 128ull << 20;
inline constexpr uint64_t kMaxCompressionRatio = 300;

// An Office Open XML package (a zip archive) opened for reading over libzip.
class ZipPackage {
public:
    // Reads the archive through the open file, which the package keeps. Throws ReadFailure:
    // NotPackage for what is no zip archive, Encrypted for a workbook protected by a password;
    // and files::FileError when the file cannot be read, then or later from a part.
    static std::unique_ptr<ZipPackage> openFile(std::shared_ptr<const files::InputFile> file);
    // The same, opening the file first.
    static std::unique_ptr<ZipPackage> openFile(const std::string& path);
    // The bytes must outlive the package.
    static std::unique_ptr<ZipPackage> openMemory(std::string_view bytes);

    ZipPackage(const ZipPackage&) = delete;
    ZipPackage& operator=(const ZipPackage&) = delete;
    ~ZipPackage();

    // The name under which a part (named without a leading "/") is stored: the name itself,
    // or failing that one that differs only in case, as some writers spell names
    // differently in the relationships and in the archive. nullopt when there is none.
    std::optional<std::string> findPart(std::string_view name) const;

    // Opens a stored part for reading; each byte read counts against maxBytes and against the
    // package's total. The package must outlive the source.
    std::unique_ptr<ByteSource> openPart(const std::string& storedName, uint64_t maxBytes);

    // The names of all stored entries, in the archive's order.
    std::vector<std::string> partNames() const;

    uint64_t inflatedBytes() const { return m_inflatedBytes; }

    struct FileState;

private:
    ZipPackage(struct zip* archive, FileState* file) : m_archive(archive), m_file(file) {}
    friend class ZipPartSource;

    // Throws the failure of the file under the archive, if there was one since the last call.
    void rethrowFileFailure();

    struct zip* m_archive;
    FileState* m_file;  // owned by the archive's source; null for an archive in memory
    uint64_t m_inflatedBytes = 0;
};

}  // namespace plyfold::engine::xlsx_read
