#include "engine/io/xls/compound_file.h"

#include <cstring>
#include <stdexcept>

#include "engine/common/text.h"

namespace plyfold::engine::xls {
namespace {

constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kFreeSector = 0xFFFFFFFF;
constexpr uint32_t kMaxRegularSector = 0xFFFFFFFA;

uint32_t le32(std::string_view b, size_t at) {
    auto u = [&](size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(b[at + i])); };
    return u(0) | u(1) << 8 | u(2) << 16 | u(3) << 24;
}

uint16_t le16(std::string_view b, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(b[at]) |
                                 static_cast<unsigned char>(b[at + 1]) << 8);
}

[[noreturn]] void damaged(const char* what) {
    throw std::runtime_error(what);
}

}  // namespace

CompoundFile::CompoundFile(std::string_view bytes) : m_bytes(bytes) {
    if (bytes.size() < 512 || bytes.substr(0, 8) != "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1") {
        damaged("the file header is missing or cut short");
    }
    uint16_t sectorShift = le16(bytes, 0x1E);
    uint16_t miniShift = le16(bytes, 0x20);
    if ((sectorShift != 9 && sectorShift != 12) || miniShift != 6) {
        damaged("the file header states an impossible sector size");
    }
    m_sectorSize = 1u << sectorShift;
    m_miniCutoff = le32(bytes, 0x38);

    // The sectors of the allocation table: 109 listed in the header, more in a chain.
    std::vector<uint32_t> fatSectors;
    const size_t totalSectors = bytes.size() / m_sectorSize + 1;
    for (size_t i = 0; i < 109; ++i) {
        uint32_t s = le32(bytes, 0x4C + 4 * i);
        if (s <= kMaxRegularSector) {
            fatSectors.push_back(s);
        }
    }
    uint32_t difat = le32(bytes, 0x44);
    for (size_t steps = 0; difat <= kMaxRegularSector; ++steps) {
        if (steps > totalSectors) {
            damaged("the table of allocation sectors loops");
        }
        std::string_view block = sector(difat);
        for (size_t i = 0; i + 4 < block.size(); i += 4) {
            uint32_t s = le32(block, i);
            if (s <= kMaxRegularSector) {
                fatSectors.push_back(s);
            }
        }
        difat = le32(block, block.size() - 4);
    }
    if (fatSectors.size() > totalSectors) {
        damaged("the allocation table is larger than the file");
    }
    for (uint32_t s : fatSectors) {
        std::string_view block = sector(s);
        for (size_t i = 0; i + 4 <= block.size(); i += 4) {
            m_fat.push_back(le32(block, i));
        }
    }

    std::string directory = readChain(le32(bytes, 0x30), UINT64_MAX);
    for (size_t at = 0; at + 128 <= directory.size(); at += 128) {
        Entry entry;
        uint16_t nameBytes = std::min<uint16_t>(le16(directory, at + 64), 64);
        for (size_t i = 0; i + 1 < nameBytes; i += 2) {
            uint16_t unit = le16(directory, at + i);
            if (unit == 0) {
                break;
            }
            appendUtf8(entry.name, unit);
        }
        entry.type = static_cast<uint8_t>(directory[at + 66]);
        entry.start = le32(directory, at + 116);
        entry.size = le32(directory, at + 120);
        if (m_sectorSize == 4096) {
            entry.size |= static_cast<uint64_t>(le32(directory, at + 124)) << 32;
        }
        if (entry.type == 0) {
            continue;  // an unused slot
        }
        m_names.push_back(entry.name);
        m_entries.push_back(std::move(entry));
    }
    if (m_entries.empty() || m_entries.front().type != 5) {
        damaged("the directory has no root entry");
    }
    const Entry& root = m_entries.front();
    m_miniStream = readChain(root.start, root.size);
    std::string miniFat = readChain(le32(bytes, 0x3C), UINT64_MAX);
    for (size_t i = 0; i + 4 <= miniFat.size(); i += 4) {
        m_miniFat.push_back(le32(miniFat, i));
    }
}

std::string_view CompoundFile::sector(uint32_t index) const {
    uint64_t offset = (static_cast<uint64_t>(index) + 1) * m_sectorSize;
    if (offset + m_sectorSize > m_bytes.size()) {
        // The last sector of a file may be cut short by writers that do not pad it.
        if (offset < m_bytes.size()) {
            return m_bytes.substr(static_cast<size_t>(offset));
        }
        damaged("a sector lies beyond the end of the file");
    }
    return m_bytes.substr(static_cast<size_t>(offset), m_sectorSize);
}

std::vector<uint32_t> CompoundFile::readFatChain(uint32_t start) const {
    std::vector<uint32_t> chain;
    for (uint32_t s = start; s != kEndOfChain && s != kFreeSector;) {
        // A chain that does not loop visits each sector of the file at most once.
        if (s > kMaxRegularSector || s >= m_fat.size() ||
            chain.size() > m_bytes.size() / m_sectorSize) {
            damaged("a chain of sectors is broken");
        }
        chain.push_back(s);
        s = m_fat[s];
    }
    return chain;
}

std::string CompoundFile::readChain(uint32_t start, uint64_t size) const {
    std::string out;
    for (uint32_t s : readFatChain(start)) {
        if (out.size() >= size) {
            break;
        }
        out.append(sector(s));
    }
    if (size != UINT64_MAX) {
        if (out.size() < size) {
            damaged("a stream is shorter than the directory states");
        }
        out.resize(static_cast<size_t>(size));
    }
    return out;
}

std::string CompoundFile::readMiniChain(uint32_t start, uint64_t size) const {
    std::string out;
    size_t steps = 0;
    for (uint32_t s = start; s != kEndOfChain && s != kFreeSector && out.size() < size;) {
        uint64_t offset = static_cast<uint64_t>(s) * m_miniSectorSize;
        if (s >= m_miniFat.size() || ++steps > m_miniStream.size() / m_miniSectorSize ||
            offset + m_miniSectorSize > m_miniStream.size()) {
            damaged("a chain of small sectors is broken");
        }
        out.append(m_miniStream, static_cast<size_t>(offset), m_miniSectorSize);
        s = m_miniFat[s];
    }
    if (out.size() < size) {
        damaged("a stream is shorter than the directory states");
    }
    out.resize(static_cast<size_t>(size));
    return out;
}

bool CompoundFile::hasEntry(std::string_view name) const {
    for (const Entry& entry : m_entries) {
        if (equalsIgnoringAsciiCase(entry.name, name)) {
            return true;
        }
    }
    return false;
}

std::optional<std::string> CompoundFile::readStream(
    std::initializer_list<std::string_view> names) const {
    for (std::string_view name : names) {
        for (const Entry& entry : m_entries) {
            if (entry.type == 2 && equalsIgnoringAsciiCase(entry.name, name)) {
                return entry.size < m_miniCutoff ? readMiniChain(entry.start, entry.size)
                                                 : readChain(entry.start, entry.size);
            }
        }
    }
    return std::nullopt;
}

}  // namespace plyfold::engine::xls
