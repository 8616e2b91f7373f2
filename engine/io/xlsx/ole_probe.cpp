#include "engine/io/xlsx/ole_probe.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace plyfold::engine::xlsx_read {
namespace {

constexpr unsigned char kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kLastRegularSector = 0xFFFFFFFA;
constexpr size_t kHeaderDifatEntries = 109;
constexpr size_t kDirectoryEntrySize = 128;
// The streams looked for sit in the first directory sectors; real files have a handful.
constexpr uint64_t kMaxDirectorySectors = 4096;

uint32_t le32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t le16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

class CompoundFile {
public:
    CompoundFile(const ReadAt& readAt, uint64_t size) : m_readAt(readAt), m_size(size) {}

    bool readHeader() {
        if (!readExact(0, m_header, sizeof m_header) ||
            std::memcmp(m_header, kSignature, sizeof kSignature) != 0) {
            return false;
        }
        uint16_t shift = le16(m_header + 30);
        if (shift != 9 && shift != 12) {
            return false;
        }
        m_sectorSize = size_t(1) << shift;
        m_sectorCount = m_size / m_sectorSize;  // an upper bound for every chain
        return true;
    }

    // The names of all directory entries, following the directory's chain of sectors.
    std::vector<std::u16string> entryNames() {
        std::vector<std::u16string> names;
        std::vector<unsigned char> sector(m_sectorSize);
        uint32_t current = le32(m_header + 48);
        for (uint64_t steps = 0; current <= kLastRegularSector &&
                                 steps <= std::min(m_sectorCount, kMaxDirectorySectors);
             ++steps) {
            if (!readSector(current, sector.data())) {
                break;
            }
            for (size_t at = 0; at + kDirectoryEntrySize <= m_sectorSize;
                 at += kDirectoryEntrySize) {
                const unsigned char* entry = sector.data() + at;
                size_t bytes = std::min<size_t>(le16(entry + 64), 64);
                std::u16string name;
                for (size_t i = 0; i + 1 < bytes; i += 2) {
                    char16_t c = static_cast<char16_t>(le16(entry + i));
                    if (c == 0) {
                        break;
                    }
                    name.push_back(c);
                }
                if (entry[66] != 0) {
                    names.push_back(std::move(name));
                }
            }
            current = nextSector(current);
        }
        return names;
    }

private:
    bool readExact(uint64_t offset, void* buffer, size_t n) {
        return offset + n <= m_size && m_readAt(offset, static_cast<char*>(buffer), n) == n;
    }
    bool readSector(uint32_t index, unsigned char* buffer) {
        return readExact((uint64_t(index) + 1) * m_sectorSize, buffer, m_sectorSize);
    }

    // The sector of the allocation table that holds the entry for sector index.
    uint32_t fatSector(uint32_t fatIndex) {
        if (fatIndex < kHeaderDifatEntries) {
            return le32(m_header + 76 + 4 * fatIndex);
        }
        // Further entries sit in a chain of DIFAT sectors, each ending in the next's number.
        size_t perSector = m_sectorSize / 4 - 1;
        uint64_t remaining = fatIndex - kHeaderDifatEntries;
        uint32_t difat = le32(m_header + 68);
        std::vector<unsigned char> sector(m_sectorSize);
        for (uint64_t steps = 0; steps <= m_sectorCount; ++steps) {
            if (difat > kLastRegularSector || !readSector(difat, sector.data())) {
                return kEndOfChain;
            }
            if (remaining < perSector) {
                return le32(sector.data() + 4 * remaining);
            }
            remaining -= perSector;
            difat = le32(sector.data() + 4 * perSector);
        }
        return kEndOfChain;
    }

    uint32_t nextSector(uint32_t index) {
        size_t perSector = m_sectorSize / 4;
        uint32_t fat = fatSector(static_cast<uint32_t>(index / perSector));
        unsigned char entry[4];
        if (fat > kLastRegularSector ||
            !readExact((uint64_t(fat) + 1) * m_sectorSize + 4 * (index % perSector), entry, 4)) {
            return kEndOfChain;
        }
        return le32(entry);
    }

    const ReadAt& m_readAt;
    uint64_t m_size;
    unsigned char m_header[512] = {};
    size_t m_sectorSize = 512;
    uint64_t m_sectorCount = 0;
};

}  // namespace

OleContent probeOle(const ReadAt& readAt, uint64_t size) {
    CompoundFile file(readAt, size);
    if (!file.readHeader()) {
        return OleContent::NotOle;
    }
    bool info = false;
    bool package = false;
    for (const std::u16string& name : file.entryNames()) {
        info = info || name == u"EncryptionInfo";
        package = package || name == u"EncryptedPackage";
    }
    return info && package ? OleContent::Encrypted : OleContent::Other;
}

}  // namespace plyfold::engine::xlsx_read
