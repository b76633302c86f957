// The bytes and sizes the writer produces, and what it refuses to write.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>
#include <string>
#include <type_traits>

#include "converter/document.h"
#include "converter/fields.h"
#include "converter/layout.h"
#include "tests/converter/samples.h"

namespace tarv::converter {
namespace {

using samples::Bytes;
using samples::encoded;
using samples::hex;
using samples::sample_header;
using samples::slice;

constexpr size_t kHeaderEnd = 38;  // kind id and common header
constexpr size_t kCodeAt = 41;     // a sale's first code block: after the count and section

TEST(Writer, DepositIs56Bytes) {
  EXPECT_EQ(encoded(DepositDoc{sample_header(), 12345}),
            samples::concat({hex("0B 01020304"),                         // kind, device
                             hex("C8E2E0EDEEE2"), Bytes(14, 0),          // Иванов
                             hex("00000007 03 09 18 0E 05 00 42594E"),   // number, date, BYN
                             hex("00 00 00 00 7B 2D"), Bytes(12, 0)}));  // 0 | 123 | 45, tail
}

struct BytesCase {
  std::string_view name;
  TarvDocument doc;
  size_t at;
  std::string bytes;  // hex
  // gtest would otherwise print the object's bytes, string buffers and all.
  friend void PrintTo(const BytesCase& c, std::ostream* os) { *os << c.name; }
};

class WrittenBytes : public ::testing::TestWithParam<BytesCase> {};
TEST_P(WrittenBytes, Match) {
  const Bytes want = hex(GetParam().bytes);
  EXPECT_EQ(slice(encoded(GetParam().doc), GetParam().at, want.size()), want);
}

DocHeader with_cashier(std::string cashier) {
  DocHeader h = sample_header();
  h.cashier = std::move(cashier);
  return h;
}
DocHeader with_currency_and_date(std::string currency, DateTime at) {
  DocHeader h = sample_header();
  h.currency = std::move(currency);
  h.at = at;
  return h;
}
SaleDoc sale_with_code(CodeBlock code) {
  SaleDoc s = samples::sample_sale(1);
  s.items[0].code = std::move(code);
  return s;
}
const std::string kSi =
    "0104810000000013215abc\x1D"
    "93x";
const std::string kSiField = "303130343831303030303030303031333231356162631D393378";  // then zeros

INSTANTIATE_TEST_SUITE_P(
    Cases, WrittenBytes,
    ::testing::Values(
        BytesCase{"CardHolderSignBit", CardHolderWithdrawDoc{sample_header(), 100}, 38,
                  "800000000100"},
        BytesCase{"CardHolderZeroNoSign", CardHolderWithdrawDoc{sample_header(), 0}, 38,
                  "000000000000"},
        BytesCase{"DepositNoSign", DepositDoc{sample_header(), 100}, 38, "000000000100"},
        BytesCase{"LargestAmount", WithdrawDoc{sample_header(), layout::kMaxAmount}, 38,
                  "7FFFFFFFFF63"},
        BytesCase{"CjkIsEightBytes", DepositDoc{with_cashier("中"), 0}, 5, "26233230303133 3B 00"},
        BytesCase{"TwentyBytesNoPad", DepositDoc{with_cashier("ИвановИвановИвановИв"), 0}, 5,
                  "C8E2E0EDEEE2C8E2E0EDEEE2C8E2E0EDEEE2C8E2 00000007"},
        BytesCase{"CutInsideReference", DepositDoc{with_cashier("ABCDEFGHIJKLMNOPQ中"), 0}, 5,
                  "4142434445464748494A4B4C4D4E4F5051262332 00000007"},
        BytesCase{"EuroCurrencyLastDay",
                  DepositDoc{with_currency_and_date("€", {2255, 12, 31, 86399}), 0}, 29,
                  "0C 1F FF 17 3B 3B E282AC"},
        BytesCase{"PlainCode", sale_with_code(PlainCode{3, "12345"}), kCodeAt,
                  "0030000000012345 D5"},
        BytesCase{"Gtin13", sale_with_code(GtinCode{{}, {}, "4810000000013"}), kCodeAt,
                  "0014810000000013 D5"},
        BytesCase{"Gtin14", sale_with_code(GtinCode{{}, {}, "04810000000013"}), kCodeAt,
                  "1004810000000013 D5"},
        BytesCase{"Gtin13WithUkz", sale_with_code(GtinCode{{}, "ukz", "7"}), kCodeAt,
                  "02 756B7A" + std::string(122, '0') + "10000000000007 D5"},
        BytesCase{"Gtin14WithSi", sale_with_code(GtinCode{kSi, {}, "14810000000013"}), kCodeAt,
                  "11" + kSiField + std::string(512 - kSiField.size(), '0') + "14810000000013 D5"},
        BytesCase{"Marked", sale_with_code(MarkedCode{kSi, {}, "7"}), kCodeAt,
                  "14" + kSiField + std::string(512 - kSiField.size(), '0') + "00000000000007 D5"},
        BytesCase{"MarkedWithUkz", sale_with_code(MarkedCode{std::string(300, 'x'), "Код", "7"}),
                  kCodeAt + 256, "78 D09AD0BED0B4" + std::string(116, '0') + "00000000000007 D5"}),
    samples::ByName());

TEST(Writer, SaleItemTotalsAndTail) {
  SaleDoc s = samples::sample_sale(1);
  s.items[0].section = 0;
  s.tp_tax_number.reset();
  s.discount = 5;
  s.cashless = 90;
  s.other = 40;
  const Bytes bytes = encoded(s);
  ASSERT_EQ(bytes.size(), 116u + 80u);
  EXPECT_EQ(slice(bytes, kHeaderEnd, 3), hex("0001 00"));  // count, section
  // quantity u24, cost, sign-marked discount, markup, then tp_tax_number 0 and
  // items_sum, discount (sign-marked), markup, total, cashless, cash, other.
  EXPECT_EQ(slice(bytes, 99, 21 + 46),
            hex("0007D0 000000000300 80000000000A 000000000005 00000000"
                "00000000025F 800000000005 000000000000 00000000025F 00000000005A"
                "00000000025F 000000000028"));
  EXPECT_EQ(slice(bytes, 166, 30), Bytes(30, 0));
}

TEST(Writer, RefundWritesCashBeforeCashless) {
  const Bytes bytes = encoded(RefundDoc{sample_header(), {}, 500, 100, 300, 7});
  EXPECT_EQ(slice(bytes, 0, 1), hex("0D"));
  EXPECT_EQ(slice(bytes, kHeaderEnd, 24),
            hex("000000000500 000000000100 000000000300 000000000007"));
}

TEST(Writer, ReportHeadAndRecordFieldWidths) {
  ReportDoc r = samples::sample_report();
  ReportRecord& c = r.records[0];
  c.count_a = 0x1234;
  c.count_d2 = 0xABCDEF;
  c.value_e1 = 0x010203;
  c.value_f2 = 0xFFFF;
  c.extra = ReportExtra{{}, {0x0102, 2}};
  const Bytes bytes = encoded(r);
  EXPECT_EQ(slice(bytes, 0, 34),
            hex("0F 0B660207 0000002A 030918080000 030918140000 000C 0000 00000000 00000000 01"));
  EXPECT_EQ(slice(bytes, 34, 5), hex("42594E 1234"));
  EXPECT_EQ(slice(bytes, 122, 20), hex("ABCDEF 000000000000 010203 000000 0000 FFFF 02"));
  EXPECT_EQ(slice(bytes, 150, 8), hex("0102 000000000002"));  // extra.rollbacks
}

struct SizeCase {
  std::string_view name;
  TarvDocument doc;
  size_t size;
  friend void PrintTo(const SizeCase& c, std::ostream* os) { *os << c.name; }
};

class Size : public ::testing::TestWithParam<SizeCase> {};
TEST_P(Size, Matches) { EXPECT_EQ(encoded(GetParam().doc).size(), GetParam().size); }

ReportDoc report_with_groups(bool orders, bool extra) {
  ReportDoc r = samples::sample_report();
  if (orders) r.records[0].orders = ReportOrders{};
  if (extra) r.records[0].extra = ReportExtra{};
  return r;
}
const RefundItem kRefundItem{0, PlainCode{1, "7"}, "Сок", 1000, 250};

INSTANTIATE_TEST_SUITE_P(
    Cases, Size,
    ::testing::Values(
        SizeCase{"EmptySale", samples::sample_sale(0), 116},
        SizeCase{"SaleTwoItems", samples::sample_sale(2), 116 + 160},
        SizeCase{"Withdraw", WithdrawDoc{sample_header(), 1}, 56},
        SizeCase{"CardHolderWithdraw", CardHolderWithdrawDoc{sample_header(), 1}, 56},
        SizeCase{"EmptyRefund", RefundDoc{sample_header(), {}, 0, 0, 0, 0}, 62},
        SizeCase{"RefundTwoItems",
                 RefundDoc{sample_header(), {kRefundItem, kRefundItem}, 0, 0, 0, 0}, 62 + 136},
        SizeCase{"EmptyRollback", RollbackDoc{sample_header(), 1, {}, 0}, 60},
        SizeCase{"RollbackLines",
                 RollbackDoc{sample_header(),
                             1,
                             {{{}, {}, "a"}, {"si", {}, "b"}, {{}, "u", "c"}, {"s", "u", "d"}},
                             0},
                 60 + 4 * 51 + 2 * 256 + 2 * 64},
        SizeCase{"ReportOneRecord", samples::sample_report(), 142},
        SizeCase{"ReportOrders", report_with_groups(true, false), 142 + 45},
        SizeCase{"ReportBothGroups", report_with_groups(true, true), 142 + 45 + 16}),
    samples::ByName());

// Failures: the currency and non-digit ones the format defines, and values
// that do not fit their field, refused rather than truncated.
struct FailureCase {
  std::string_view name;
  std::function<TarvDocument()> make;
  std::string_view rendered;  // empty: the value fits and is written
  friend void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }
};

// A receipt of lines is written exactly when each line alone is and the
// receipt without its lines is: the verdict a receipt whose lines are left
// in the request takes (with a sale's line count, which the sale checks
// itself).
template <class Doc>
bool written_by_parts(Doc doc) {
  bool lines = std::ranges::all_of(doc.items, [](const auto& i) { return !!encodable(i); });
  if constexpr (std::is_same_v<Doc, SaleDoc>) lines &= doc.items.size() <= layout::kMaxSaleItems;
  doc.items.clear();
  return lines && encode(doc).has_value();
}

class WriteFailure : public ::testing::TestWithParam<FailureCase> {};
TEST_P(WriteFailure, Renders) {
  const TarvDocument doc = GetParam().make();
  const auto bytes = encode(doc);
  if (GetParam().rendered.empty()) {
    EXPECT_TRUE(bytes) << render(bytes.error());
  } else {
    ASSERT_FALSE(bytes);
    EXPECT_EQ(render(bytes.error()), GetParam().rendered);
  }
  std::visit(
      [&](const auto& d) {
        if constexpr (requires { d.items; }) {
          EXPECT_EQ(written_by_parts(d), bytes.has_value());
        }
      },
      doc);
}

template <class Doc, class F>
std::function<TarvDocument()> edit(Doc doc, F f) {
  return [doc, f] {
    Doc copy = doc;
    f(copy);
    return TarvDocument(copy);
  };
}
auto sale3 = [](auto f) { return edit(samples::sample_sale(3), f); };
auto report2 = [](auto f) {
  ReportDoc r = samples::sample_report();
  r.records.push_back(r.records[0]);
  return edit(r, f);
};
auto deposit_at = [](DateTime at) {
  return edit(DepositDoc{sample_header(), 1}, [at](DepositDoc& d) { d.header.at = at; });
};
constexpr uint64_t kOver = layout::kMaxAmount + 1;

INSTANTIATE_TEST_SUITE_P(
    Cases, WriteFailure,
    ::testing::Values(
        FailureCase{"TwoByteCurrency", sale3([](SaleDoc& s) { s.header.currency = "BY"; }),
                    R"(InvalidParam("Invalid currency name"))"},
        FailureCase{"RecordCurrency", report2([](ReportDoc& r) { r.records[1].currency = "BYNN"; }),
                    R"(InvalidParam("Invalid currency name"))"},
        FailureCase{"HeaderBeforeItems", sale3([](SaleDoc& s) {
                      s.header.currency = "BY";
                      s.items[0].code = PlainCode{0, "12A4"};
                    }),
                    R"(InvalidParam("Invalid currency name"))"},
        FailureCase{"NonDigit", sale3([](SaleDoc& s) {
                      s.items[1].code = PlainCode{0, "12A4"};
                    }),
                    R"(Unexpected("code_write: code contains non-digit character: A"))"},
        FailureCase{"NonDigitCyrillic", sale3([](SaleDoc& s) {
                      s.items[1].code = GtinCode{{}, {}, "1Д"};
                    }),
                    R"(Unexpected("code_write: code contains non-digit character: Д"))"},
        FailureCase{"LargestValuesFit", sale3([](SaleDoc& s) {
                      s.total = layout::kMaxAmount;
                      s.items[1].quantity = 0xFFFFFF;
                      s.items.resize(65535, s.items[0]);
                    }),
                    ""},
        FailureCase{"Total", sale3([](SaleDoc& s) { s.total = kOver; }),
                    R"(InvalidParam("amount out of range: total"))"},
        FailureCase{"ItemCost", sale3([](SaleDoc& s) { s.items[2].cost = kOver; }),
                    R"(InvalidParam("amount out of range: items[2].cost"))"},
        FailureCase{"RefundSum",
                    edit(RefundDoc{sample_header(), {kRefundItem}, 0, 0, 0, 0},
                         [](RefundDoc& r) { r.items[0].sum = kOver; }),
                    R"(InvalidParam("amount out of range: items[0].sum"))"},
        FailureCase{
            "CashOpAmount",
            edit(CardHolderWithdrawDoc{sample_header(), 0}, [](auto& d) { d.amount = UINT64_MAX; }),
            R"(InvalidParam("amount out of range: amount"))"},
        FailureCase{"Quantity", sale3([](SaleDoc& s) { s.items[1].quantity = 0x1000000; }),
                    R"(InvalidParam("value out of range: items[1].quantity"))"},
        FailureCase{"CodeKind", sale3([](SaleDoc& s) {
                      s.items[0].code = PlainCode{16, "1"};
                    }),
                    R"(InvalidParam("value out of range: items[0].code.kind"))"},
        FailureCase{"SaleItems", sale3([](SaleDoc& s) { s.items.resize(65536, s.items[0]); }),
                    R"(InvalidParam("count out of range: items"))"},
        FailureCase{"PlainDigits", sale3([](SaleDoc& s) {
                      s.items[0].code = PlainCode{0, "1234567890123A"};
                    }),
                    R"(InvalidParam("digits out of range: items[0].code"))"},
        FailureCase{"MarkedDigits", sale3([](SaleDoc& s) {
                      s.items[2].code = MarkedCode{"s", {}, "123456789012345"};
                    }),
                    R"(InvalidParam("digits out of range: items[2].code"))"},
        FailureCase{"YearsThatFit",
                    edit(samples::sample_report(),
                         [](ReportDoc& r) {
                           r.opened_at = {2000, 1, 1, 0};
                           r.close_at = {2255, 12, 31, 86399};
                         }),
                    ""},
        FailureCase{"YearBefore", deposit_at({1999, 12, 31, 0}),
                    R"(InvalidParam("year out of range: at"))"},
        FailureCase{"YearAfter", report2([](ReportDoc& r) { r.close_at.year = 2256; }),
                    R"(InvalidParam("year out of range: close_at"))"},
        FailureCase{"NoSuchDay", deposit_at({2023, 2, 29, 0}),
                    R"(InvalidParam("date out of range: at"))"},
        FailureCase{"NoSuchSecond", deposit_at({2024, 2, 29, 86400}),
                    R"(InvalidParam("time out of range: at"))"},
        FailureCase{"ShiftNumber", report2([](ReportDoc& r) { r.shift_number = 65536; }),
                    R"(InvalidParam("value out of range: shift_number"))"},
        FailureCase{"RecordCount", report2([](ReportDoc& r) { r.records[1].count_c2 = 0x10000; }),
                    R"(InvalidParam("value out of range: records[1].count_c2"))"},
        FailureCase{"OrdersCount", report2([](ReportDoc& r) {
                      r.records[0].orders = ReportOrders{};
                      r.records[0].orders->closed.count = 0x1000000;
                    }),
                    R"(InvalidParam("value out of range: records[0].orders.closed.count"))"},
        FailureCase{"MostRecordsFit",
                    report2([](ReportDoc& r) { r.records.resize(255, r.records[0]); }), ""},
        FailureCase{"NoRecords", report2([](ReportDoc& r) { r.records.clear(); }),
                    R"(InvalidParam("count out of range: records"))"},
        FailureCase{"TooManyRecords",
                    report2([](ReportDoc& r) { r.records.resize(256, r.records[0]); }),
                    R"(InvalidParam("count out of range: records"))"}),
    samples::ByName());

}  // namespace
}  // namespace tarv::converter
