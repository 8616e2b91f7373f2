#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// OLE compound files (the container of .xls workbooks and of password-protected Office Open
// XML packages): a header, an allocation table of sector chains, a directory of streams and
// storages, and a mini stream that holds the small streams in 64-byte sectors.
namespace plyfold::engine::compound {

// The container is damaged; what() says how, briefly.
class CompoundDamage : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads up to n bytes at offset into buffer and returns how many it read.
using ReadAt = std::function<size_t(uint64_t offset, char* buffer, size_t n)>;

inline constexpr std::string_view kSignature{"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8};

enum class EntryType : uint8_t { Unused = 0, Storage = 1, Stream = 2, Root = 5 };

struct DirectoryEntry {
    std::string name;  // UTF-8
    EntryType type = EntryType::Unused;
    uint32_t start = 0;
    uint64_t size = 0;
};

namespace detail {
class SectorChains;
}

// A compound file held whole in memory. The allocation table, the directory and the mini
// stream are read and checked at construction; every chain is bounded by the file's size,
// whatever the header and the directory claim.
class CompoundFile {
public:
    // Throws CompoundDamage when the container is damaged.
    explicit CompoundFile(std::string_view bytes);
    ~CompoundFile();

    // The names of all streams and storages, in directory order.
    const std::vector<std::string>& entryNames() const { return m_names; }
    bool hasEntry(std::string_view name) const;  // compared without regard to ASCII case
    // The content of the first stream with one of the names (any case); nullopt when none.
    std::optional<std::string> readStream(std::initializer_list<std::string_view> names) const;

private:
    std::string readMiniChain(uint32_t start, uint64_t size) const;

    std::unique_ptr<detail::SectorChains> m_chains;  // reads from the bytes given
    uint32_t m_miniCutoff = 4096;
    std::vector<uint32_t> m_miniFat;
    std::vector<DirectoryEntry> m_entries;
    std::vector<std::string> m_names;
    std::string m_miniStream;
};

// The directory entries (unused slots left out) of a compound file read through readAt, for
// a quick look at what a file holds. Only the header, the allocation-table entries of the
// directory's chain and at most maxSectors directory sectors are read, so a file of any size
// costs a few sectors. Damage ends the listing: the entries read before it are kept. nullopt
// when the file does not begin with a compound-file header.
std::optional<std::vector<DirectoryEntry>> readDirectory(const ReadAt& readAt, uint64_t size,
                                                         uint64_t maxSectors);

}  // namespace plyfold::engine::compound
