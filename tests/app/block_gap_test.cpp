#include <gtest/gtest.h>

#include <limits>

#include "app/block_gap.h"

namespace plyfold::app {
namespace {

TEST(GapNumber, ReadsTheNumberAtTheStartOfTheText) {
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    struct Case {
        const char* text;
        int32_t value;
    };
    const Case cases[] = {
        {"3", 3},
        {"-2", -2},
        {"", 0},
        {"abc", 0},
        {"2.5", 2},
        {"3.5", 4},
        {"0.5", 0},
        {"1.5", 2},
        {"4 rows", 4},
        {"1 0", 10},
        {"\t1\n2", 12},
        {"1,5", 1},
        {"&H10", 16},
        {"&h10", 16},
        {"&HFFFF", -1},
        {"&H10000", 65536},
        {"&HFFFFFFFF", -1},
        {"&H1FFFFFFFF", kMax},
        {"&O17", 15},
        {"&O177777", -1},
        {"&", 0},
        {"&X1", 0},
        {"1e3", 1000},
        {"1E+2", 100},
        {"2d1", 20},
        {"1e", 1},
        {"1e-", 1},
        {".5e1", 5},
        {"+7", 7},
        {"--7", 0},
        {"3.9.1", 4},
        {"1e400", kMax},
        {"-1e400", std::numeric_limits<int32_t>::min()},
        {"1e-400", 0},
        {"99999999999", kMax},
        {"2147483647", kMax},
        {"2147483646.5", 2147483646},
        {"\r5", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReadGapNumber(c.text), c.value) << '"' << c.text << '"';
    }
}

}  // namespace
}  // namespace plyfold::app
