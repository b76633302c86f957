#include "converter/bit_buffer.h"

#include <gtest/gtest.h>

#include <array>

#include "tests/converter/samples.h"

namespace tarv::converter {
namespace {

using samples::hex;

TEST(BitWriter, PacksFieldsAcrossByteBoundariesMostSignificantFirst) {
  BitWriter w;
  w.put_bits(1, 1);       // 1
  w.put_bits(0x5, 3);     // 101
  w.put_bits(0xABC, 12);  // 1010 1011 1100
  w.put_bits(0x3, 2);     // 11
  w.put_zeros(6);
  EXPECT_EQ(w.bit_size(), 24u);
  EXPECT_EQ(std::move(w).take(), hex("DA BC C0"));
}

TEST(BitWriter, TakesOnlyTheLowBitsOfTheValue) {
  BitWriter w;
  w.put_bits(0xFFF1, 4);
  w.put_bits(0x1FF, 4);
  EXPECT_EQ(std::move(w).take(), hex("1F"));
}

TEST(BitWriter, PutsBytesAlignedAndUnaligned) {
  BitWriter aligned;
  aligned.put_bytes(std::string_view("\x12\x34"));
  EXPECT_EQ(std::move(aligned).take(), hex("1234"));

  BitWriter shifted;
  shifted.put_bits(0xF, 4);
  shifted.put_bytes(std::string_view("\x12\x34"));
  shifted.put_bits(0x0, 4);
  EXPECT_EQ(std::move(shifted).take(), hex("F1 23 40"));
}

TEST(BitWriter, ZerosFillAPartialByteThenWholeBytes) {
  BitWriter w;
  w.put_bits(0x7, 3);
  w.put_zeros(13);
  w.put_bits(0x1, 8);
  EXPECT_EQ(std::move(w).take(), hex("E0 00 01"));
}

TEST(BitReader, ReadsWhatTheWriterWrote) {
  const auto bytes = hex("DA BC C0");
  BitReader r(bytes);
  EXPECT_EQ(*r.get_bits(1), 1u);
  EXPECT_EQ(*r.get_bits(3), 5u);
  EXPECT_EQ(*r.get_bits(12), 0xABCu);
  EXPECT_EQ(*r.get_bits(2), 3u);
  EXPECT_EQ(r.remaining(), 6u);
}

TEST(BitReader, ReadsSixtyFourBitsAtAnOffset) {
  const auto bytes = hex("F0 12 34 56 78 9A BC DE F0");
  BitReader r(bytes);
  ASSERT_TRUE(r.get_bits(4));
  EXPECT_EQ(*r.get_bits(64), 0x0123456789ABCDEFu);
  EXPECT_EQ(r.remaining(), 4u);
}

TEST(BitReader, AShortFieldFailsWithItsWidthAndDoesNotMove) {
  const auto bytes = hex("AB CD");
  BitReader r(bytes);
  ASSERT_TRUE(r.get_bits(4));
  const auto e = r.get_bits(13);
  ASSERT_FALSE(e);
  EXPECT_EQ(e.error().kind, DocError::Kind::kIncomplete);
  EXPECT_EQ(e.error().bits, 13u);
  EXPECT_EQ(r.remaining(), 12u);
  EXPECT_EQ(*r.get_bits(12), 0xBCDu);

  std::array<char, 1> one{};
  const auto bytes_error = r.get_bytes(one);
  ASSERT_FALSE(bytes_error);
  EXPECT_EQ(bytes_error.error().bits, 8u);
  EXPECT_EQ(r.skip(1).error().bits, 1u);
  EXPECT_TRUE(r.skip(0));
}

TEST(BitReader, GetsBytesAtAnOffset) {
  const auto bytes = hex("F1 23 4F");
  BitReader r(bytes);
  ASSERT_TRUE(r.get_bits(4));
  std::array<char, 2> out{};
  ASSERT_TRUE(r.get_bytes(out));
  EXPECT_EQ(static_cast<uint8_t>(out[0]), 0x12);
  EXPECT_EQ(static_cast<uint8_t>(out[1]), 0x34);
  EXPECT_EQ(r.remaining(), 4u);
}

TEST(BitReader, EmptyInputHasNothingToRead) {
  BitReader r({});
  EXPECT_EQ(r.remaining(), 0u);
  EXPECT_EQ(r.get_bits(8).error().bits, 8u);
}

}  // namespace
}  // namespace tarv::converter
