#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>

// Numbers stored in a fixed byte order in file formats, read from any byte of a buffer. The
// caller makes sure the bytes are there.
namespace plyfold::engine {

constexpr uint8_t byteAt(std::string_view b, size_t at) {
    return static_cast<uint8_t>(b[at]);
}

constexpr uint16_t le16(std::string_view b, size_t at) {
    return static_cast<uint16_t>(byteAt(b, at) | byteAt(b, at + 1) << 8);
}

constexpr uint32_t le32(std::string_view b, size_t at) {
    return le16(b, at) | static_cast<uint32_t>(le16(b, at + 2)) << 16;
}

constexpr uint64_t le64(std::string_view b, size_t at) {
    return le32(b, at) | static_cast<uint64_t>(le32(b, at + 4)) << 32;
}

// An IEEE 754 double stored least significant byte first.
constexpr double leDouble(std::string_view b, size_t at) {
    return std::bit_cast<double>(le64(b, at));
}

constexpr uint16_t be16(std::string_view b, size_t at) {
    return static_cast<uint16_t>(byteAt(b, at) << 8 | byteAt(b, at + 1));
}

constexpr uint32_t be32(std::string_view b, size_t at) {
    return static_cast<uint32_t>(be16(b, at)) << 16 | be16(b, at + 2);
}

constexpr uint64_t be64(std::string_view b, size_t at) {
    return static_cast<uint64_t>(be32(b, at)) << 32 | be32(b, at + 4);
}

}  // namespace plyfold::engine
