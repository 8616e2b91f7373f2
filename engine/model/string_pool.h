#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace plyfold {
class MemoryAccount;
}

namespace plyfold::engine {

// Interned texts of one workbook: each distinct text is stored once and named by a dense id.
// Texts live in large arena blocks, so an id costs 16 bytes plus the text itself.
class StringPool {
public:
    StringPool();
    StringPool(const StringPool&) = delete;
    StringPool& operator=(const StringPool&) = delete;
    StringPool(StringPool&&) noexcept = default;
    StringPool& operator=(StringPool&&) noexcept = default;

    // Where the pool counts what it allocates (a block of texts, a larger table), before it
    // allocates it; intern throws MemoryLimitReached, the pool unchanged, when it does not fit.
    void setMemoryAccount(MemoryAccount* account) { m_account = account; }

    // The id of text, adding it when it is new.
    uint32_t intern(std::string_view text);
    std::string_view text(uint32_t id) const { return m_texts[id]; }
    uint32_t size() const { return static_cast<uint32_t>(m_texts.size()); }
    // Bytes held by the pool, for memory accounting.
    size_t memoryUsage() const;

private:
    std::string_view store(std::string_view text);
    void grow();
    void count(size_t bytes);

    std::vector<std::string_view> m_texts;
    std::vector<uint32_t> m_slots;  // open addressing: id + 1, 0 empty
    std::vector<std::unique_ptr<char[]>> m_blocks;
    char* m_blockFree = nullptr;
    size_t m_blockLeft = 0;
    size_t m_arenaBytes = 0;
    MemoryAccount* m_account = nullptr;
};

}  // namespace plyfold::engine
