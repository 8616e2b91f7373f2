#include "engine/io/xlsx/byte_source.h"

#include <algorithm>

namespace plyfold::engine::xlsx_read {

size_t MemoryByteSource::read(char* buffer, size_t capacity) {
    size_t n = std::min(capacity, m_bytes.size());
    std::copy_n(m_bytes.data(), n, buffer);
    m_bytes.remove_prefix(n);
    return n;
}

}  // namespace plyfold::engine::xlsx_read
