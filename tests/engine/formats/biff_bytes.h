#pragma once

#include <cstdint>
#include <cstring>
#include <string>

// Little-endian fields and BIFF records, for tests that build workbook streams by hand.
namespace plyfold::engine::xls::biff_bytes {

inline std::string u16le(uint32_t value) {
    return {static_cast<char>(value & 0xFF), static_cast<char>(value >> 8 & 0xFF)};
}

inline std::string u32le(uint32_t value) {
    return u16le(value & 0xFFFF) + u16le(value >> 16);
}

inline std::string f64le(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return u32le(static_cast<uint32_t>(bits)) + u32le(static_cast<uint32_t>(bits >> 32));
}

inline std::string byte(uint8_t value) {
    return std::string(1, static_cast<char>(value));
}

// A record: its type, its length, then its data.
inline std::string record(uint16_t type, const std::string& data) {
    return u16le(type) + u16le(static_cast<uint32_t>(data.size())) + data;
}

}  // namespace plyfold::engine::xls::biff_bytes
