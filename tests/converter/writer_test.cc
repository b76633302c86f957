// The bytes and sizes the writer produces, and the values it refuses.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "converter/document.h"
#include "converter/fields.h"
#include "tests/converter/samples.h"

namespace tarv::converter {
namespace {

using samples::concat;
using samples::encoded;
using samples::hex;
using samples::sample_header;
using samples::sample_header_bytes;
using samples::slice;

constexpr size_t kHeaderEnd = 1 + 37;   // kind id and common header
constexpr size_t kSaleItemCodeAt = 41;  // kind, header, u16 count, section
constexpr size_t kSaleItemNameAt = 49;  // after a plain code block

std::vector<uint8_t> amount_bytes_of(const TarvDocument& doc) {
  return slice(encoded(doc), kHeaderEnd, 6);
}

TEST(Writer, DepositIs56BytesWithHeaderAmountAndZeroTail) {
  const auto bytes = encode(Deposit{sample_header(), 12345});
  ASSERT_TRUE(bytes) << render(bytes.error());
  // amount: sign 0, whole 123 in 39 bits, hundredths 45 in 8 bits.
  EXPECT_EQ(*bytes, concat({hex("0B"), sample_header_bytes(), hex("00 00 00 00 7B 2D"),
                            std::vector<uint8_t>(12, 0)}));
}

TEST(Writer, CashOperationsDifferInKindIdAndSignFlagOnly) {
  const DocHeader h = sample_header();
  EXPECT_EQ(encoded(Deposit{h, 0}),
            concat({hex("0B"), sample_header_bytes(), std::vector<uint8_t>(18, 0)}));
  EXPECT_EQ(encoded(Withdraw{h, 100})[0], 0x0C);
  EXPECT_EQ(encoded(CardHolderWithdraw{h, 100})[0], 0x10);
  EXPECT_EQ(encoded(CardHolderWithdraw{h, 100}).size(), 56u);
  EXPECT_EQ(encoded(Withdraw{h, 100}).size(), 56u);
}

struct AmountCase {
  std::string_view name;
  TarvDocument doc;
  std::string_view bytes;
};

class AmountBits : public ::testing::TestWithParam<AmountCase> {};

TEST_P(AmountBits, Encodes) { EXPECT_EQ(amount_bytes_of(GetParam().doc), hex(GetParam().bytes)); }

INSTANTIATE_TEST_SUITE_P(
    Cases, AmountBits,
    ::testing::Values(
        AmountCase{"CardHolderHundredSetsSign", CardHolderWithdraw{sample_header(), 100},
                   "80 00 00 00 01 00"},
        AmountCase{"CardHolderZeroHasNoSign", CardHolderWithdraw{sample_header(), 0},
                   "00 00 00 00 00 00"},
        AmountCase{"CardHolderOneKopeck", CardHolderWithdraw{sample_header(), 1},
                   "80 00 00 00 00 01"},
        AmountCase{"DepositHundredHasNoSign", Deposit{sample_header(), 100}, "00 00 00 00 01 00"},
        AmountCase{"OneKopeck", Withdraw{sample_header(), 1}, "00 00 00 00 00 01"},
        AmountCase{"Largest", Deposit{sample_header(), kMaxAmount}, "7F FF FF FF FF 63"}),
    samples::ByName());

struct TextCase {
  std::string_view name;
  std::string cashier;
  std::string_view field;  // the 20 bytes, hex
};

class CashierField : public ::testing::TestWithParam<TextCase> {};

TEST_P(CashierField, Encodes) {
  DocHeader h = sample_header();
  h.cashier = GetParam().cashier;
  EXPECT_EQ(slice(encoded(Deposit{h, 0}), 5, 20), hex(GetParam().field));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CashierField,
    ::testing::Values(TextCase{"Ivanov", "Иванов", "C8E2E0EDEEE2 0000000000000000000000000000"},
                      TextCase{"CjkTakesEightBytes", "中",
                               "26233230303133 3B 000000000000000000000000"},
                      TextCase{"ExactlyTwentyBytesNoPadding", "ИвановИвановИвановИв",
                               "C8E2E0EDEEE2 C8E2E0EDEEE2 C8E2E0EDEEE2 C8E2"},
                      TextCase{"CutAfterTwentyBytes", "Иванов Иван Иванович-Петров",
                               "C8E2E0EDEEE2 20 C8E2E0ED 20 C8E2E0EDEEE2E8F7"},
                      TextCase{"CutInsideAReference", "ABCDEFGHIJKLMNOPQ中",
                               "4142434445464748494A4B4C4D4E4F5051 262332"},
                      TextCase{"Empty", "", "0000000000000000000000000000000000000000"}),
    samples::ByName());

TEST(Writer, DateTimeIsSixBytesMonthDayYearHourMinuteSecond) {
  DocHeader h = sample_header();
  EXPECT_EQ(slice(encoded(Deposit{h, 0}), 29, 6), hex("03 09 18 0E 05 00"));
  h.at = DateTime{2000, 12, 31, 86399};
  EXPECT_EQ(slice(encoded(Deposit{h, 0}), 29, 6), hex("0C 1F 00 17 3B 3B"));
  h.at = DateTime{2255, 2, 28, 0};
  EXPECT_EQ(slice(encoded(Deposit{h, 0}), 29, 6), hex("02 1C FF 00 00 00"));
}

TEST(Writer, CurrencyIsItsThreeBytes) {
  DocHeader h = sample_header();
  h.currency = "€";  // one character, three bytes
  EXPECT_EQ(slice(encoded(Deposit{h, 0}), 35, 3), hex("E2 82 AC"));
}

struct CodeCase {
  std::string_view name;
  ItemCode code;
  std::string head;  // the block's first bytes, hex
  size_t block_bytes;
  std::string_view tail;  // the block's last 7 bytes, hex
};

class CodeBlock : public ::testing::TestWithParam<CodeCase> {};

TEST_P(CodeBlock, Encodes) {
  Sale s = samples::sample_sale(1);
  s.items[0].code = GetParam().code;
  const auto bytes = encode(s);
  ASSERT_TRUE(bytes) << render(bytes.error());
  const size_t n = GetParam().block_bytes;
  ASSERT_EQ(bytes->size(), 196 + n - 8);
  const auto block = slice(*bytes, kSaleItemCodeAt, n);
  const auto head = hex(GetParam().head);
  EXPECT_EQ(slice(block, 0, head.size()), head);
  EXPECT_EQ(slice(block, n - 7, 7), hex(GetParam().tail));
  // The name follows the block directly.
  EXPECT_EQ((*bytes)[kSaleItemCodeAt + n], 0xD5);  // Х
}

const std::string kSi = std::string("010481000000001321") + "\x1D" + "93abcd";
const std::string kUkz = "ukz-0001";

std::string si_field_hex() {
  std::string out;
  for (const char c : kSi) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out.push_back(kHex[static_cast<uint8_t>(c) >> 4]);
    out.push_back(kHex[static_cast<uint8_t>(c) & 0xF]);
  }
  return out;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CodeBlock,
    ::testing::Values(CodeCase{"PlainFiveDigitsGetsEightLeadingZeros", PlainCode{3, "12345"},
                               "00 30 00 00", 8, "30 00 00 00 01 23 45"},
                      CodeCase{"PlainEmptyIsAllZeroDigits", PlainCode{0, ""}, "00 00", 8,
                               "00 00 00 00 00 00 00"},
                      CodeCase{"Gtin13HasKindOne", GtinCode{{}, {}, "4810000000013"}, "00 14 81", 8,
                               "14 81 00 00 00 00 13"},
                      CodeCase{"Gtin14HasLongForm", GtinCode{{}, {}, "14810000000013"}, "10 14", 8,
                               "14 81 00 00 00 00 13"},
                      CodeCase{"GtinWithSi", GtinCode{kSi, {}, "4810000000013"},
                               "01 " + si_field_hex(), 8 + 256, "14 81 00 00 00 00 13"},
                      CodeCase{"GtinWithUkz", GtinCode{{}, kUkz, "123"}, "02 756B7A2D30303031 0000",
                               8 + 64, "10 00 00 00 00 01 23"},
                      CodeCase{"Gtin14WithBoth", GtinCode{kSi, kUkz, "14810000000013"},
                               "13 " + si_field_hex(), 8 + 256 + 64, "14 81 00 00 00 00 13"},
                      CodeCase{"MarkedWithoutUkz", MarkedCode{kSi, {}, "4810000000013"},
                               "14 " + si_field_hex(), 8 + 256, "04 81 00 00 00 00 13"},
                      CodeCase{"MarkedWithUkz", MarkedCode{kSi, kUkz, "04810000000013"},
                               "1C " + si_field_hex(), 8 + 256 + 64, "04 81 00 00 00 00 13"}),
    samples::ByName());

TEST(Writer, MarkingFieldsAreRawBytesCutToTheirWidth) {
  Sale s = samples::sample_sale(1);
  const std::string long_si(300, 'x');
  const std::string ukz = "Код";  // UTF-8, not converted
  s.items[0].code = MarkedCode{long_si, ukz, "1"};
  const auto bytes = encoded(s);
  EXPECT_EQ(slice(bytes, kSaleItemCodeAt + 1, 256), std::vector<uint8_t>(256, 'x'));
  EXPECT_EQ(slice(bytes, kSaleItemCodeAt + 1 + 256, 8), hex("D09AD0BED0B40000"));
}

TEST(Writer, SaleItemAndTotalsLayout) {
  Sale s = samples::sample_sale(1);
  s.items[0] = SaleItem{7, PlainCode{3, "12345"}, "Хлеб", 2500, 300, 10, 5};
  s.tp_tax_number.reset();
  s.items_sum = 295;
  s.discount = 5;
  s.markup = 0;
  s.total = 290;
  s.cashless = 90;
  s.cash = 200;
  s.other = 40;
  const auto bytes = encode(s);
  ASSERT_TRUE(bytes);
  ASSERT_EQ(bytes->size(), 116u + 80u);
  EXPECT_EQ(slice(*bytes, 0, 1), hex("0A"));
  EXPECT_EQ(slice(*bytes, kHeaderEnd, 3), hex("0001 07"));
  EXPECT_EQ(slice(*bytes, kSaleItemNameAt, 4), hex("D5EBE5E1"));
  EXPECT_EQ(slice(*bytes, kSaleItemNameAt + 50, 3 + 18),
            hex("0009C4 000000000300 80000000000A 000000000005"));
  EXPECT_EQ(slice(*bytes, 120, 4 + 42),
            hex("00000000 00000000025F 800000000005 000000000000 00000000025A"
                " 00000000005A 000000000200 000000000028"));
  EXPECT_EQ(slice(*bytes, 166, 30), std::vector<uint8_t>(30, 0));
}

TEST(Writer, SaleWithoutItemsWritesCountZero) {
  const auto bytes = encoded(samples::sample_sale(0));
  ASSERT_EQ(bytes.size(), 116u);
  EXPECT_EQ(slice(bytes, kHeaderEnd, 6), hex("0000 0B532B81"));  // count, tp_tax_number
}

TEST(Writer, RefundLayoutAndSizes) {
  Refund r{sample_header(), {}, 500, 100, 300, 100};
  const auto empty = encoded(r);
  ASSERT_EQ(empty.size(), 62u);
  EXPECT_EQ(slice(empty, 0, 1), hex("0D"));
  // cash before cashless
  EXPECT_EQ(slice(empty, kHeaderEnd, 24),
            hex("000000000500 000000000100 000000000300 000000000100"));
  r.items.push_back(RefundItem{0, PlainCode{1, "7"}, "Молоко", 1000, 250});
  r.items.push_back(RefundItem{0, MarkedCode{"si", {}, "7"}, "Вода", 1000, 250});
  const auto two = encoded(r);
  ASSERT_EQ(two.size(), 62u + 68u + 68u + 256u);
  EXPECT_EQ(slice(two, kHeaderEnd, 1 + 8), hex("00 00 10 00 00 00 00 00 07"));
  EXPECT_EQ(slice(two, kHeaderEnd + 59, 9), hex("0003E8 000000000232"));
}

TEST(Writer, RollbackLayoutAndSizes) {
  Rollback r{sample_header(), 99, {}, 12345};
  const auto empty = encoded(r);
  ASSERT_EQ(empty.size(), 60u);
  EXPECT_EQ(slice(empty, 0, 1), hex("0E"));
  EXPECT_EQ(slice(empty, kHeaderEnd, 10), hex("00000063 000000007B2D"));
  EXPECT_EQ(slice(empty, 48, 12), std::vector<uint8_t>(12, 0));

  struct {
    RollbackLine line;
    size_t size;
    uint8_t flags;
  } const cases[] = {
      {{{}, {}, "Хлеб"}, 51, 0},
      {{"si", {}, "Хлеб"}, 51 + 256, 1},
      {{{}, "ukz", "Хлеб"}, 51 + 64, 2},
      {{"si", "ukz", "Хлеб"}, 51 + 256 + 64, 3},
  };
  for (const auto& c : cases) {
    r.lines = {c.line};
    const auto bytes = encoded(r);
    ASSERT_EQ(bytes.size(), 60 + c.size) << int{c.flags};
    EXPECT_EQ(bytes[kHeaderEnd + 4], c.flags);
    EXPECT_EQ(bytes[kHeaderEnd + 4 + c.size - 50], 0xD5) << int{c.flags};  // the name
  }
}

TEST(Writer, ReportWithOneRecordIs142Bytes) {
  const auto bytes = encode(samples::sample_report());
  ASSERT_TRUE(bytes);
  ASSERT_EQ(bytes->size(), 142u);
  EXPECT_EQ(slice(*bytes, 0, 34),
            hex("0F 0B660207 0000002A 030918 080000 030918 140000 000C 0000 00000000 00000000 01"));
  EXPECT_EQ(slice(*bytes, 34, 3), hex("42594E"));
  EXPECT_EQ(slice(*bytes, 37, 105), std::vector<uint8_t>(105, 0));
}

TEST(Writer, ReportRecordGroupsAndFieldWidths) {
  Report r = samples::sample_report();
  ReportRecord& c = r.records[0];
  c.count_a = 0x1234;
  c.count_d2 = 0xABCDEF;
  c.value_e1 = 0x010203;
  c.value_f2 = 0xFFFF;
  c.orders = ReportOrders{};
  c.orders->moved = CountSum{0x0A0B0C, 1};
  c.extra = ReportExtra{};
  c.extra->rollbacks = CountSum{0x0102, 2};
  const auto bytes = encoded(r);
  ASSERT_EQ(bytes.size(), 142u + 45u + 16u);
  EXPECT_EQ(slice(bytes, 37, 2), hex("1234"));
  // d2 count after a(2 + 18), b(32), c(24), d1(9)
  EXPECT_EQ(slice(bytes, 37 + 20 + 32 + 24 + 9, 3), hex("ABCDEF"));
  EXPECT_EQ(slice(bytes, 37 + 20 + 32 + 24 + 18, 10), hex("010203 000000 0000 FFFF"));
  EXPECT_EQ(bytes[141], 3);                                            // tail flags
  EXPECT_EQ(slice(bytes, 142 + 36, 9), hex("0A0B0C 000000000001"));    // orders.moved
  EXPECT_EQ(slice(bytes, 142 + 45 + 8, 8), hex("0102 000000000002"));  // extra.rollbacks

  c.orders.reset();
  EXPECT_EQ(encoded(r).size(), 142u + 16u);
  EXPECT_EQ(encoded(r)[141], 2);
}

// Failures the format itself defines.
TEST(Writer, CurrencyMustBeExactlyThreeBytes) {
  for (const std::string currency : {"BY", "BYNN", "", "€A"}) {
    DocHeader h = sample_header();
    h.currency = currency;
    const auto bytes = encode(Deposit{h, 0});
    ASSERT_FALSE(bytes) << currency;
    EXPECT_EQ(render(bytes.error()), "InvalidParam(\"Invalid currency name\")");
  }
  Report r = samples::sample_report();
  r.records[0].currency = "BYNN";
  EXPECT_EQ(render(encode(r).error()), "InvalidParam(\"Invalid currency name\")");
}

TEST(Writer, HeaderFailsBeforeAnyItemIsLookedAt) {
  Sale s = samples::sample_sale(1);
  s.header.currency = "BY";
  s.items[0].code = PlainCode{0, "12A4"};
  EXPECT_EQ(render(encode(s).error()), "InvalidParam(\"Invalid currency name\")");
}

struct NonDigitCase {
  std::string_view name;
  ItemCode code;
  std::string_view rendered;
};

class NonDigit : public ::testing::TestWithParam<NonDigitCase> {};

TEST_P(NonDigit, FailsNamingTheCharacter) {
  Sale s = samples::sample_sale(2);
  s.items[1].code = GetParam().code;
  const auto bytes = encode(s);
  ASSERT_FALSE(bytes);
  EXPECT_EQ(render(bytes.error()), GetParam().rendered);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NonDigit,
    ::testing::Values(
        NonDigitCase{"Plain", PlainCode{0, "12A4"},
                     "Unexpected(\"code_write: code contains non-digit character: A\")"},
        NonDigitCase{"Gtin", GtinCode{{}, {}, " 4"},
                     "Unexpected(\"code_write: code contains non-digit character:  \")"},
        NonDigitCase{"Marked", MarkedCode{"si", {}, "1-"},
                     "Unexpected(\"code_write: code contains non-digit character: -\")"},
        NonDigitCase{"Cyrillic", PlainCode{0, "1Д"},
                     "Unexpected(\"code_write: code contains non-digit character: Д\")"},
        NonDigitCase{"Quote", PlainCode{0, "\""},
                     "Unexpected(\"code_write: code contains non-digit character: \\\"\")"},
        NonDigitCase{"Control", PlainCode{0, "\x1b"},
                     "Unexpected(\"code_write: code contains non-digit character: \\u{1b}\")"}),
    samples::ByName());

// Values that do not fit their field are refused, never truncated.
struct RefusalCase {
  std::string_view name;
  std::function<TarvDocument()> make;
  std::string_view message;  // empty: the value fits and is written
};

class Refusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(Refusal, RefusesOnlyWhatDoesNotFit) {
  const auto bytes = encode(GetParam().make());
  if (GetParam().message.empty()) {
    EXPECT_TRUE(bytes) << render(bytes.error());
    return;
  }
  ASSERT_FALSE(bytes);
  EXPECT_EQ(bytes.error().kind, DocError::Kind::kInvalidParam);
  EXPECT_EQ(bytes.error().message, GetParam().message);
}

template <class F>
std::function<TarvDocument()> sale_with(F&& edit) {
  return [edit] {
    Sale s = samples::sample_sale(3);
    edit(s);
    return TarvDocument(s);
  };
}
template <class F>
std::function<TarvDocument()> report_with(F&& edit) {
  return [edit] {
    Report r = samples::sample_report();
    r.records.push_back(r.records[0]);
    edit(r);
    return TarvDocument(r);
  };
}
std::function<TarvDocument()> deposit_at(DateTime at) {
  return [at] {
    DocHeader h = sample_header();
    h.at = at;
    return TarvDocument(Deposit{h, 1});
  };
}

constexpr uint64_t kOver = kMaxAmount + 1;

INSTANTIATE_TEST_SUITE_P(
    Cases, Refusal,
    ::testing::Values(
        RefusalCase{"LargestAmountFits", sale_with([](Sale& s) { s.total = kMaxAmount; }), ""},
        RefusalCase{"Total", sale_with([](Sale& s) { s.total = kOver; }),
                    "amount out of range: total"},
        RefusalCase{"DocumentDiscount", sale_with([](Sale& s) { s.discount = UINT64_MAX; }),
                    "amount out of range: discount"},
        RefusalCase{"ItemCost", sale_with([](Sale& s) { s.items[2].cost = kOver; }),
                    "amount out of range: items[2].cost"},
        RefusalCase{"CashOpAmount",
                    [] {
                      return TarvDocument(Withdraw{sample_header(), kOver});
                    },
                    "amount out of range: amount"},
        RefusalCase{"RefundItemSum",
                    [] {
                      return TarvDocument(Refund{
                          sample_header(), {RefundItem{0, PlainCode{}, "", 1, kOver}}, 0, 0, 0, 0});
                    },
                    "amount out of range: items[0].sum"},
        RefusalCase{"RollbackAmount",
                    [] {
                      return TarvDocument(Rollback{sample_header(), 1, {}, kOver});
                    },
                    "amount out of range: amount"},
        RefusalCase{"QuantityLargestFits",
                    sale_with([](Sale& s) { s.items[1].quantity = 0xFFFFFF; }), ""},
        RefusalCase{"Quantity", sale_with([](Sale& s) { s.items[1].quantity = 0x1000000; }),
                    "value out of range: items[1].quantity"},
        RefusalCase{"PlainKind", sale_with([](Sale& s) {
                      s.items[0].code = PlainCode{16, "1"};
                    }),
                    "value out of range: items[0].code.kind"},
        RefusalCase{"MostItemsFit", sale_with([](Sale& s) { s.items.resize(65535); }), ""},
        RefusalCase{"TooManyItems", sale_with([](Sale& s) { s.items.resize(65536); }),
                    "count out of range: items"},
        RefusalCase{"PlainDigits", sale_with([](Sale& s) {
                      s.items[0].code = PlainCode{0, "12345678901234"};
                    }),
                    "digits out of range: items[0].code"},
        RefusalCase{"TooLongBeforeNonDigit", sale_with([](Sale& s) {
                      s.items[0].code = PlainCode{0, "1234567890123A"};
                    }),
                    "digits out of range: items[0].code"},
        RefusalCase{"GtinDigits", sale_with([](Sale& s) {
                      s.items[1].code = GtinCode{{}, {}, "123456789012345"};
                    }),
                    "digits out of range: items[1].code"},
        RefusalCase{"MarkedDigits", sale_with([](Sale& s) {
                      s.items[2].code = MarkedCode{"si", {}, "123456789012345"};
                    }),
                    "digits out of range: items[2].code"},
        RefusalCase{"FirstYearFits", deposit_at({2000, 1, 1, 0}), ""},
        RefusalCase{"LastYearFits", deposit_at({2255, 12, 31, 86399}), ""},
        RefusalCase{"YearBefore", deposit_at({1999, 12, 31, 0}), "year out of range: at"},
        RefusalCase{"YearAfter", deposit_at({2256, 1, 1, 0}), "year out of range: at"},
        RefusalCase{"DayThatDoesNotExist", deposit_at({2023, 2, 29, 0}), "date out of range: at"},
        RefusalCase{"LeapDayFits", deposit_at({2024, 2, 29, 0}), ""},
        RefusalCase{"MonthThirteen", deposit_at({2024, 13, 1, 0}), "date out of range: at"},
        RefusalCase{"SecondOfDay", deposit_at({2024, 1, 1, 86400}), "time out of range: at"},
        RefusalCase{"ShiftNumber", report_with([](Report& r) { r.shift_number = 65536; }),
                    "value out of range: shift_number"},
        RefusalCase{"DocsCount", report_with([](Report& r) { r.docs_count = 70000; }),
                    "value out of range: docs_count"},
        RefusalCase{"ReportOpenedYear", report_with([](Report& r) { r.opened_at.year = 2300; }),
                    "year out of range: opened_at"},
        RefusalCase{"RecordCountA", report_with([](Report& r) { r.records[1].count_a = 0x10000; }),
                    "value out of range: records[1].count_a"},
        RefusalCase{"RecordCountD",
                    report_with([](Report& r) { r.records[0].count_d1 = 0x1000000; }),
                    "value out of range: records[0].count_d1"},
        RefusalCase{"RecordSum", report_with([](Report& r) { r.records[1].sum_c3 = kOver; }),
                    "amount out of range: records[1].sum_c3"},
        RefusalCase{"OrdersCountFits", report_with([](Report& r) {
                      r.records[0].orders = ReportOrders{};
                      r.records[0].orders->closed.count = 0xFFFFFF;
                    }),
                    ""},
        RefusalCase{"OrdersCount", report_with([](Report& r) {
                      r.records[0].orders = ReportOrders{};
                      r.records[0].orders->closed.count = 0x1000000;
                    }),
                    "value out of range: records[0].orders.closed.count"},
        RefusalCase{"ExtraCount", report_with([](Report& r) {
                      r.records[1].extra = ReportExtra{};
                      r.records[1].extra->rollbacks.count = 0x10000;
                    }),
                    "value out of range: records[1].extra.rollbacks.count"},
        RefusalCase{"NoRecords", report_with([](Report& r) { r.records.clear(); }),
                    "count out of range: records"},
        RefusalCase{"MostRecordsFit",
                    report_with([](Report& r) { r.records.resize(255, r.records[0]); }), ""},
        RefusalCase{"TooManyRecords",
                    report_with([](Report& r) { r.records.resize(256, r.records[0]); }),
                    "count out of range: records"}),
    samples::ByName());

}  // namespace
}  // namespace tarv::converter
