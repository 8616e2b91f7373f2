#include "engine/io/dbf/memo_file.h"

#include <algorithm>
#include <cstring>

#include "engine/common/byte_order.h"

namespace plyfold::engine::dbf {
namespace {

constexpr char kBlockHeader[] = "\xFF\xFF\x08\x00";

}  // namespace

MemoFile::MemoFile(std::string bytes, Kind kind) : m_bytes(std::move(bytes)), m_kind(kind) {
    if (m_kind == Kind::FoxPro && m_bytes.size() >= 8) {
        uint32_t size = be16(m_bytes, 6);
        m_blockSize = size == 0 ? 64 : size;
    } else if (m_kind == Kind::DBase && m_bytes.size() >= 22) {
        uint32_t size = le16(m_bytes, 20);
        // dBase III leaves this zero (its blocks are 512 bytes); dBase IV states it.
        if (size >= 64 && size % 64 == 0) {
            m_blockSize = size;
        }
    }
}

bool MemoFile::startsMemo(size_t offset) const {
    return offset % m_blockSize == 0 && offset + 4 <= m_bytes.size() &&
           std::memcmp(m_bytes.data() + offset, kBlockHeader, 4) == 0;
}

std::optional<std::string_view> MemoFile::memo(uint32_t block, bool textOnly) const {
    if (block == 0) {
        return std::nullopt;  // block 0 is the header: a pointer to it means "no memo"
    }
    const uint64_t offset = static_cast<uint64_t>(block) * m_blockSize;
    if (offset >= m_bytes.size()) {
        return std::nullopt;
    }
    const size_t start = static_cast<size_t>(offset);
    const size_t available = m_bytes.size() - start;
    if (m_kind == Kind::FoxPro) {
        if (available < 8) {
            return std::nullopt;
        }
        uint32_t type = be32(m_bytes, start);
        uint32_t length = be32(m_bytes, start + 4);
        if (textOnly && type != 1) {
            return std::nullopt;
        }
        size_t size = std::min<size_t>(length, available - 8);
        return std::string_view(m_bytes).substr(start + 8, size);
    }
    if (available >= 8 && std::memcmp(m_bytes.data() + start, kBlockHeader, 4) == 0) {
        // dBase IV counts the 8 bytes before the text in its length and may leave old bytes
        // after the text; other writers count the text alone. The 8 bytes past the shorter
        // reading are taken as text only when they look like text and padding (NUL, 0x1A),
        // the next memo or the end of the file follows them.
        const uint32_t length = le32(m_bytes, start + 4);
        const std::string_view rest = std::string_view(m_bytes).substr(start + 8);
        // A length below 8 cannot count the lead: it is the text's.
        size_t size = std::min<size_t>(length < 8 ? length : length - 8, rest.size());
        if (length >= 8 && length <= rest.size()) {
            bool looksLikeText = true;
            for (size_t at = length - 8; at < length && looksLikeText; ++at) {
                const auto byte = static_cast<unsigned char>(rest[at]);
                looksLikeText = (byte >= 0x20 || byte == '\t' || byte == '\r' || byte == '\n') &&
                                !startsMemo(start + 8 + at);
            }
            const bool endsThere = length == rest.size() || rest[length] == '\0' ||
                                   rest[length] == '\x1A' || startsMemo(start + 8 + length);
            if (looksLikeText && endsThere) {
                size = length;
            }
        }
        return rest.substr(0, size);
    }
    std::string_view rest = std::string_view(m_bytes).substr(start);
    size_t end = rest.find('\x1A');
    return rest.substr(0, end == std::string_view::npos ? rest.size() : end);
}

}  // namespace plyfold::engine::dbf
