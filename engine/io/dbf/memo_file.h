#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace plyfold::engine::dbf {

// The memo file of a dBase table: .dbt (dBase III: texts ended by 0x1A in 512-byte blocks;
// dBase IV: blocks of a size the header gives, each memo led by FF FF 08 00 and its length)
// or .fpt (FoxPro: big-endian block size in the header, each memo led by its type and length).
class MemoFile {
public:
    enum class Kind { DBase, FoxPro };

    MemoFile(std::string bytes, Kind kind);

    // The bytes of the memo at a block number; nullopt when the block lies outside the file,
    // and for FoxPro memos that are not text (pictures, objects) when textOnly is set.
    std::optional<std::string_view> memo(uint32_t block, bool textOnly) const;

private:
    // Whether a dBase IV memo begins at the offset: at a block's start, with its header.
    bool startsMemo(size_t offset) const;

    std::string m_bytes;
    Kind m_kind;
    uint32_t m_blockSize = 512;
};

}  // namespace plyfold::engine::dbf
