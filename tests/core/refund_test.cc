// The refund through its C export: the shared payment split without change,
// the drawer paying out, lines without VAT, its counters and its document.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/core/receipt.h"

namespace tarv::testing {
namespace {

const std::string kRefundChange = "tarv.core.receipt.refund.change";
const std::string kCashIn = "tarv.core.receipt.cash.in";
const std::string kCashInNeg = "tarv.core.attrs.cash-in.neg";

struct RefundCase {
  std::string name;
  uint64_t total;
  std::vector<pb::Payment> payments;
  std::optional<int64_t> drawer;  // the BYN cash_in; none: no BYN entry
  std::string error;              // empty: accepted with the split below
  uint64_t cash = 0, card = 0, other = 0;
};

TEST(RefundPayments, SplitWithoutChange) {
  const std::string not_paid = "tarv.core.receipt.payments.not-payed";
  const std::vector<RefundCase> cases = {
      {"cash out", 1000, {pay(kCash, 1000)}, 5000, "", 1000},
      {"whole drawer", 100, {pay(kCard, 30), pay(kOther, 20), pay(kCash, 50)}, 50, "", 50, 30, 20},
      {"card and a zero cash payment", 1000, {pay(kCard, 1000), pay(kCash, 0)}, {}, "", 0, 1000},
      {"total 0 without payments", 0, {}, {}, "", 0},
      {"change refused", 1000, {pay(kCash, 1200)}, 200, kRefundChange},
      {"change beside card", 1000, {pay(kCard, 400), pay(kCash, 1000)}, 9000, kRefundChange},
      {"drawer check answers before change", 1000, {pay(kCash, 1200)}, 199, kCashIn},
      {"not paid", 1000, {pay(kCash, 900)}, 5000, not_paid},
      {"more cash out than the drawer", 1000, {pay(kCash, 1000)}, 999, kCashInNeg},
      {"cash out without a drawer entry", 1000, {pay(kCash, 1000)}, {}, kCashInNeg},
      {"negative drawer, card only", 1000, {pay(kCard, 1000)}, -1, kCashIn},
      {"type 3", 1000, {pay(3, 1000)}, 5000, "tarv.core.receipt.payments.type.unknown"},
  };
  for (const RefundCase& c : cases) {
    SCOPED_TRACE(c.name);
    pb::RefundRequest request = refund_of({line(c.total, "Возврат")}, c.payments);
    auto& attrs = *request.mutable_context()->mutable_shift_ctx()->mutable_attrs();
    attrs.clear();
    if (c.drawer) attrs["BYN"].set_cash_in(*c.drawer);
    if (!c.error.empty()) {
      EXPECT_TRUE(fails_with(request, c.error));
      continue;
    }
    pb::RefundResponse r = succeed(request);
    EXPECT_EQ(r.sum(), c.total);
    EXPECT_TRUE(proto_eq(r.doc().calculations(),
                         "sum: " + std::to_string(c.total) +
                             " payments { key: 'BYN' value { cash: " + std::to_string(c.cash) +
                             " card: " + std::to_string(c.card) +
                             " other: " + std::to_string(c.other) + " } }"));
    auto doc = decode_as<cv::RefundDoc>(r.binary_doc());
    EXPECT_EQ(doc.total, c.total);
    EXPECT_EQ(doc.cash, c.cash);
    EXPECT_EQ(doc.cashless, c.card + c.other);
    EXPECT_EQ(doc.other, c.other);
    EXPECT_TRUE(proto_eq(r.shift_attrs().at("BYN"),
                         "cash_in: " + std::to_string(c.drawer.value_or(0) - int64_t(c.cash)) +
                             " income: " + std::to_string(c.total)));
    for (const pb::Payment& p : r.doc().payments()) EXPECT_NE(p.sum(), 0u);
  }
}

// The refund takes any tax rate and computes no VAT; the other line checks
// are the sale's.
TEST(RefundLines, NoVatSameLineChecks) {
  pb::Item odd = line(1000, "Чай");
  odd.set_tax_rate(18);
  pb::Item vat = line(600, "Кофе");
  vat.set_tax_rate(20);
  pb::RefundResponse r = succeed(refund_of({odd, vat}, {pay(kCash, 1600)}, 1600));
  for (const pb::Item& it : r.doc().items()) {
    EXPECT_FALSE(it.calculations().has_tax1());
    EXPECT_EQ(it.tax_rate(), it.name() == "Чай" ? 18u : 20u);  // returned as received
  }
  EXPECT_EQ(r.attrs().taxes_size(), 0);

  pb::Item marked = line(100);
  *marked.mutable_code() = scans({{'c', "0104"}, {'g', "4810000000013"}});
  marked.set_quantity(2000);
  pb::Item discounted = line(100);
  *discounted.mutable_discount() = modifier(101);
  const struct {
    pb::RefundRequest request;
    std::string code;
  } cases[] = {
      {refund_of({}, {}), "tarv.core.receipt.items.empty"},
      {refund_of({marked}, {pay(kCash, 200)}, 200), "tarv.core.receipt.item.quantity.marking"},
      {refund_of({discounted}, {}), "tarv.core.receipt.items.arithmetic.overflow"},
      {refund_of({line(kMaxSum), line(1)}, {}), "tarv.core.receipt.sum.overflow"},
      {refund_of({item("", 1, 1000)}, {pay(9, 1)}), "tarv.core.receipt.items.name.empty"},
  };
  for (const auto& c : cases) EXPECT_TRUE(fails_with(c.request, c.code));
  pb::RefundRequest closed = refund_of({line(1)}, {pay(kCash, 1)}, 10);
  closed.mutable_context()->clear_shift_ctx();
  EXPECT_TRUE(fails_with(closed, "tarv.core.receipt.shift.closed"));
}

// The refund document and counters: lines with their totals, cash before
// cashless at the end; sections, marking, line modifiers and payments counted,
// no taxes and no third party.
TEST(RefundDocument, LinesTotalsAndCounters) {
  pb::Item milk = item("Молоко «Савушкин» 3,2% 1 л", 259, 2000);
  milk.mutable_section()->set_code(1);
  milk.set_tax_rate(10);
  *milk.mutable_discount() = modifier(18, "Акция");
  pb::Item vodka = item("Водка «Беленькая» 0,5 л", 1599, 1000);
  vodka.mutable_section()->set_code(3);
  *vodka.mutable_code() = scans({{'c', repeat("Q", 80)}, {'c', "SHORT"}, {'g', "4810000000013"}});
  *vodka.mutable_markup() = modifier(1, "Доставка");
  pb::Item bag = item(repeat("П", 70), 25, 1000);
  bag.mutable_section()->set_code(256);
  bag.mutable_code()->set_code_d("0042");
  pb::RefundRequest request = refund_of(
      {milk, vodka, bag}, {pay(kCard, 1000, "Visa"), pay(kOther, 365), pay(kCash, 760)}, 900);
  ASSERT_TRUE(google::protobuf::TextFormat::ParseFromString(R"(
          count: 2
          sum: 700
          sections { key: "1" value { sum: 700 count: 2 quantity: 3000 } }
          payments { key: "BYN" value { cash { sum: 700 count: 2 } } })",
                                                            request.mutable_attrs()));

  pb::RefundResponse r = succeed(request);
  // 500 + 1600 + 25 = 2125: card 1000, other 365, cash 760; change none.
  EXPECT_EQ(r.sum(), 2125u);
  EXPECT_TRUE(proto_eq(r.attrs(), R"(
      count: 3
      sum: 2825
      sections { key: "1" value { sum: 1200 count: 3 quantity: 5000 } }
      sections { key: "3" value { sum: 1600 count: 1 quantity: 1000 } }
      marking { si { sum: 1600 count: 1 quantity: 1000 } }
      items_modifiers {
        discounts { key: "Акция" value { sum: 18 count: 1 } }
        markups { key: "Доставка" value { sum: 1 count: 1 } }
      }
      payments {
        key: "BYN"
        value {
          cash { sum: 1460 count: 3 }
          card {
            values { sum: 1000 count: 1 }
            groups { key: "Visa" value { sum: 1000 count: 1 } }
          }
          other { values { sum: 365 count: 1 } }
        }
      })"))
      << "cash 760 + 700";
  EXPECT_TRUE(proto_eq(r.shift_attrs().at("BYN"), "cash_in: 140 income: 2125"));
  EXPECT_FALSE(r.doc().items(2).has_section());
  EXPECT_EQ(r.doc().items(2).name(), repeat("П", 64));

  const std::string& bin = r.binary_doc();
  ASSERT_EQ(bin.size(), 62u + 3 * 68 + 256 + 64);
  EXPECT_EQ(bin[0], '\x0D');
  // The four amounts as 48-bit fields: total 21.25, cash 7.60, cashless
  // 13.65, other 3.65.
  EXPECT_EQ(bin.substr(bin.size() - 24), std::string("\0\0\0\0\x15\x19"
                                                     "\0\0\0\0\x07\x3C"
                                                     "\0\0\0\0\x0D\x41"
                                                     "\0\0\0\0\x03\x41",
                                                     24));
  auto doc = decode_as<cv::RefundDoc>(bin);
  EXPECT_EQ(doc.header, (cv::DocHeader{kDeviceId, "Иванов", kDocNumber, kLocalAt, "BYN"}));
  const std::vector<cv::RefundItem> lines = {
      {1, cv::PlainCode{0, "0"}, "Молоко «Савушкин» 3,2% 1 л", 2000, 500},
      {3, cv::MarkedCode{repeat("Q", 80), "SHORT", "4810000000013"}, "Водка «Беленькая» 0,5 л",
       1000, 1600},
      {0, cv::PlainCode{4, "42"}, repeat("П", 50), 1000, 25},
  };
  ASSERT_EQ(doc.items.size(), lines.size());
  for (size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(doc.items[i], lines[i]) << "line " << i;
  EXPECT_EQ(doc.total, 2125u);
  EXPECT_EQ(doc.cash, 760u);
  EXPECT_EQ(doc.cashless, 1365u);
  EXPECT_EQ(doc.other, 365u);
}

}  // namespace
}  // namespace tarv::testing
