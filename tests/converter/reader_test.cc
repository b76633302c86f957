// decode(): failures with their rendering, lists and tails, the item code
// block forms, and bytes that must not trip the reader.
#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <random>
#include <string>

#include "converter/document.h"
#include "tests/converter/samples.h"

namespace tarv::converter {
namespace {

using samples::Bytes;
using samples::concat;
using samples::encoded;
using samples::hex;
using samples::sample_header;
using samples::slice;

Bytes patched(const TarvDocument& doc, size_t at, std::string_view patch) {
  Bytes bytes = encoded(doc);
  const Bytes p = hex(patch);
  std::copy(p.begin(), p.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
  return bytes;
}
Bytes cut(const TarvDocument& doc, size_t n) { return slice(encoded(doc), 0, n); }

const TarvDocument kDeposit = DepositDoc{sample_header(), 12345};
const TarvDocument kSale = samples::sample_sale(1);
SaleDoc sale_without_tax_number() {
  SaleDoc s = samples::sample_sale(1);
  s.tp_tax_number.reset();
  return s;
}
const TarvDocument kReport = samples::sample_report();
Bytes deposit_date(std::string_view date) { return patched(kDeposit, 29, date); }
Bytes deposit_currency(std::string_view currency) { return patched(kDeposit, 35, currency); }

struct FailureCase {
  std::string_view name;
  Bytes bytes;
  std::string_view rendered;
};

class ReadFailure : public ::testing::TestWithParam<FailureCase> {};
TEST_P(ReadFailure, Renders) {
  const auto doc = decode(GetParam().bytes);
  ASSERT_FALSE(doc);
  EXPECT_EQ(render(doc.error()), GetParam().rendered);
}

constexpr std::string_view kDate = R"(InvalidParam("Invalid date"))";
constexpr std::string_view kTime = R"(InvalidParam("Invalid time"))";

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadFailure,
    ::testing::Values(
        FailureCase{"Empty", {}, "Incomplete(NeedSize { bits: 8 })"},
        FailureCase{
            "Kind9", {9}, R"(Parse("Could not match enum variant id = 9 on enum `TarvDocument`"))"},
        FailureCase{"Kind17", patched(kDeposit, 0, "11"),
                    R"(Parse("Could not match enum variant id = 17 on enum `TarvDocument`"))"},
        FailureCase{"KindOnly", {10}, "Incomplete(NeedSize { bits: 32 })"},
        FailureCase{"CutInCashier", cut(kDeposit, 10), "Incomplete(NeedSize { bits: 160 })"},
        FailureCase{"CutInAmount", cut(kDeposit, 40), "Incomplete(NeedSize { bits: 48 })"},
        FailureCase{"CutInTail", cut(kDeposit, 55), "Incomplete(NeedSize { bits: 96 })"},
        FailureCase{"SaleCutInTail", cut(kSale, 195), "Incomplete(NeedSize { bits: 240 })"},
        FailureCase{"SaleCountAboveItems", patched(sale_without_tax_number(), 38, "0002"),
                    "Incomplete(NeedSize { bits: 48 })"},
        FailureCase{
            "RefundItemLeavesTooFew",
            cut(RefundDoc{sample_header(), {RefundItem{0, PlainCode{}, "x", 1, 1}}, 0, 0, 0, 0},
                38 + 68 + 10),
            "Incomplete(NeedSize { bits: 48 })"},
        FailureCase{"RollbackLineCut",
                    concat({encoded(RollbackDoc{sample_header(), 1, {}, 0}), Bytes(78, 0)}),
                    "Incomplete(NeedSize { bits: 400 })"},
        FailureCase{"ReportCountAboveRecords", patched(kReport, 33, "02"),
                    "Incomplete(NeedSize { bits: 24 })"},
        FailureCase{"SiCodeCut", slice(patched(kSale, 41, "14"), 0, 100),
                    "Incomplete(NeedSize { bits: 2048 })"},
        FailureCase{"February30", deposit_date("02 1E 18 00 00 00"), kDate},
        FailureCase{"February29In2023", deposit_date("02 1D 17 00 00 00"), kDate},
        FailureCase{"February29In2100", deposit_date("02 1D 64 00 00 00"), kDate},
        FailureCase{"April31", deposit_date("04 1F 18 00 00 00"), kDate},
        FailureCase{"Month0", deposit_date("00 01 18 00 00 00"), kDate},
        FailureCase{"Day0", deposit_date("01 00 18 00 00 00"), kDate},
        FailureCase{"DateBeforeTime", deposit_date("02 1E 18 18 00 00"), kDate},
        FailureCase{"Hour24", deposit_date("01 01 18 18 00 00"), kTime},
        FailureCase{"Minute60", deposit_date("01 01 18 00 3C 00"), kTime},
        FailureCase{"Second60", deposit_date("01 01 18 00 00 3C"), kTime},
        FailureCase{"ReportCloseDate", patched(kReport, 15, "02 1E"), kDate},
        FailureCase{"CurrencyBadLead", deposit_currency("FF 42 59"),
                    R"(Parse("invalid utf-8 sequence of 1 bytes from index 0"))"},
        FailureCase{"CurrencyBadSecond", deposit_currency("42 C3 41"),
                    R"(Parse("invalid utf-8 sequence of 1 bytes from index 1"))"},
        FailureCase{"CurrencyBadThird", deposit_currency("E2 82 41"),
                    R"(Parse("invalid utf-8 sequence of 2 bytes from index 0"))"},
        FailureCase{"CurrencySurrogate", deposit_currency("ED A0 80"),
                    R"(Parse("invalid utf-8 sequence of 1 bytes from index 0"))"},
        FailureCase{"CurrencyEndsInSequence", deposit_currency("42 E2 82"),
                    R"(Parse("incomplete utf-8 byte sequence from index 1"))"},
        FailureCase{"RecordCurrencyEnds", patched(kReport, 34, "F0 9F 98"),
                    R"(Parse("incomplete utf-8 byte sequence from index 0"))"},
        FailureCase{"MarkedUkzWithoutSi", patched(kSale, 41, "18"),
                    R"x(Parse("marked item code without si_code (flags = 8)"))x"},
        FailureCase{"LongFormUkzBitsWithoutSi", patched(kSale, 41, "3A"),
                    R"x(Parse("marked item code without si_code (flags = 10)"))x"}),
    samples::ByName());

// The item code block, from hand-made bytes, as the first item of a sale.
struct CodeCase {
  std::string_view name;
  std::string block;  // hex
  CodeBlock code;

  // gtest would otherwise print the object's bytes, string buffers and all.
  friend void PrintTo(const CodeCase& c, std::ostream* os) { *os << c.name; }
};

class ReadCode : public ::testing::TestWithParam<CodeCase> {};
TEST_P(ReadCode, Reads) {
  const Bytes bytes = encoded(kSale);
  const auto doc =
      decode(concat({slice(bytes, 0, 41), hex(GetParam().block), slice(bytes, 49, 147)}));
  ASSERT_TRUE(doc) << render(doc.error());
  EXPECT_EQ(std::get<SaleDoc>(*doc).items[0].code, GetParam().code);
  EXPECT_EQ(std::get<SaleDoc>(*doc).items[0].name, "Хлеб");
}

const std::string kSi = "7369" + std::string(508, '0');     // "si" in raw(256)
const std::string kUkz = "756B7A" + std::string(122, '0');  // "ukz" in raw(64)

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadCode,
    ::testing::Values(
        CodeCase{"Plain", "0030000000012345", PlainCode{3, "12345"}},
        CodeCase{"AllZeroDigits", "0000000000000000", PlainCode{0, "0"}},
        CodeCase{"ShortGtinReadsAsPlainKind1", "0014810000000013", PlainCode{1, "4810000000013"}},
        CodeCase{"EvenFirstNibbleIsShort", "2040000000000009", PlainCode{4, "9"}},
        CodeCase{"LongGtinLosesLeadingZero", "1004810000000013", GtinCode{{}, {}, "4810000000013"}},
        CodeCase{"OddFirstNibbleIsLong", "3000000000000042", GtinCode{{}, {}, "42"}},
        CodeCase{"ShortGtinSiKindIgnored", "01" + kSi + "50000000000007", GtinCode{"si", {}, "7"}},
        CodeCase{"ShortGtinUkz", "02" + kUkz + "10000000000007", GtinCode{{}, "ukz", "7"}},
        CodeCase{"LongGtinBoth", "13" + kSi + kUkz + "00000000000007", GtinCode{"si", "ukz", "7"}},
        CodeCase{"Marked", "14" + kSi + "04810000000013", MarkedCode{"si", {}, "4810000000013"}},
        CodeCase{"MarkedUkz", "1C" + kSi + kUkz + "00000000000001", MarkedCode{"si", "ukz", "1"}},
        CodeCase{"MarkedSiFromBit0", "19" + kSi + kUkz + "00000000000001",
                 MarkedCode{"si", "ukz", "1"}},
        CodeCase{"ShortFormBits1And2", "06" + kSi + kUkz + "10000000000001",
                 GtinCode{"si", "ukz", "1"}},
        CodeCase{"ShortFormMarkedBitsOnly", "04" + kSi + "30000000000001", PlainCode{3, "1"}},
        CodeCase{"NibblesAbove9Carry", "000000000000001A", PlainCode{0, "20"}}),
    samples::ByName());

TEST(Reader, ValuesListsAndIgnoredBits) {
  // Sign flags are dropped, hundredths are not checked, bytes after a fixed
  // end are ignored.
  auto doc = decode(concat({patched(kDeposit, 38, "80 00 00 00 01 FF"), {0xFF}}));
  ASSERT_TRUE(doc);
  EXPECT_EQ(*doc, TarvDocument(DepositDoc{sample_header(), 355}));

  SaleDoc sale = samples::sample_sale(2);
  sale.tp_tax_number = 0;
  doc = decode(concat({encoded(sale), {0xFF}}));
  ASSERT_TRUE(doc);
  sale.tp_tax_number.reset();  // 0 reads as absent
  EXPECT_EQ(*doc, TarvDocument(sale));

  // A refund's items run until 24 bytes are left: 68 more bytes are one item.
  const RefundDoc refund{sample_header(), {}, 9, 8, 7, 6};
  const Bytes empty = encoded(refund);
  EXPECT_EQ(decode(empty).value(), TarvDocument(refund));
  doc = decode(concat({slice(empty, 0, 38), Bytes(68, 0), slice(empty, 38, 24)}));
  ASSERT_TRUE(doc) << render(doc.error());
  EXPECT_EQ(std::get<RefundDoc>(*doc).items.size(), 1u);
  EXPECT_EQ(std::get<RefundDoc>(*doc).total, 9u);

  // Flag bits other than 1 and 2 are ignored in rollback lines and records.
  doc = decode(patched(RollbackDoc{sample_header(), 1, {{{}, {}, "x"}}, 0}, 42, "FC"));
  ASSERT_TRUE(doc) << render(doc.error());
  EXPECT_EQ(std::get<RollbackDoc>(*doc).lines[0], (RollbackLine{{}, {}, "x"}));
  doc = decode(patched(kReport, 141, "FC"));
  ASSERT_TRUE(doc) << render(doc.error());
  EXPECT_EQ(*doc, kReport);
}

TEST(Reader, RendersMessagesWithEscapes) {
  EXPECT_EQ(render({DocError::Kind::kParse, "a\"b\\c\nd\te\rf"}), R"(Parse("a\"b\\c\nd\te\rf"))");
  EXPECT_EQ(render({DocError::Kind::kUnexpected, std::string("\x01\x1f\x7f\0", 4) + "\u0085№"}),
            R"(Unexpected("\u{1}\u{1f}\u{7f}\0\u{85}№"))");
}

// Every strict prefix of a document with a fixed end is incomplete.
TEST(Reader, EveryPrefixOfAFixedEndDocumentIsIncomplete) {
  SaleDoc sale = samples::sample_sale(2);
  sale.items[1].code = MarkedCode{"si", "ukz", "1"};
  ReportDoc report = samples::sample_report();
  report.records[0].orders = ReportOrders{};
  report.records[0].extra = ReportExtra{};
  for (const TarvDocument& doc : {TarvDocument(sale), TarvDocument(report), kDeposit}) {
    const Bytes bytes = encoded(doc);
    for (size_t n = 0; n < bytes.size(); ++n) {
      const auto back = decode(slice(bytes, 0, n));
      ASSERT_FALSE(back) << n;
      ASSERT_EQ(back.error().kind, DocError::Kind::kIncomplete) << n;
    }
  }
}

// Damaged and random bytes: decode returns instead of crashing or reading
// outside the input (which the address sanitizer build would report); what
// it accepts the writer writes back to the same document, and what it
// refuses it refuses with a reader's error.
TEST(Reader, SurvivesDamagedAndRandomBytes) {
  std::mt19937_64 rng(20240309);
  SaleDoc sale = samples::sample_sale(3);
  sale.items[0].code = MarkedCode{"si", "ukz", "1"};
  const Bytes seeds[] = {
      encoded(sale), encoded(kReport), encoded(kDeposit),
      encoded(RefundDoc{
          sample_header(), {RefundItem{0, GtinCode{"s", {}, "1"}, "n", 1, 1}}, 1, 1, 1, 1}),
      encoded(RollbackDoc{sample_header(), 1, {{"s", "u", "n"}}, 1})};
  int refused = 0;
  int written_back = 0;
  for (int round = 0; round < 4000; ++round) {
    Bytes bytes = seeds[static_cast<size_t>(round) % std::size(seeds)];
    for (uint64_t f = rng() % 8; f > 0; --f)
      bytes[rng() % bytes.size()] ^= static_cast<uint8_t>(rng());
    bytes.resize(rng() % (bytes.size() + 16));
    if (round % 5 == 0) {
      for (auto& b : bytes) b = static_cast<uint8_t>(rng());
    }
    const auto doc = decode(bytes);
    if (!doc) {
      EXPECT_NE(doc.error().kind, DocError::Kind::kUnexpected) << render(doc.error());
      EXPECT_FALSE(doc.error().message.empty() && doc.error().bits == 0) << round;
      ++refused;
    } else if (const auto again = encode(*doc)) {
      const auto back = decode(*again);
      ASSERT_TRUE(back) << round << ": " << render(back.error());
      EXPECT_EQ(*back, *doc) << round;
      ++written_back;
    }
  }
  // Both outcomes were met, so both checks above ran.
  EXPECT_GT(refused, 0);
  EXPECT_GT(written_back, 0);
}

}  // namespace
}  // namespace tarv::converter
