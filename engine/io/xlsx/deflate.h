#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace plyfold::engine::xlsx {

// Raw deflate streams (no zlib or gzip wrapper), as zip entries hold them, and the CRC-32
// that zip records beside them. One library does the work for the reader and the writer.

// Thrown for a compressed stream that is not valid deflate data, or a compressor that fails.
class DeflateError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The CRC-32 of data continued from crc (0 to start).
uint32_t crc32(uint32_t crc, const char* data, size_t size);
// The CRC-32 of two pieces laid end to end, from the CRC of each and the second's size.
uint32_t crc32Combine(uint32_t first, uint32_t second, uint64_t secondSize);

inline constexpr int kMinDeflateLevel = 0;
inline constexpr int kMaxDeflateLevel = 3;

// Compresses pieces of a stream independently of one another, so that pieces can be
// compressed on several threads and joined. Reused for any number of pieces.
class Deflater {
public:
    // level from kMinDeflateLevel (fastest) to kMaxDeflateLevel (smallest); clamped.
    explicit Deflater(int level);
    ~Deflater();
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    // Compresses input as one piece of a longer stream into output (replacing what it held):
    // primed with dictionary, the up to 32 KiB before it in the stream, and ended on a byte
    // boundary so the next piece follows directly or, when last, with the final block.
    void compress(std::string_view dictionary, std::string_view input, bool last,
                  std::string& output);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// Inflates one stream given in pieces of any size, keeping the CRC-32 of what came out.
class Inflater {
public:
    Inflater();
    ~Inflater();
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    struct Step {
        size_t consumed = 0;    // bytes of input taken (the rest must be given again)
        size_t produced = 0;    // bytes written to output
        bool finished = false;  // the stream's final block is done; nothing more comes out
    };
    // Takes input and writes up to capacity bytes. Throws DeflateError for invalid data.
    Step inflate(std::string_view input, char* output, size_t capacity);
    uint32_t crc() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace plyfold::engine::xlsx
