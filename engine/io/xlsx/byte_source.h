#pragma once

#include <cstddef>
#include <string_view>

namespace plyfold::engine::xlsx_read {

// A stream of bytes read front to back, such as one inflated part of a package.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Fills up to capacity bytes; returns 0 only at the end. Throws ReadFailure.
    virtual size_t read(char* buffer, size_t capacity) = 0;
};

// Bytes already in memory, for small parts and tests.
class MemoryByteSource : public ByteSource {
public:
    explicit MemoryByteSource(std::string_view bytes) : m_bytes(bytes) {}
    size_t read(char* buffer, size_t capacity) override;

private:
    std::string_view m_bytes;
};

}  // namespace plyfold::engine::xlsx_read
