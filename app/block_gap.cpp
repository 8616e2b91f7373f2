#include "app/block_gap.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace plyfold::app {
namespace {

constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();
constexpr int64_t kInt32Min = std::numeric_limits<int32_t>::min();

int digitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return 99;
}

// &H and &O values: 16-bit when they fit, else 32-bit; past 32 bits, the largest value.
int32_t readPrefixed(std::string_view digits, int base) {
    uint64_t value = 0;
    for (char c : digits) {
        int d = digitValue(c);
        if (d >= base) {
            break;
        }
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
        if (value > 0xFFFFFFFFull) {
            return static_cast<int32_t>(kInt32Max);
        }
    }
    if (value <= 0xFFFF) {
        return static_cast<int16_t>(static_cast<uint16_t>(value));
    }
    return static_cast<int32_t>(static_cast<uint32_t>(value));
}

// The longest decimal number at the start of text, as text from_chars understands.
std::string decimalPrefix(std::string_view text) {
    std::string number;
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    bool digits = false;
    bool point = false;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c >= '0' && c <= '9') {
            number += c;
            digits = true;
        } else if (c == '.' && !point) {
            number += c;
            point = true;
        } else {
            break;
        }
    }
    if (!digits) {
        return "0";
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
        std::string exponent = "e";
        size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
            exponent += text[j++];
        }
        size_t start = j;
        while (j < text.size() && text[j] >= '0' && text[j] <= '9') {
            exponent += text[j++];
        }
        if (j > start) {
            number += exponent;
        }
    }
    return (negative ? "-" : "") + number;
}

}  // namespace

int32_t ReadGapNumber(std::string_view text) {
    std::string compact;
    for (char c : text) {
        if (c != ' ' && c != '\t' && c != '\n') {
            compact += c;
        }
    }
    if (compact.size() >= 2 && compact[0] == '&') {
        if (compact[1] == 'H' || compact[1] == 'h') {
            return readPrefixed(std::string_view(compact).substr(2), 16);
        }
        if (compact[1] == 'O' || compact[1] == 'o') {
            return readPrefixed(std::string_view(compact).substr(2), 8);
        }
    }
    std::string number = decimalPrefix(compact);
    double value = 0.0;
    auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error == std::errc::result_out_of_range) {
        // from_chars leaves value unchanged when out of range: huge or tiny magnitude.
        bool tiny = number.find("e-") != std::string::npos;
        value = tiny ? 0.0 : (number[0] == '-' ? -HUGE_VAL : HUGE_VAL);
    }
    double rounded = std::nearbyint(value);  // the default rounding mode is half to even
    if (rounded > static_cast<double>(kInt32Max)) {
        return static_cast<int32_t>(kInt32Max);
    }
    if (rounded < static_cast<double>(kInt32Min)) {
        return static_cast<int32_t>(kInt32Min);
    }
    return static_cast<int32_t>(rounded);
}

}  // namespace plyfold::app
