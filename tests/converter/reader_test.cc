// decode(): failures with their rendering, list and tail rules, the item code
// block forms, and bytes that must not trip the reader.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>

#include "converter/document.h"
#include "tests/converter/samples.h"

namespace tarv::converter {
namespace {

using samples::concat;
using samples::encoded;
using samples::hex;
using samples::sample_header;
using samples::slice;

using Bytes = std::vector<uint8_t>;

Bytes deposit_bytes() { return encoded(Deposit{sample_header(), 12345}); }

Bytes with(Bytes bytes, size_t at, const Bytes& patch) {
  std::copy(patch.begin(), patch.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
  return bytes;
}
Bytes prefix(const Bytes& bytes, size_t n) { return slice(bytes, 0, n); }

constexpr size_t kDateAt = 29;
constexpr size_t kCurrencyAt = 35;
constexpr size_t kSaleCodeAt = 41;

struct FailureCase {
  std::string_view name;
  std::function<Bytes()> bytes;
  std::string_view rendered;
};

class ReadFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(ReadFailure, RendersExactly) {
  const Bytes bytes = GetParam().bytes();
  const auto doc = decode(bytes);
  ASSERT_FALSE(doc);
  EXPECT_EQ(render(doc.error()), GetParam().rendered);
}

std::function<Bytes()> deposit_with(size_t at, std::string_view patch) {
  return [=] { return with(deposit_bytes(), at, hex(patch)); };
}
std::function<Bytes()> sale_code(std::string_view block) {
  return [=] { return with(encoded(samples::sample_sale(1)), kSaleCodeAt, hex(block)); };
}

const char* const kInvalidDate = "InvalidParam(\"Invalid date\")";
const char* const kInvalidTime = "InvalidParam(\"Invalid time\")";

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadFailure,
    ::testing::Values(
        FailureCase{"Empty", [] { return Bytes{}; }, "Incomplete(NeedSize { bits: 8 })"},
        FailureCase{"KindNine", [] { return hex("09"); },
                    "Parse(\"Could not match enum variant id = 9 on enum `TarvDocument`\")"},
        FailureCase{"KindSeventeen", [] { return with(deposit_bytes(), 0, {17}); },
                    "Parse(\"Could not match enum variant id = 17 on enum `TarvDocument`\")"},
        FailureCase{"KindZero", [] { return hex("00"); },
                    "Parse(\"Could not match enum variant id = 0 on enum `TarvDocument`\")"},
        FailureCase{"Kind255", [] { return hex("FF"); },
                    "Parse(\"Could not match enum variant id = 255 on enum `TarvDocument`\")"},
        FailureCase{"KindOnly", [] { return hex("0A"); }, "Incomplete(NeedSize { bits: 32 })"},
        FailureCase{"CutInsideCashier", [] { return hex("0B 01020304 C8E2"); },
                    "Incomplete(NeedSize { bits: 160 })"},
        FailureCase{"CutInsideAmount", [] { return prefix(deposit_bytes(), 40); },
                    "Incomplete(NeedSize { bits: 48 })"},
        FailureCase{"DepositCutInsideTail", [] { return prefix(deposit_bytes(), 55); },
                    "Incomplete(NeedSize { bits: 96 })"},
        FailureCase{"SaleCutInsideTail",
                    [] { return prefix(encoded(samples::sample_sale(2)), 116 + 160 - 1); },
                    "Incomplete(NeedSize { bits: 240 })"},
        FailureCase{"SaleCountAboveItems",
                    [] {
                      Sale s = samples::sample_sale(1);
                      s.tp_tax_number.reset();
                      return with(encoded(s), 38, hex("0002"));
                    },
                    "Incomplete(NeedSize { bits: 48 })"},
        FailureCase{
            "RefundItemLeavesTooFewBits",
            [] {
              Refund r{sample_header(), {RefundItem{0, PlainCode{}, "x", 1, 1}}, 0, 0, 0, 0};
              return prefix(encoded(r), 38 + 68 + 10);
            },
            "Incomplete(NeedSize { bits: 48 })"},
        FailureCase{
            "RollbackLineCut",
            [] {
              return concat({encoded(Rollback{sample_header(), 1, {}, 0}), Bytes(100 - 22, 0)});
            },
            "Incomplete(NeedSize { bits: 400 })"},
        FailureCase{"ReportRecordCountAboveRecords",
                    [] { return with(encoded(samples::sample_report()), 33, {2}); },
                    "Incomplete(NeedSize { bits: 24 })"},
        FailureCase{"ThirtiethOfFebruary", deposit_with(kDateAt, "02 1E 18 00 00 00"),
                    kInvalidDate},
        FailureCase{"LeapDayOutsideLeapYear", deposit_with(kDateAt, "02 1D 17 00 00 00"),
                    kInvalidDate},
        FailureCase{"MonthZero", deposit_with(kDateAt, "00 01 18 00 00 00"), kInvalidDate},
        FailureCase{"MonthThirteen", deposit_with(kDateAt, "0D 01 18 00 00 00"), kInvalidDate},
        FailureCase{"DayZero", deposit_with(kDateAt, "01 00 18 00 00 00"), kInvalidDate},
        FailureCase{"ThirtyFirstOfApril", deposit_with(kDateAt, "04 1F 18 00 00 00"), kInvalidDate},
        FailureCase{"Year2100IsNotLeap", deposit_with(kDateAt, "02 1D 64 00 00 00"), kInvalidDate},
        FailureCase{"DateCheckedBeforeTime", deposit_with(kDateAt, "02 1E 18 18 00 00"),
                    kInvalidDate},
        FailureCase{"Hour24", deposit_with(kDateAt, "01 01 18 18 00 00"), kInvalidTime},
        FailureCase{"Minute60", deposit_with(kDateAt, "01 01 18 00 3C 00"), kInvalidTime},
        FailureCase{"Second60", deposit_with(kDateAt, "01 01 18 00 00 3C"), kInvalidTime},
        FailureCase{"ReportCloseDate",
                    [] { return with(encoded(samples::sample_report()), 15, hex("02 1E")); },
                    kInvalidDate},
        FailureCase{"CurrencyBadLead", deposit_with(kCurrencyAt, "FF 42 59"),
                    "Parse(\"invalid utf-8 sequence of 1 bytes from index 0\")"},
        FailureCase{"CurrencyBadSecondByte", deposit_with(kCurrencyAt, "42 C3 41"),
                    "Parse(\"invalid utf-8 sequence of 1 bytes from index 1\")"},
        FailureCase{"CurrencyBadThirdByte", deposit_with(kCurrencyAt, "E2 82 41"),
                    "Parse(\"invalid utf-8 sequence of 2 bytes from index 0\")"},
        FailureCase{"CurrencyOverlong", deposit_with(kCurrencyAt, "C0 80 41"),
                    "Parse(\"invalid utf-8 sequence of 1 bytes from index 0\")"},
        FailureCase{"CurrencySurrogate", deposit_with(kCurrencyAt, "ED A0 80"),
                    "Parse(\"invalid utf-8 sequence of 1 bytes from index 0\")"},
        FailureCase{"CurrencyEndsInsideSequence", deposit_with(kCurrencyAt, "42 E2 82"),
                    "Parse(\"incomplete utf-8 byte sequence from index 1\")"},
        FailureCase{"CurrencyEndsAfterLead", deposit_with(kCurrencyAt, "42 59 D0"),
                    "Parse(\"incomplete utf-8 byte sequence from index 2\")"},
        FailureCase{"ReportRecordCurrency",
                    [] { return with(encoded(samples::sample_report()), 34, hex("F0 9F 98")); },
                    "Parse(\"incomplete utf-8 byte sequence from index 0\")"},
        FailureCase{"MarkedUkzWithoutSi", sale_code("18"),
                    "Parse(\"marked item code without si_code (flags = 8)\")"},
        FailureCase{"MarkedUkzBitsWithoutSi", sale_code("3A"),
                    "Parse(\"marked item code without si_code (flags = 10)\")"},
        FailureCase{"SiCodeCut",
                    [] {
                      return prefix(with(encoded(samples::sample_sale(1)), kSaleCodeAt, hex("14")),
                                    100);
                    },
                    "Incomplete(NeedSize { bits: 2048 })"}),
    samples::ByName());

TEST(Reader, DepositReadsBackItsValues) {
  const auto doc = decode(deposit_bytes());
  ASSERT_TRUE(doc) << render(doc.error());
  EXPECT_EQ(*doc, TarvDocument(Deposit{sample_header(), 12345}));
}

TEST(Reader, SignFlagIsDroppedAndHundredthsAreNotChecked) {
  const auto doc = decode(with(deposit_bytes(), 38, hex("80 00 00 00 01 FF")));
  ASSERT_TRUE(doc);
  EXPECT_EQ(std::get<Deposit>(*doc).amount, 100u + 255u);
}

TEST(Reader, BytesAfterAFixedEndAreIgnored) {
  const Bytes junk = hex("FF FF FF");
  for (const TarvDocument& doc :
       {TarvDocument(Deposit{sample_header(), 1}), TarvDocument(Withdraw{sample_header(), 2}),
        TarvDocument(CardHolderWithdraw{sample_header(), 3}), TarvDocument(samples::sample_sale(2)),
        TarvDocument(samples::sample_report())}) {
    const auto back = decode(concat({encoded(doc), junk}));
    ASSERT_TRUE(back) << render(back.error());
    EXPECT_EQ(*back, doc);
  }
}

TEST(Reader, ZeroTaxNumberReadsAsAbsent) {
  Sale s = samples::sample_sale(1);
  s.tp_tax_number = 0;
  const auto back = decode(encoded(s));
  ASSERT_TRUE(back);
  EXPECT_FALSE(std::get<Sale>(*back).tp_tax_number.has_value());
}

TEST(Reader, RefundWithoutItemsAndExtraBytesAsItems) {
  const Refund empty{sample_header(), {}, 4, 3, 2, 1};
  const Bytes bytes = encoded(empty);
  ASSERT_EQ(bytes.size(), 62u);
  EXPECT_EQ(decode(bytes).value(), TarvDocument(empty));

  // 68 more bytes make one more item: the old amounts start it and the last
  // 24 bytes are read as the amounts.
  const Bytes amounts = slice(encoded(Refund{sample_header(), {}, 9, 8, 7, 6}), 38, 24);
  const auto back = decode(concat({bytes, Bytes(44, 0), amounts}));
  ASSERT_TRUE(back) << render(back.error());
  const auto& r = std::get<Refund>(*back);
  EXPECT_EQ(r.items.size(), 1u);
  EXPECT_EQ(r.total, 9u);
  EXPECT_EQ(r.other, 6u);
}

TEST(Reader, RollbackLinesRunToTheAmount) {
  const Rollback r{sample_header(),
                   77,
                   {{{}, {}, "Хлеб"}, {"si-1", {}, "Вода"}, {{}, "ukz", "Соль"}, {"a", "b", "c"}},
                   555};
  const auto back = decode(encoded(r));
  ASSERT_TRUE(back) << render(back.error());
  EXPECT_EQ(*back, TarvDocument(r));

  // Flag bits other than 1 and 2 are ignored.
  Bytes bytes = encoded(Rollback{sample_header(), 1, {{{}, {}, "x"}}, 0});
  bytes[42] = 0xFC;
  const auto ignored = decode(bytes);
  ASSERT_TRUE(ignored) << render(ignored.error());
  EXPECT_EQ(std::get<Rollback>(*ignored).lines[0], (RollbackLine{{}, {}, "x"}));
}

TEST(Reader, ReportTailFlagsSelectTheGroups) {
  Report r = samples::sample_report();
  r.records[0].orders = ReportOrders{{1, 2}, {3, 4}, {5, 6}, {7, 8}, {9, 10}};
  r.records.emplace_back().currency = "RUB";
  r.records[1].count_a = 3;
  r.records[1].extra = ReportExtra{{11, 12}, {13, 14}};
  const auto back = decode(encoded(r));
  ASSERT_TRUE(back) << render(back.error());
  EXPECT_EQ(*back, TarvDocument(r));

  Bytes bytes = encoded(samples::sample_report());
  bytes[141] = 0xFC;  // neither bit 0 nor bit 1
  const auto ignored = decode(bytes);
  ASSERT_TRUE(ignored) << render(ignored.error());
  EXPECT_FALSE(std::get<Report>(*ignored).records[0].orders);
  EXPECT_FALSE(std::get<Report>(*ignored).records[0].extra);
}

// The item code block as read from hand-made bytes.
std::string field_hex(std::string_view text, size_t n) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    const auto b = i < text.size() ? static_cast<uint8_t>(text[i]) : uint8_t{0};
    out.push_back(kHex[b >> 4]);
    out.push_back(kHex[b & 0xF]);
  }
  return out;
}
const std::string kSiHex = field_hex("si", 256);
const std::string kUkzHex = field_hex("ukz", 64);

struct CodeCase {
  std::string_view name;
  std::string block;  // hex
  ItemCode expected;
};

class ReadCode : public ::testing::TestWithParam<CodeCase> {};

TEST_P(ReadCode, Reads) {
  Sale s = samples::sample_sale(1);
  s.items[0].code = PlainCode{};
  const Bytes bytes = encoded(s);
  const Bytes doc_bytes =
      concat({slice(bytes, 0, kSaleCodeAt), hex(GetParam().block), slice(bytes, 49, 196 - 49)});
  const auto doc = decode(doc_bytes);
  ASSERT_TRUE(doc) << render(doc.error());
  EXPECT_EQ(std::get<Sale>(*doc).items[0].code, GetParam().expected);
  EXPECT_EQ(std::get<Sale>(*doc).items[0].name, "Хлеб");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadCode,
    ::testing::Values(
        CodeCase{"Plain", "00 30 00 00 00 01 23 45", PlainCode{3, "12345"}},
        CodeCase{"PlainAllZeros", "00 00 00 00 00 00 00 00", PlainCode{0, "0"}},
        CodeCase{"ShortGtinWithoutMarkingIsPlainKindOne", "00 14 81 00 00 00 00 13",
                 PlainCode{1, "4810000000013"}},
        CodeCase{"EvenFirstNibbleIsShortForm", "20 40 00 00 00 00 00 09", PlainCode{4, "9"}},
        CodeCase{"Gtin14", "10 01 23 45 67 89 01 23", GtinCode{{}, {}, "1234567890123"}},
        CodeCase{"OddFirstNibbleIsLongForm", "30 00 00 00 00 00 00 42", GtinCode{{}, {}, "42"}},
        CodeCase{"ShortGtinWithSi", "01" + kSiHex + "10 00 00 00 00 00 07",
                 GtinCode{"si", {}, "7"}},
        CodeCase{"ShortGtinKindNibbleIgnored", "02" + kUkzHex + "50 00 00 00 00 00 07",
                 GtinCode{{}, "ukz", "7"}},
        CodeCase{"LongGtinWithBoth", "13" + kSiHex + kUkzHex + "00 00 00 00 00 00 07",
                 GtinCode{"si", "ukz", "7"}},
        CodeCase{"Marked", "14" + kSiHex + "04 81 00 00 00 00 13",
                 MarkedCode{"si", {}, "4810000000013"}},
        CodeCase{"MarkedWithUkz", "1C" + kSiHex + kUkzHex + "04 81 00 00 00 00 13",
                 MarkedCode{"si", "ukz", "4810000000013"}},
        CodeCase{"MarkedSiFromBitZero", "19" + kSiHex + kUkzHex + "00 00 00 00 00 00 01",
                 MarkedCode{"si", "ukz", "1"}},
        CodeCase{"ShortFormBitsTwoAndOne", "06" + kSiHex + kUkzHex + "10 00 00 00 00 00 01",
                 GtinCode{"si", "ukz", "1"}},
        CodeCase{"ShortFormMarkedBitsOnlyIsPlain", "04" + kSiHex + "30 00 00 00 00 00 01",
                 PlainCode{3, "1"}},
        CodeCase{"NibblesAboveNineCarry", "00 00 00 00 00 00 00 1A", PlainCode{0, "20"}}),
    samples::ByName());

struct RenderCase {
  std::string_view name;
  DocError error;
  std::string_view rendered;
};

class Render : public ::testing::TestWithParam<RenderCase> {};

TEST_P(Render, Renders) { EXPECT_EQ(render(GetParam().error), GetParam().rendered); }

INSTANTIATE_TEST_SUITE_P(
    Cases, Render,
    ::testing::Values(RenderCase{"Incomplete",
                                 {DocError::Kind::kIncomplete, "", 2048},
                                 "Incomplete(NeedSize { bits: 2048 })"},
                      RenderCase{"Escapes",
                                 {DocError::Kind::kParse, "a\"b\\c\nd\te\rf"},
                                 "Parse(\"a\\\"b\\\\c\\nd\\te\\rf\")"},
                      RenderCase{"Controls",
                                 {DocError::Kind::kUnexpected,
                                  std::string("\x01\x1f\x7f\0", 4) + "\xC2\x85"},
                                 "Unexpected(\"\\u{1}\\u{1f}\\u{7f}\\0\\u{85}\")"},
                      RenderCase{"NonAsciiKept",
                                 {DocError::Kind::kInvalidParam, "Касса №1 '€'"},
                                 "InvalidParam(\"Касса №1 '€'\")"},
                      RenderCase{"Empty", {DocError::Kind::kParse, ""}, "Parse(\"\")"}),
    samples::ByName());

// Every strict prefix of a document with a fixed end is incomplete, never a
// shorter document or a crash.
TEST(Reader, EveryPrefixOfAFixedEndDocumentIsIncomplete) {
  Sale sale = samples::sample_sale(2);
  sale.items[1].code = MarkedCode{"si", "ukz", "1"};
  Report report = samples::sample_report();
  report.records[0].orders = ReportOrders{};
  report.records[0].extra = ReportExtra{};
  for (const TarvDocument& doc : {TarvDocument(sale), TarvDocument(report),
                                  TarvDocument(CardHolderWithdraw{sample_header(), 5})}) {
    const Bytes bytes = encoded(doc);
    for (size_t n = 0; n < bytes.size(); ++n) {
      const auto back = decode(prefix(bytes, n));
      ASSERT_FALSE(back) << n;
      EXPECT_EQ(back.error().kind, DocError::Kind::kIncomplete) << n;
    }
  }
}

// Damaged and random bytes: decode must return, not crash or read outside
// the input (run under the address sanitizer to see the latter).
TEST(Reader, SurvivesDamagedAndRandomBytes) {
  std::mt19937_64 rng(20240309);
  Sale sale = samples::sample_sale(3);
  sale.items[0].code = MarkedCode{"si", "ukz", "1"};
  const Bytes seeds[] = {
      encoded(sale),
      encoded(samples::sample_report()),
      encoded(
          Refund{sample_header(), {RefundItem{0, GtinCode{"s", {}, "1"}, "n", 1, 1}}, 1, 1, 1, 1}),
      encoded(Rollback{sample_header(), 1, {{"s", "u", "n"}}, 1}),
      deposit_bytes(),
  };
  size_t decoded = 0;
  for (int round = 0; round < 4000; ++round) {
    Bytes bytes = seeds[static_cast<size_t>(round) % std::size(seeds)];
    const auto flips = rng() % 8;
    for (uint64_t f = 0; f < flips; ++f) bytes[rng() % bytes.size()] ^= static_cast<uint8_t>(rng());
    bytes.resize(rng() % (bytes.size() + 16));
    if (round % 5 == 0) {
      for (auto& b : bytes) b = static_cast<uint8_t>(rng());
      if (!bytes.empty()) bytes[0] = static_cast<uint8_t>(10 + rng() % 7);
    }
    decoded += decode(bytes).has_value() ? 1 : 0;
  }
  EXPECT_GT(decoded, 0u);
}

}  // namespace
}  // namespace tarv::converter
