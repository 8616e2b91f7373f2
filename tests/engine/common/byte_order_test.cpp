#include <gtest/gtest.h>

#include <string_view>

#include "engine/common/byte_order.h"

namespace plyfold::engine {
namespace {

// Bytes of 0x80 and above must not spread their sign into the higher bytes.
constexpr std::string_view kBytes{"\x01\xF2\x03\x84\x05\x86\x07\x88\xFF", 9};

static_assert(le16(kBytes, 0) == 0xF201);
static_assert(be32(kBytes, 0) == 0x01F20384);

TEST(ByteOrder, ReadsEitherOrderFromAnyOffset) {
    EXPECT_EQ(le16(kBytes, 1), 0x03F2u);
    EXPECT_EQ(le16(kBytes, 7), 0xFF88u);
    EXPECT_EQ(le32(kBytes, 0), 0x8403F201u);
    EXPECT_EQ(le32(kBytes, 5), 0xFF880786u);
    EXPECT_EQ(le64(kBytes, 0), 0x880786058403F201ull);
    EXPECT_EQ(le64(kBytes, 1), 0xFF880786058403F2ull);
    EXPECT_EQ(be16(kBytes, 7), 0x88FFu);
    EXPECT_EQ(be32(kBytes, 5), 0x860788FFu);
    EXPECT_EQ(be64(kBytes, 1), 0xF2038405860788FFull);
}

TEST(ByteOrder, DoublesAreStoredLeastSignificantByteFirst) {
    EXPECT_EQ(leDouble(std::string_view("\0\0\0\0\0\0\xF8\x3F", 8), 0), 1.5);
    EXPECT_EQ(leDouble(std::string_view("x\0\0\0\0\0\0\0\xC0", 9), 1), -2.0);
}

}  // namespace
}  // namespace plyfold::engine
