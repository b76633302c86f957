#include "converter/bit_buffer.h"

#include <gtest/gtest.h>

#include <array>

#include "tests/converter/samples.h"

namespace tarv::converter {
namespace {

using samples::hex;

TEST(BitBuffer, FieldsStartAnywhereAndReadBackMostSignificantFirst) {
  BitWriter w;
  w.put_bits(1, 1);
  w.put_bits(0x5, 3);
  w.put_bits(0xFABC, 12);  // only the low 12 bits
  w.put_bytes(std::string_view("\x12\x34"));
  w.put_bits(0x3, 2);
  w.put_zeros(14);
  w.put_bits(0x0123456789ABCDEF, 64);
  const auto bytes = std::move(w).take();
  EXPECT_EQ(bytes, hex("DA BC 12 34 C0 00 01 23 45 67 89 AB CD EF"));

  BitReader r(bytes);
  EXPECT_EQ(*r.get_bits(1), 1u);
  EXPECT_EQ(*r.get_bits(3), 5u);
  EXPECT_EQ(*r.get_bits(12), 0xABCu);
  std::array<char, 2> two{};
  ASSERT_TRUE(r.get_bytes(two));
  EXPECT_EQ(std::string_view(two.data(), 2), "\x12\x34");
  EXPECT_EQ(*r.get_bits(6), 0x30u);
  ASSERT_TRUE(r.skip(10));
  EXPECT_EQ(*r.get_bits(64), 0x0123456789ABCDEFu);
  EXPECT_EQ(r.remaining(), 0u);
}

TEST(BitBuffer, AShortFieldFailsWithItsWidthAndLeavesThePosition) {
  const auto bytes = hex("AB CD");
  BitReader r(bytes);
  ASSERT_TRUE(r.get_bits(4));
  EXPECT_EQ(r.get_bits(13).error().bits, 13u);
  std::array<char, 2> two{};
  EXPECT_EQ(r.get_bytes(two).error().bits, 16u);
  EXPECT_EQ(r.skip(13).error().bits, 13u);
  EXPECT_EQ(*r.get_bits(12), 0xBCDu);
  EXPECT_EQ(r.get_bits(1).error().kind, DocError::Kind::kIncomplete);
}

}  // namespace
}  // namespace tarv::converter
