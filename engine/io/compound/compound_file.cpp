#include "engine/io/compound/compound_file.h"

#include <algorithm>
#include <memory>

#include "engine/common/byte_order.h"
#include "engine/common/text.h"

namespace plyfold::engine::compound {
namespace {

constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kFreeSector = 0xFFFFFFFF;
constexpr uint32_t kMaxRegularSector = 0xFFFFFFFA;
constexpr size_t kHeaderSize = 512;
constexpr size_t kHeaderFatSectors = 109;
constexpr size_t kEntrySize = 128;
constexpr uint32_t kMiniSectorSize = 64;

// Where the header keeps what the reader needs.
constexpr size_t kSectorShiftAt = 0x1E;
constexpr size_t kMiniSectorShiftAt = 0x20;
constexpr size_t kDirectoryStartAt = 0x30;
constexpr size_t kMiniCutoffAt = 0x38;
constexpr size_t kMiniFatStartAt = 0x3C;
constexpr size_t kDifatStartAt = 0x44;
constexpr size_t kHeaderFatAt = 0x4C;

[[noreturn]] void damaged(const char* what) {
    throw CompoundDamage(what);
}

// True when the bytes do not begin with a compound-file header, and so are no such file.
bool lacksSignature(const ReadAt& readAt, uint64_t size, std::string& header) {
    header.assign(kHeaderSize, '\0');
    return size < kHeaderSize || readAt(0, header.data(), kHeaderSize) != kHeaderSize ||
           std::string_view(header).substr(0, kSignature.size()) != kSignature;
}

ReadAt memoryReader(std::string_view bytes) {
    return [bytes](uint64_t offset, char* buffer, size_t n) -> size_t {
        if (offset >= bytes.size()) {
            return 0;
        }
        const size_t count = static_cast<size_t>(std::min<uint64_t>(n, bytes.size() - offset));
        std::copy_n(bytes.data() + offset, count, buffer);
        return count;
    };
}

}  // namespace

namespace detail {

// The sectors of a compound file read through readAt, and the chains the allocation table
// links them into. The table's own sectors are found only as far as a chain needs them, so a
// look at the directory of a large file reads a few sectors, not the whole table. No chain is
// longer than the file has sectors: a loop ends as damage.
class SectorChains {
public:
    // The header must have been checked for the signature.
    SectorChains(ReadAt readAt, uint64_t size, std::string header)
        : m_readAt(std::move(readAt)), m_size(size), m_header(std::move(header)) {
        const uint16_t shift = le16(m_header, kSectorShiftAt);
        if (shift != 9 && shift != 12) {
            damaged("the file header states an impossible sector size");
        }
        m_sectorSize = uint32_t{1} << shift;
        m_chainLimit = m_size / m_sectorSize + 1;
        for (size_t i = 0; i < kHeaderFatSectors; ++i) {
            addFatSector(le32(m_header, kHeaderFatAt + 4 * i));
        }
        m_nextDifat = le32(m_header, kDifatStartAt);
    }

    uint32_t sectorSize() const { return m_sectorSize; }
    uint32_t headerField(size_t at) const { return le32(m_header, at); }
    uint16_t headerField16(size_t at) const { return le16(m_header, at); }

    // Reads the whole list of allocation-table sectors and checks that each lies in the file.
    void checkWholeTable() {
        while (readNextDifatSector()) {
        }
        if (m_fatSectors.size() > m_chainLimit) {
            damaged("the allocation table is larger than the file");
        }
        for (uint32_t s : m_fatSectors) {
            if ((uint64_t{s} + 1) * m_sectorSize >= m_size) {
                damaged("a sector lies beyond the end of the file");
            }
        }
    }

    // Appends the sector to out. The last sector of a file may be cut short by writers that
    // do not pad it.
    void appendSector(uint32_t index, std::string& out) const {
        const uint64_t offset = (uint64_t{index} + 1) * m_sectorSize;
        if (offset >= m_size) {
            damaged("a sector lies beyond the end of the file");
        }
        const size_t length =
            static_cast<size_t>(std::min<uint64_t>(m_sectorSize, m_size - offset));
        const size_t at = out.size();
        out.resize(at + length);
        if (m_readAt(offset, out.data() + at, length) != length) {
            damaged("the file could not be read");
        }
    }

    // Calls visit(sector) for each sector of the chain from start, in order, and checks that
    // every one of them is linked in the table.
    template <typename Visit>
    void walk(uint32_t start, uint64_t maxSectors, Visit&& visit) {
        const uint64_t limit = std::min(maxSectors, m_chainLimit);
        uint64_t length = 0;
        for (uint32_t s = start; s != kEndOfChain && s != kFreeSector;) {
            if (s > kMaxRegularSector || length++ >= limit) {
                damaged("a chain of sectors is broken");
            }
            visit(s);
            s = next(s);
        }
    }

    // The first size bytes of the chain from start (all of it for UINT64_MAX).
    std::string readChain(uint32_t start, uint64_t size) {
        std::string out;
        walk(start, UINT64_MAX, [&](uint32_t s) {
            if (out.size() < size) {
                appendSector(s, out);
            }
        });
        if (size != UINT64_MAX) {
            if (out.size() < size) {
                damaged("a stream is shorter than the directory states");
            }
            out.resize(static_cast<size_t>(size));
        }
        return out;
    }

    // The entries of the directory, unused slots left out, from at most maxSectors sectors.
    template <typename Take>
    void readDirectory(uint64_t maxSectors, Take&& take) {
        std::string sector;
        walk(headerField(kDirectoryStartAt), maxSectors, [&](uint32_t s) {
            sector.clear();
            appendSector(s, sector);
            for (size_t at = 0; at + kEntrySize <= sector.size(); at += kEntrySize) {
                DirectoryEntry entry = parseEntry(std::string_view(sector).substr(at, kEntrySize));
                if (entry.type != EntryType::Unused) {
                    take(std::move(entry));
                }
            }
        });
    }

private:
    DirectoryEntry parseEntry(std::string_view b) const {
        DirectoryEntry entry;
        const size_t nameBytes = std::min<size_t>(le16(b, 64), 64);
        for (size_t i = 0; i + 1 < nameBytes; i += 2) {
            const uint16_t unit = le16(b, i);
            if (unit == 0) {
                break;
            }
            appendUtf8(entry.name, unit);
        }
        entry.type = static_cast<EntryType>(byteAt(b, 66));
        entry.start = le32(b, 116);
        entry.size = le32(b, 120);
        if (m_sectorSize == 4096) {
            // Files of 512-byte sectors may leave junk in the high half.
            entry.size |= uint64_t{le32(b, 124)} << 32;
        }
        return entry;
    }

    // The list leaves out unused slots: the table is the regular sectors listed, in order.
    void addFatSector(uint32_t s) {
        if (s <= kMaxRegularSector) {
            m_fatSectors.push_back(s);
        }
    }

    // Adds the table sectors listed in the next sector of the chain that goes on from the
    // header's list; false at its end. Each such sector ends in the number of the next.
    bool readNextDifatSector() {
        if (m_nextDifat > kMaxRegularSector) {
            return false;
        }
        if (m_difatSectorsRead++ >= m_chainLimit) {
            damaged("the table of allocation sectors loops");
        }
        std::string block;
        appendSector(m_nextDifat, block);
        if (block.size() < 4) {
            damaged("the table of allocation sectors is cut short");
        }
        for (size_t i = 0; i + 4 < block.size(); i += 4) {
            addFatSector(le32(block, i));
        }
        m_nextDifat = le32(block, block.size() - 4);
        return true;
    }

    // The sector that follows s in its chain.
    uint32_t next(uint32_t s) {
        const uint32_t perSector = m_sectorSize / 4;
        const size_t fatIndex = s / perSector;
        while (fatIndex >= m_fatSectors.size() && readNextDifatSector()) {
        }
        if (fatIndex >= m_fatSectors.size()) {
            damaged("a chain of sectors is broken");
        }
        const uint64_t at =
            (uint64_t{m_fatSectors[fatIndex]} + 1) * m_sectorSize + 4 * uint64_t{s % perSector};
        char entry[4];
        if (at + 4 > m_size || m_readAt(at, entry, 4) != 4) {
            damaged("a chain of sectors is broken");
        }
        return le32(std::string_view(entry, 4), 0);
    }

    ReadAt m_readAt;
    uint64_t m_size;
    std::string m_header;
    uint32_t m_sectorSize = 512;
    uint64_t m_chainLimit = 0;  // the sectors of the file, and one for a short last sector
    std::vector<uint32_t> m_fatSectors;
    uint32_t m_nextDifat = kEndOfChain;
    uint64_t m_difatSectorsRead = 0;
};

}  // namespace detail

using detail::SectorChains;

CompoundFile::CompoundFile(std::string_view bytes) {
    ReadAt readAt = memoryReader(bytes);
    std::string header;
    if (lacksSignature(readAt, bytes.size(), header)) {
        damaged("the file header is missing or cut short");
    }
    m_chains = std::make_unique<SectorChains>(std::move(readAt), bytes.size(), std::move(header));
    if (m_chains->headerField16(kMiniSectorShiftAt) != 6) {
        damaged("the file header states an impossible sector size");
    }
    m_miniCutoff = m_chains->headerField(kMiniCutoffAt);
    m_chains->checkWholeTable();
    m_chains->readDirectory(UINT64_MAX, [this](DirectoryEntry entry) {
        m_names.push_back(entry.name);
        m_entries.push_back(std::move(entry));
    });
    if (m_entries.empty() || m_entries.front().type != EntryType::Root) {
        damaged("the directory has no root entry");
    }
    const DirectoryEntry& root = m_entries.front();
    m_miniStream = m_chains->readChain(root.start, root.size);
    const std::string miniFat =
        m_chains->readChain(m_chains->headerField(kMiniFatStartAt), UINT64_MAX);
    for (size_t i = 0; i + 4 <= miniFat.size(); i += 4) {
        m_miniFat.push_back(le32(miniFat, i));
    }
}

CompoundFile::~CompoundFile() = default;

std::string CompoundFile::readMiniChain(uint32_t start, uint64_t size) const {
    std::string out;
    size_t steps = 0;
    for (uint32_t s = start; s != kEndOfChain && s != kFreeSector && out.size() < size;) {
        const uint64_t offset = uint64_t{s} * kMiniSectorSize;
        if (s >= m_miniFat.size() || ++steps > m_miniStream.size() / kMiniSectorSize ||
            offset + kMiniSectorSize > m_miniStream.size()) {
            damaged("a chain of small sectors is broken");
        }
        out.append(m_miniStream, static_cast<size_t>(offset), kMiniSectorSize);
        s = m_miniFat[s];
    }
    if (out.size() < size) {
        damaged("a stream is shorter than the directory states");
    }
    out.resize(static_cast<size_t>(size));
    return out;
}

bool CompoundFile::hasEntry(std::string_view name) const {
    return std::any_of(m_entries.begin(), m_entries.end(), [name](const DirectoryEntry& entry) {
        return equalsIgnoringAsciiCase(entry.name, name);
    });
}

std::optional<std::string> CompoundFile::readStream(
    std::initializer_list<std::string_view> names) const {
    for (std::string_view name : names) {
        for (const DirectoryEntry& entry : m_entries) {
            if (entry.type == EntryType::Stream && equalsIgnoringAsciiCase(entry.name, name)) {
                return entry.size < m_miniCutoff ? readMiniChain(entry.start, entry.size)
                                                 : m_chains->readChain(entry.start, entry.size);
            }
        }
    }
    return std::nullopt;
}

std::optional<std::vector<DirectoryEntry>> readDirectory(const ReadAt& readAt, uint64_t size,
                                                         uint64_t maxSectors) {
    std::string header;
    if (lacksSignature(readAt, size, header)) {
        return std::nullopt;
    }
    std::optional<SectorChains> chains;
    try {
        chains.emplace(readAt, size, std::move(header));
    } catch (const CompoundDamage&) {
        return std::nullopt;
    }
    std::vector<DirectoryEntry> entries;
    try {
        chains->readDirectory(
            maxSectors, [&entries](DirectoryEntry entry) { entries.push_back(std::move(entry)); });
    } catch (const CompoundDamage&) {
        // What was read before the damage stands.
    }
    return entries;
}

}  // namespace plyfold::engine::compound
