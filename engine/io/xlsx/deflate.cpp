#include "engine/io/xlsx/deflate.h"

#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>

#include <algorithm>
#include <array>
#include <vector>

namespace plyfold::engine::xlsx {
namespace {

// CRC-32 arithmetic on polynomials over GF(2) modulo the CRC polynomial, in the reflected
// order the CRC uses: bit 31 holds x^0.
constexpr uint32_t kPolynomial = 0xEDB88320u;

uint32_t multiplyModP(uint32_t a, uint32_t b) {
    uint32_t product = 0;
    for (uint32_t bit = 1u << 31; bit != 0; bit >>= 1) {
        if (a & bit) {
            product ^= b;
        }
        b = (b & 1) ? (b >> 1) ^ kPolynomial : b >> 1;  // b times x
    }
    return product;
}

// x^(2^k) modulo the polynomial, for every k a shift can reach.
const std::array<uint32_t, 64>& powersOfX() {
    static const std::array<uint32_t, 64> table = [] {
        std::array<uint32_t, 64> powers{};
        powers[0] = 1u << 30;  // x^1
        for (size_t k = 1; k < powers.size(); ++k) {
            powers[k] = multiplyModP(powers[k - 1], powers[k - 1]);
        }
        return powers;
    }();
    return table;
}

// x^(8 * bytes) modulo the polynomial: what appending that many zero bytes multiplies by.
uint32_t shiftByBytes(uint64_t bytes) {
    const auto& powers = powersOfX();
    uint32_t result = 1u << 31;  // x^0
    uint64_t bits = bytes << 3;
    for (size_t k = 0; bits != 0 && k < powers.size(); ++k, bits >>= 1) {
        if (bits & 1) {
            result = multiplyModP(powers[k], result);
        }
    }
    return result;
}

size_t levelBufferSize(int level) {
    switch (level) {
        case 1:
            return ISAL_DEF_LVL1_DEFAULT;
        case 2:
            return ISAL_DEF_LVL2_DEFAULT;
        case 3:
            return ISAL_DEF_LVL3_DEFAULT;
        default:
            return ISAL_DEF_LVL0_DEFAULT;
    }
}

uint8_t* bytes(const char* data) {
    // The library takes non-const pointers to input it only reads.
    return reinterpret_cast<uint8_t*>(const_cast<char*>(data));
}

}  // namespace

uint32_t crc32(uint32_t crc, const char* data, size_t size) {
    return size == 0 ? crc : crc32_gzip_refl(crc, reinterpret_cast<const uint8_t*>(data), size);
}

uint32_t crc32Combine(uint32_t first, uint32_t second, uint64_t secondSize) {
    return multiplyModP(shiftByBytes(secondSize), first) ^ second;
}

struct Deflater::State {
    isal_zstream stream;
    std::vector<uint8_t> levelBuffer;
};

Deflater::Deflater(int level) : m_state(std::make_unique<State>()) {
    level = std::clamp(level, kMinDeflateLevel, kMaxDeflateLevel);
    m_state->levelBuffer.resize(levelBufferSize(level));
    isal_zstream& stream = m_state->stream;
    isal_deflate_init(&stream);
    stream.level = static_cast<uint32_t>(level);
    stream.level_buf = m_state->levelBuffer.empty() ? nullptr : m_state->levelBuffer.data();
    stream.level_buf_size = static_cast<uint32_t>(m_state->levelBuffer.size());
    stream.gzip_flag = IGZIP_DEFLATE;
}

Deflater::~Deflater() = default;

void Deflater::compress(std::string_view dictionary, std::string_view input, bool last,
                        std::string& output) {
    if (input.size() > UINT32_MAX) {
        throw DeflateError("a piece to deflate is too large");
    }
    isal_zstream& stream = m_state->stream;
    isal_deflate_reset(&stream);
    if (!dictionary.empty()) {
        dictionary = dictionary.substr(dictionary.size() -
                                       std::min<size_t>(dictionary.size(), IGZIP_HIST_SIZE));
        if (isal_deflate_set_dict(&stream, bytes(dictionary.data()),
                                  static_cast<uint32_t>(dictionary.size())) != COMP_OK) {
            throw DeflateError("the deflate compressor failed");
        }
    }
    stream.next_in = bytes(input.data());
    stream.avail_in = static_cast<uint32_t>(input.size());
    stream.end_of_stream = last ? 1 : 0;
    stream.flush = last ? NO_FLUSH : SYNC_FLUSH;
    // Incompressible data grows by a few bytes a stored block; the loop grows the room
    // should that not be enough.
    output.resize(input.size() + input.size() / 64 + 1024);
    size_t produced = 0;
    for (;;) {
        stream.next_out = reinterpret_cast<uint8_t*>(output.data() + produced);
        stream.avail_out =
            static_cast<uint32_t>(std::min<size_t>(output.size() - produced, UINT32_MAX));
        const uint32_t room = stream.avail_out;
        if (isal_deflate(&stream) != COMP_OK) {
            throw DeflateError("the deflate compressor failed");
        }
        produced += room - stream.avail_out;
        const bool done = last ? stream.internal_state.state == ZSTATE_END
                               : stream.avail_in == 0 && stream.avail_out != 0 &&
                                     stream.internal_state.state == ZSTATE_NEW_HDR;
        if (done) {
            break;
        }
        if (stream.avail_out == 0) {
            output.resize(output.size() * 2);
        }
    }
    output.resize(produced);
}

struct Inflater::State {
    inflate_state state;
};

Inflater::Inflater() : m_state(std::make_unique<State>()) {
    isal_inflate_init(&m_state->state);
    // Raw deflate, with the CRC-32 of the output kept as it comes.
    m_state->state.crc_flag = ISAL_GZIP_NO_HDR;
}

Inflater::~Inflater() = default;

Inflater::Step Inflater::inflate(std::string_view input, char* output, size_t capacity) {
    inflate_state& state = m_state->state;
    Step step;
    if (state.block_state == ISAL_BLOCK_FINISH) {
        step.finished = true;
        return step;
    }
    const auto in = static_cast<uint32_t>(std::min<size_t>(input.size(), UINT32_MAX));
    const auto out = static_cast<uint32_t>(std::min<size_t>(capacity, UINT32_MAX));
    state.next_in = bytes(input.data());
    state.avail_in = in;
    state.next_out = reinterpret_cast<uint8_t*>(output);
    state.avail_out = out;
    const int status = isal_inflate(&state);
    if (status < 0) {
        throw DeflateError("its compressed data is not valid deflate data");
    }
    step.consumed = in - state.avail_in;
    step.produced = out - state.avail_out;
    step.finished = state.block_state == ISAL_BLOCK_FINISH;
    return step;
}

uint32_t Inflater::crc() const {
    return m_state->state.crc;
}

}  // namespace plyfold::engine::xlsx
