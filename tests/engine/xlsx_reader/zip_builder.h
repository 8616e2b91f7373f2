#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace plyfold::test {

// Writes zip archives in memory, with the means to make them lie: entries generated as
// they are compressed (for zip bombs), declared sizes other than the real ones, encryption
// flags. Sizes stay below 4 GB (no ZIP64).
class ZipBuilder {
public:
    enum class Method { Stored, Deflated };

    ZipBuilder& add(std::string name, std::string_view data, Method method = Method::Deflated);
    // An entry of prefix, then count copies of unit, then suffix, never held whole in memory.
    ZipBuilder& addRepeated(std::string name, std::string_view prefix, std::string_view unit,
                            uint64_t count, std::string_view suffix);
    // The last entry claims this uncompressed size in its headers.
    ZipBuilder& declareSize(uint32_t size);
    // The last entry is flagged as encrypted.
    ZipBuilder& markEncrypted();

    std::string finish() const;

private:
    struct Entry {
        std::string name;
        std::string compressed;
        uint32_t crc = 0;
        uint32_t size = 0;
        uint16_t method = 0;
        uint16_t flags = 0;
    };
    std::vector<Entry> m_entries;
};

}  // namespace plyfold::test
