#include "converter/processors/cp1251.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "converter/processors/utf8.h"
#include "tests/converter/samples.h"

namespace tarv::converter {
namespace {

struct TextCase {
  std::string_view name;
  std::string_view input;
  std::string_view output;
};

class ToCp1251 : public ::testing::TestWithParam<TextCase> {};

TEST_P(ToCp1251, Converts) { EXPECT_EQ(to_cp1251(GetParam().input), GetParam().output); }

INSTANTIATE_TEST_SUITE_P(
    Cases, ToCp1251,
    ::testing::Values(TextCase{"Empty", "", ""},
                      TextCase{"Ascii", "Cashier 1 <&#>", "Cashier 1 <&#>"},
                      TextCase{"AsciiControlsAndNul", std::string_view("a\0\t\x7F", 4),
                               std::string_view("a\0\t\x7F", 4)},
                      TextCase{"Cyrillic", "Иванов", "\xC8\xE2\xE0\xED\xEE\xE2"},
                      TextCase{"YoAndUkrainian", "Ёё Іі Її Ґґ",
                               "\xA8\xB8 \xB2\xB3 \xAF\xBF \xA5\xB4"},
                      TextCase{"Symbols", "€ № — «»", "\x88 \xB9 \x97 \xAB\xBB"},
                      TextCase{"C1ControlInTheIndex", "\xC2\x98", "\x98"},
                      TextCase{"CjkAsReference", "中", "&#20013;"},
                      TextCase{"OtherC1ControlAsReference", "\xC2\x81", "&#129;"},
                      TextCase{"LatinAccentAsReference", "é", "&#233;"},
                      TextCase{"AstralAsReference", "😀", "&#128512;"},
                      TextCase{"Mixed", "Чай 中 tea", "\xD7\xE0\xE9 &#20013; tea"},
                      TextCase{"MalformedUtf8AsReplacement",
                               "a\xFF"
                               "b",
                               "a&#65533;b"},
                      TextCase{"TruncatedSequenceAsOneReplacement", "\xE4\xB8", "&#65533;"}),
    samples::ByName());

TEST(ToCp1251, EveryByteOfTheTableRoundTrips) {
  for (unsigned b = 0; b < 256; ++b) {
    const std::string byte(1, static_cast<char>(b));
    const std::string text = from_cp1251(byte);
    EXPECT_EQ(to_cp1251(text), byte) << "byte " << b;
    EXPECT_EQ(cp1251_byte(utf8::next(text, 0).code_point), b) << "byte " << b;
  }
}

TEST(ToCp1251, BoundedOutputCutsEvenInsideAReference) {
  std::array<char, 5> out{};
  EXPECT_EQ(to_cp1251("Я中", out), 5u);
  EXPECT_EQ(std::string_view(out.data(), 5), "\xDF&#20");
  std::array<char, 8> roomy{};
  EXPECT_EQ(to_cp1251("ab", roomy), 2u);
}

class FromCp1251 : public ::testing::TestWithParam<TextCase> {};

TEST_P(FromCp1251, Decodes) { EXPECT_EQ(from_cp1251(GetParam().input), GetParam().output); }

INSTANTIATE_TEST_SUITE_P(Cases, FromCp1251,
                         ::testing::Values(TextCase{"Ascii", "abc", "abc"},
                                           TextCase{"Cyrillic", "\xC0\xFF\xA8\xB8", "АяЁё"},
                                           TextCase{"Symbols", "\x88\xB9\x98\xA0",
                                                    "€№\xC2\x98\xC2\xA0"},
                                           TextCase{"KeepsNul", std::string_view("a\0b", 3),
                                                    std::string_view("a\0b", 3)}),
                         samples::ByName());

class TextField : public ::testing::TestWithParam<TextCase> {};

TEST_P(TextField, Decodes) { EXPECT_EQ(decode_text_field(GetParam().input), GetParam().output); }

INSTANTIATE_TEST_SUITE_P(
    Cases, TextField,
    ::testing::Values(
        TextCase{"Cp1251PaddedWithNuls", std::string_view("\xC8\xE2\0\0\0", 5), "Ив"},
        TextCase{"AllNuls", std::string_view("\0\0\0\0", 4), ""},
        TextCase{"InnerNulKept", std::string_view("a\0b\0", 4), std::string_view("a\0b", 3)},
        TextCase{"Utf8AfterBom", std::string_view("\xEF\xBB\xBF\xD0\x98\0\0", 7), "И"},
        TextCase{"Utf8AfterBomMalformed",
                 "\xEF\xBB\xBF"
                 "a\xC8\xE2",
                 "a\xEF\xBF\xBD\xEF\xBF\xBD"},
        TextCase{"Utf8AfterBomCutInsideSequence", "\xEF\xBB\xBF\xE4\xB8", "\xEF\xBF\xBD"},
        TextCase{"Utf16LittleEndian",
                 std::string_view("\xFF\xFE\x18\x04"
                                  "a\0\0\0",
                                  8),
                 "Иa"},
        TextCase{"Utf16BigEndian", std::string_view("\xFE\xFF\x04\x18\0a\0\0", 8), "Иa"},
        TextCase{"Utf16SurrogatePair", std::string_view("\xFF\xFE\x3D\xD8\x00\xDE", 6), "😀"},
        TextCase{"Utf16LoneLeadThenUnit",
                 std::string_view("\xFF\xFE\x3D\xD8"
                                  "a\0",
                                  6),
                 "\xEF\xBF\xBD"
                 "a"},
        TextCase{"Utf16LoneTrail", "\xFE\xFF\xDE\x00", "\xEF\xBF\xBD"},
        TextCase{"Utf16LeadAtEnd", "\xFE\xFF\xD8\x3D", "\xEF\xBF\xBD"},
        TextCase{"Utf16OddByte",
                 std::string_view("\xFE\xFF\x00"
                                  "ab",
                                  5),
                 "a\xEF\xBF\xBD"},
        TextCase{"HalfABomIsCp1251", "\xEF\xBB", "\xD0\xBF\xC2\xBB"}),
    samples::ByName());

class RawField : public ::testing::TestWithParam<TextCase> {};

TEST_P(RawField, Decodes) { EXPECT_EQ(decode_raw_field(GetParam().input), GetParam().output); }

INSTANTIATE_TEST_SUITE_P(
    Cases, RawField,
    ::testing::Values(TextCase{"Utf8PaddedWithNuls", std::string_view("01\xD0\x98\0\0", 6), "01И"},
                      TextCase{"NotConvertedFromCp1251", "\xC8", "\xEF\xBF\xBD"},
                      TextCase{"CutInsideSequence", std::string_view("a\xE4\xB8\0", 4),
                               "a\xEF\xBF\xBD"},
                      TextCase{"OverlongAndSurrogate", "\xC0\xAF\xED\xA0\x80",
                               "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
                      TextCase{"BomIsKept",
                               "\xEF\xBB\xBF"
                               "a",
                               "\xEF\xBB\xBF"
                               "a"}),
    samples::ByName());

struct StepCase {
  std::string_view name;
  std::string_view bytes;
  utf8::Status status;
  uint8_t length;
};

class Utf8Next : public ::testing::TestWithParam<StepCase> {};

TEST_P(Utf8Next, SplitsMaximalSubparts) {
  const utf8::Step step = utf8::next(GetParam().bytes, 0);
  EXPECT_EQ(step.status, GetParam().status);
  EXPECT_EQ(step.length, GetParam().length);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Utf8Next,
    ::testing::Values(StepCase{"Ascii", "A", utf8::Status::kOk, 1},
                      StepCase{"FourBytes", "\xF0\x9F\x98\x80", utf8::Status::kOk, 4},
                      StepCase{"LoneContinuation", "\x80", utf8::Status::kInvalid, 1},
                      StepCase{"OverlongLead", "\xC1\x81", utf8::Status::kInvalid, 1},
                      StepCase{"BadSecondByte", "\xE2(", utf8::Status::kInvalid, 1},
                      StepCase{"BadThirdByte",
                               "\xE2\x82"
                               "A",
                               utf8::Status::kInvalid, 2},
                      StepCase{"BadFourthByte",
                               "\xF0\x9F\x98"
                               "A",
                               utf8::Status::kInvalid, 3},
                      StepCase{"Surrogate", "\xED\xA0\x80", utf8::Status::kInvalid, 1},
                      StepCase{"AboveMax", "\xF4\x90\x80\x80", utf8::Status::kInvalid, 1},
                      StepCase{"LeadAbove", "\xF5\x80", utf8::Status::kInvalid, 1},
                      StepCase{"EndsAfterLead", "\xE2", utf8::Status::kIncomplete, 1},
                      StepCase{"EndsAfterTwo", "\xF0\x9F\x98", utf8::Status::kIncomplete, 3}),
    samples::ByName());

}  // namespace
}  // namespace tarv::converter
