#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plyfold::engine::xls {

// A read-only view of an OLE compound file (the container of .xls workbooks and of
// password-protected Office Open XML packages): its directory and its streams.
class CompoundFile {
public:
    // Throws std::runtime_error with a short reason when the container is damaged.
    explicit CompoundFile(std::string_view bytes);

    // The names of all streams and storages, in directory order.
    const std::vector<std::string>& entryNames() const { return m_names; }
    bool hasEntry(std::string_view name) const;  // compared without regard to ASCII case
    // The content of the first stream with one of the names (any case); nullopt when none.
    std::optional<std::string> readStream(std::initializer_list<std::string_view> names) const;

private:
    struct Entry {
        std::string name;
        uint8_t type = 0;
        uint32_t start = 0;
        uint64_t size = 0;
    };

    std::string readChain(uint32_t start, uint64_t size) const;
    std::string readMiniChain(uint32_t start, uint64_t size) const;
    std::vector<uint32_t> readFatChain(uint32_t start) const;
    std::string_view sector(uint32_t index) const;

    std::string_view m_bytes;
    uint32_t m_sectorSize = 512;
    uint32_t m_miniSectorSize = 64;
    uint32_t m_miniCutoff = 4096;
    std::vector<uint32_t> m_fat;
    std::vector<uint32_t> m_miniFat;
    std::vector<Entry> m_entries;
    std::vector<std::string> m_names;
    std::string m_miniStream;
};

}  // namespace plyfold::engine::xls
