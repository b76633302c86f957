#include "converter/bit_buffer.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <vector>

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

// Random fields, with and without room reserved ahead, against a writer that
// sets one bit at a time.
TEST(BitBuffer, RandomFieldsMatchABitByBitWriter) {
  std::mt19937_64 rng(0xB17B0F);
  for (int round = 0; round < 200; ++round) {
    std::vector<uint8_t> expected;
    size_t bit = 0;
    auto put_bit = [&](bool on) {
      if (bit / 8 == expected.size()) expected.push_back(0);
      if (on) expected[bit / 8] = static_cast<uint8_t>(expected[bit / 8] | 0x80 >> bit % 8);
      ++bit;
    };
    BitWriter w;
    if (round % 2 == 0) w.reserve_bytes(rng() % 64);
    for (int field = 0; field < 40; ++field) {
      const uint64_t value = rng();
      switch (rng() % 3) {
        case 0: {
          const auto width = static_cast<unsigned>(rng() % 65);
          w.put_bits(value, width);
          for (unsigned i = width; i-- > 0;) put_bit(i < 64 && (value >> i & 1));
          break;
        }
        case 1: {
          const std::string bytes(rng() % 9, static_cast<char>(value));
          w.put_bytes(bytes);
          for (char c : bytes) {
            for (int i = 8; i-- > 0;) put_bit(static_cast<uint8_t>(c) >> i & 1);
          }
          break;
        }
        default: {
          const size_t zeros = rng() % 20;
          w.put_zeros(zeros);
          for (size_t i = 0; i < zeros; ++i) put_bit(false);
        }
      }
    }
    ASSERT_EQ(w.bit_size(), bit);
    ASSERT_EQ(std::move(w).take(), expected) << "round " << round;
  }
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
