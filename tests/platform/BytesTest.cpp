#include "platform/Bytes.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

using namespace platform;

// The same numbers in both byte orders, at the start, in the middle and
// flush with the end of the buffer.
TEST(BytesTest, BothOrdersRoundTrip)
{
    struct Case
    {
        std::endian order;
        std::array<std::uint8_t, 6> expected;
    };
    const Case cases[] = {
        {std::endian::big, {0x12, 0x34, 0x56, 0x78, 0xAB, 0xCD}},
        {std::endian::little, {0x78, 0x56, 0x34, 0x12, 0xCD, 0xAB}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.order == std::endian::big ? "big" : "little");
        std::array<std::uint8_t, 6> bytes{};
        ASSERT_TRUE(PutU32(bytes, 0, c.order, 0x12345678u));
        ASSERT_TRUE(PutU16(bytes, 4, c.order, 0xABCD));
        EXPECT_EQ(bytes, c.expected);
        EXPECT_EQ(GetU32(bytes, 0, c.order), 0x12345678u);
        EXPECT_EQ(GetU16(bytes, 4, c.order), 0xABCD);
        EXPECT_EQ(GetU32(bytes, 2, c.order), GetBytes<std::uint32_t>(bytes, 2, c.order));
    }
    const std::array<std::uint8_t, 4> be{0xDE, 0xAD, 0xBE, 0xEF};
    EXPECT_EQ(GetU32BE(be, 0), 0xDEADBEEFu);
    EXPECT_EQ(GetU32LE(be, 0), 0xEFBEADDEu);
    EXPECT_EQ(GetU16BE(be, 2), 0xBEEF);
    EXPECT_EQ(GetU16LE(be, 2), 0xEFBE);
}

// A field that does not lie wholly in the buffer is never touched: reads
// give 0 (or false), writes change nothing, offsets near the top of
// size_t do not wrap round.
TEST(BytesTest, FieldsOutsideTheBufferAreRefused)
{
    std::vector<std::uint8_t> bytes{1, 2, 3, 4, 5};
    const std::vector<std::uint8_t> before = bytes;
    for (const std::size_t at :
         {std::size_t{2}, std::size_t{5}, std::size_t{6}, ~std::size_t{0}, ~std::size_t{0} - 2})
    {
        SCOPED_TRACE(at);
        EXPECT_EQ(GetU32BE(bytes, at), 0u);
        std::uint32_t value = 7;
        EXPECT_FALSE(ReadBytes(bytes, at, std::endian::little, value));
        EXPECT_EQ(value, 7u);
        EXPECT_FALSE(PutU32LE(bytes, at, 0xFFFFFFFFu));
        EXPECT_EQ(bytes, before);
    }
    EXPECT_EQ(GetU16LE(bytes, 3), 0x0504);
    EXPECT_EQ(GetU16LE(bytes, 4), 0);
    EXPECT_EQ(GetU16BE(std::span<const std::uint8_t>(), 0), 0);
    EXPECT_FALSE(PutU16BE(std::span<std::uint8_t>(), 0, 1));
}
