#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace plyfold::fuzz {

// Reports what a fuzz target found wrong and stops the process, so libFuzzer keeps the input
// and the replay test fails on it. Bytes that would not show are written as \xHH.
[[noreturn]] inline void finding(std::string_view what) {
    std::fputs("FINDING: ", stderr);
    for (const char c : what) {
        const auto b = static_cast<unsigned char>(c);
        if (b == '\n' || (b >= 0x20 && b < 0x7F)) {
            std::fputc(c, stderr);
        } else {
            std::fprintf(stderr, "\\x%02X", b);
        }
    }
    std::fputc('\n', stderr);
    std::abort();
}

}  // namespace plyfold::fuzz
