#include "base/text/cp1251.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "base/text/hex.h"
#include "tests/converter/samples.h"

namespace tarv::text {
namespace {

using namespace std::string_view_literals;

struct TextCase {
  std::string_view name, input, output;
};

class ToCp1251 : public ::testing::TestWithParam<TextCase> {};
TEST_P(ToCp1251, Converts) { EXPECT_EQ(to_cp1251(GetParam().input), GetParam().output); }
INSTANTIATE_TEST_SUITE_P(
    Cases, ToCp1251,
    ::testing::Values(TextCase{"AsciiAsIs", "a\0&#;\x7F"sv, "a\0&#;\x7F"sv},
                      TextCase{"Cyrillic", "Иванов ЁёІіЇїҐґ",
                               "\xC8\xE2\xE0\xED\xEE\xE2 \xA8\xB8\xB2\xB3\xAF\xBF\xA5\xB4"},
                      TextCase{"Symbols", "€№—«»\u00A0\u0098", "\x88\xB9\x97\xAB\xBB\xA0\x98"},
                      TextCase{"Cjk", "中", "&#20013;"},
                      TextCase{"UnmappedC1AndLatin", "\u0081é", "&#129;&#233;"},
                      TextCase{"Astral", "x😀", "x&#128512;"},
                      TextCase{"MalformedUtf8", "a\xFF\xE4\xB8", "a&#65533;&#65533;"}),
    converter::samples::ByName());

TEST(Cp1251, EveryByteDecodesAndEncodesBack) {
  for (unsigned b = 0; b < 256; ++b) {
    const std::string byte(1, static_cast<char>(b));
    EXPECT_EQ(to_cp1251(from_cp1251(byte)), byte) << b;
  }
  EXPECT_EQ(from_cp1251("\xC0\xFF\x88\xB9\x98"), "Ая€№\u0098");
}

TEST(Cp1251, BoundedConversionCutsInsideAReference) {
  std::array<char, 5> out{};
  EXPECT_EQ(to_cp1251("Я中", out), 5u);
  EXPECT_EQ(std::string_view(out.data(), 5), "\xDF&#20");
}

class TextField : public ::testing::TestWithParam<TextCase> {};
TEST_P(TextField, Decodes) { EXPECT_EQ(decode_text_field(GetParam().input), GetParam().output); }
INSTANTIATE_TEST_SUITE_P(
    Cases, TextField,
    ::testing::Values(TextCase{"Cp1251", "\xC8\xE2\0a\0\0"sv, "Ив\0a"sv},
                      TextCase{"AllNul", "\0\0"sv, ""},
                      TextCase{"HalfABomIsCp1251", "\xEF\xBB", "п»"},
                      TextCase{"Utf8AfterBom", "\xEF\xBB\xBF\xD0\x98\xC8\xE2\0"sv, "И\uFFFD\uFFFD"},
                      TextCase{"Utf8CutInsideSequence", "\xEF\xBB\xBF\xE4\xB8\0"sv, "\uFFFD"},
                      TextCase{"Utf16Le", "\xFF\xFE\x18\x04\x3D\xD8\x00\xDE\0\0"sv, "И😀"},
                      TextCase{"Utf16Be", "\xFE\xFF\x04\x18\0a\0\0"sv, "Иa"},
                      TextCase{"Utf16LoneSurrogates", "\xFE\xFF\xD8\x3D\0a\xDE\0\xD8\x3D"sv,
                               "\uFFFDa\uFFFD\uFFFD"},
                      TextCase{"Utf16OddByte", "\xFE\xFF\0a\0\0\0"sv, "a\0\uFFFD"sv}),
    converter::samples::ByName());

class RawField : public ::testing::TestWithParam<TextCase> {};
TEST_P(RawField, Decodes) { EXPECT_EQ(decode_raw_field(GetParam().input), GetParam().output); }
INSTANTIATE_TEST_SUITE_P(Cases, RawField,
                         ::testing::Values(TextCase{"Utf8", "01\xD0\x98\0\0"sv, "01И"},
                                           TextCase{"NoCp1251", "\xC8", "\uFFFD"},
                                           TextCase{"CutSequence", "a\xE4\xB8\0"sv, "a\uFFFD"},
                                           TextCase{"OverlongAndSurrogate", "\xC0\xAF\xED\xA0\x80",
                                                    "\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
                                           TextCase{"BomKept", "\xEF\xBB\xBF", "\uFEFF"}),
                         converter::samples::ByName());

// Hex text: what a key file or test data may hold, and what makes it raw
// bytes instead (tarv verify falls back to them).
TEST(Hex, ReadsPairsAndRefusesTheRest) {
  const std::pair<std::string_view, std::optional<std::string_view>> cases[] = {
      {"", ""},
      {"0b01FF", "0b01ff"},
      {" 0B 01\tff\r\n", "0b01ff"},
      {"0b0", std::nullopt},   // an odd digit
      {"0b 0", std::nullopt},  // whitespace is no digit
      {"0g", std::nullopt},
      {"0x0b", std::nullopt},
      {"0b:01", std::nullopt},
  };
  for (const auto& [text, hex] : cases) {
    const auto bytes = from_hex(text);
    ASSERT_EQ(bytes.has_value(), hex.has_value()) << text;
    if (bytes) {
      EXPECT_EQ(to_hex(*bytes), *hex) << text;
    }
  }
}

}  // namespace
}  // namespace tarv::text
