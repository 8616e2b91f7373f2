#include "engine/model/string_pool.h"

#include <algorithm>
#include <cstring>

#include "engine/common/memory_budget.h"

namespace plyfold::engine {
namespace {

constexpr size_t kBlockSize = size_t{256} * 1024;

uint64_t hashText(std::string_view text) {
    // FNV-1a over 8-byte words, then a final mix; fast enough for cell texts.
    uint64_t h = 1469598103934665603ull ^ text.size();
    size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        uint64_t word;
        std::memcpy(&word, text.data() + i, 8);
        h = (h ^ word) * 1099511628211ull;
    }
    for (; i < text.size(); ++i) {
        h = (h ^ static_cast<unsigned char>(text[i])) * 1099511628211ull;
    }
    h ^= h >> 29;
    h *= 0xbf58476d1ce4e5b9ull;
    h ^= h >> 32;
    return h;
}

}  // namespace

StringPool::StringPool() : m_slots(64, 0) {}

uint32_t StringPool::intern(std::string_view text) {
    if ((m_texts.size() + 1) * 4 > m_slots.size() * 3) {
        grow();
    }
    const size_t mask = m_slots.size() - 1;
    for (size_t slot = hashText(text) & mask;; slot = (slot + 1) & mask) {
        uint32_t entry = m_slots[slot];
        if (entry == 0) {
            uint32_t id = static_cast<uint32_t>(m_texts.size());
            if (m_texts.size() == m_texts.capacity()) {
                const size_t added = std::max<size_t>(m_texts.capacity(), 64);
                count(added * sizeof(std::string_view));
                m_texts.reserve(m_texts.capacity() + added);
            }
            m_texts.push_back(store(text));
            m_slots[slot] = id + 1;
            return id;
        }
        if (m_texts[entry - 1] == text) {
            return entry - 1;
        }
    }
}

std::string_view StringPool::store(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    if (text.size() > kBlockSize / 4) {
        // Large texts get a block of their own so the shared block is not wasted.
        count(text.size());
        m_blocks.push_back(std::make_unique<char[]>(text.size()));
        std::memcpy(m_blocks.back().get(), text.data(), text.size());
        m_arenaBytes += text.size();
        return {m_blocks.back().get(), text.size()};
    }
    if (m_blockLeft < text.size()) {
        count(kBlockSize);
        m_blocks.push_back(std::make_unique<char[]>(kBlockSize));
        m_blockFree = m_blocks.back().get();
        m_blockLeft = kBlockSize;
        m_arenaBytes += kBlockSize;
    }
    std::memcpy(m_blockFree, text.data(), text.size());
    std::string_view stored(m_blockFree, text.size());
    m_blockFree += text.size();
    m_blockLeft -= text.size();
    return stored;
}

void StringPool::count(size_t bytes) {
    if (m_account) {
        m_account->charge(bytes);
    }
}

void StringPool::grow() {
    count(m_slots.size() * 2 * sizeof(uint32_t));
    std::vector<uint32_t> slots(m_slots.size() * 2, 0);
    const size_t mask = slots.size() - 1;
    for (uint32_t id = 0; id < m_texts.size(); ++id) {
        size_t slot = hashText(m_texts[id]) & mask;
        while (slots[slot] != 0) {
            slot = (slot + 1) & mask;
        }
        slots[slot] = id + 1;
    }
    m_slots.swap(slots);
    if (m_account) {
        m_account->release(slots.size() * sizeof(uint32_t));
    }
}

size_t StringPool::memoryUsage() const {
    return m_arenaBytes + m_texts.capacity() * sizeof(std::string_view) +
           m_slots.capacity() * sizeof(uint32_t);
}

}  // namespace plyfold::engine
