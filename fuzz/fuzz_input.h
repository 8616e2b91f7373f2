#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace plyfold::fuzz {

// Takes a fuzz input apart from the front: small numbers, choices, texts. Past the end every
// read gives zeros or empty texts, so any input is a complete program.
class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size)
        : m_bytes(reinterpret_cast<const char*>(data), size) {}

    bool empty() const { return m_position >= m_bytes.size(); }
    size_t left() const { return m_bytes.size() - m_position; }

    uint8_t byte() { return empty() ? 0 : static_cast<uint8_t>(m_bytes[m_position++]); }
    uint16_t twoBytes() {
        const uint16_t low = byte();
        return static_cast<uint16_t>(low | (byte() << 8));
    }
    uint32_t fourBytes() {
        const uint32_t low = twoBytes();
        return low | (static_cast<uint32_t>(twoBytes()) << 16);
    }
    // A number from 0 to count - 1.
    uint32_t choose(uint32_t count) { return count == 0 ? 0 : byte() % count; }
    bool flag() { return byte() & 1; }
    double anyDouble() {
        const uint64_t low = fourBytes();
        const uint64_t bits = low | (static_cast<uint64_t>(fourBytes()) << 32);
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    // A text whose length is given by the byte before it (at most maxLength).
    std::string text(size_t maxLength = 255) {
        const size_t length = std::min<size_t>(byte(), maxLength);
        return std::string(take(length));
    }
    // The next length bytes, or what is left.
    std::string_view take(size_t length) {
        length = std::min(length, left());
        std::string_view part = m_bytes.substr(m_position, length);
        m_position += length;
        return part;
    }
    std::string_view rest() { return take(left()); }

private:
    std::string_view m_bytes;
    size_t m_position = 0;
};

}  // namespace plyfold::fuzz
