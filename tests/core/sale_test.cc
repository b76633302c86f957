// The sale through its C export: the payment split and the precedence of
// its rules, the drawer check, third party, document discount and markup,
// the counters of a long receipt, and one realistic receipt end to end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "tests/core/receipt.h"

namespace tarv::testing {
namespace {

constexpr uint64_t kU64Max = std::numeric_limits<uint64_t>::max();
const std::string kCashIn = "tarv.core.receipt.cash.in";
const std::string kNotPaid = "tarv.core.receipt.payments.not-payed";
const std::string kCashless = "tarv.core.receipt.payments.cashless.overflow";
const std::string kPayArith = "tarv.core.receipt.payments.arithmetic.overflow";
const std::string kMultiple = "tarv.core.receipt.payments.cash.multiple";
const std::string kType = "tarv.core.receipt.payments.type.unknown";
const std::string kCurrency = "tarv.core.receipt.payment.currency.not-supported";
const std::string kChange = "tarv.core.receipt.payment.change.not-supported";
const std::string kSum = "tarv.core.receipt.sum.overflow";
const std::string kArith = "tarv.core.receipt.items.arithmetic.overflow";

pb::Payment foreign(uint32_t type, uint64_t sum, const std::string& currency = "USD") {
  pb::Payment p = pay(type, sum);
  p.set_currency(currency);
  return p;
}

struct PayCase {
  std::string name;
  uint64_t cheque;
  std::vector<pb::Payment> payments;
  std::optional<int64_t> drawer;  // the BYN cash_in; none: no BYN entry
  std::string error;              // empty: accepted with the split below
  uint64_t cash = 0, card = 0, other = 0, change = 0;
  bool change_map = false;
};

TEST(SalePayments, SplitRulesAndPrecedence) {
  const std::vector<PayCase> cases = {
      {"exact cash", 1000, {pay(kCash, 1000)}, 0, "", 1000},
      {"card, cash, change", 1000, {pay(kCard, 400), pay(kCash, 1000)}, 400, "", 600, 400, 0, 400},
      {"change above the drawer", 1000, {pay(kCard, 400), pay(kCash, 1000)}, 399, kCashIn},
      {"change without a drawer entry", 1000, {pay(kCash, 1001)}, {}, kCashIn},
      {"card and other over the cheque", 1000, {pay(kCard, 600), pay(kOther, 500)}, 0, kCashless},
      {"card over the cheque", 1000, {pay(kCard, 1001), pay(kCash, 0)}, 0, kCashless},
      {"card + other past 64 bits", 1000, {pay(kCard, 1000), pay(kOther, kU64Max)}, 0, kCashless},
      {"card sum past 64 bits", 1000, {pay(kCard, kU64Max), pay(kCard, 1)}, 0, kPayArith},
      {"card and a zero cash payment", 1000, {pay(kCard, 1000), pay(kCash, 0)}, 0, "", 0, 1000},
      {"card and other pay it all", 1000, {pay(kCard, 700), pay(kOther, 300)}, {}, "", 0, 700, 300},
      {"cash beside full card is change", 10, {pay(kCard, 10), pay(kCash, 5)}, 5, "", 0, 10, 0, 5},
      {"cash short by one", 1000, {pay(kCash, 999)}, 0, kNotPaid},
      {"no payments", 1000, {}, 0, kNotPaid},
      {"cheque 0 without payments", 0, {}, {}, ""},
      {"two cash payments", 1000, {pay(kCash, 500), pay(kCash, 500)}, 0, kMultiple},
      {"a zero cash beside cash", 1000, {pay(kCash, 0), pay(kCash, 1000)}, 0, "", 1000},
      {"type 3", 1000, {pay(3, 1000)}, 0, kType},
      {"a currency, even the document's", 1000, {foreign(kCash, 1000, "BYN")}, 0, kCurrency},
      {"currency, sum 0: dropped", 1000, {pay(kCard, 1000), foreign(kCash, 0)}, 0, "", 0, 1000},
      {"change map", 1000, {pay(kCash, 1000)}, 0, kChange, 0, 0, 0, 0, true},
      {"change map before any payment", 1000, {foreign(7, 5)}, 0, kChange, 0, 0, 0, 0, true},
      {"currency before type", 1000, {foreign(9, 1000)}, 0, kCurrency},
      {"in order: type first", 1000, {pay(9, 1), foreign(kCash, 1)}, 0, kType},
      {"in order: multiple first", 1000, {pay(kCash, 1), pay(kCash, 1), pay(9, 1)}, 0, kMultiple},
      {"type before cashless", 1000, {pay(kCard, 2000), pay(9, 1)}, 0, kType},
      {"cashless before not paid", 1000, {pay(kCard, 1001)}, -1, kCashless},
      {"not paid before the drawer", 1000, {pay(kCash, 999)}, -1, kNotPaid},
      {"negative drawer, exact cash", 1000, {pay(kCash, 1000)}, -1, kCashIn},
      {"negative drawer, card only", 1000, {pay(kCard, 1000)}, -1, kCashIn},
      {"change of the whole drawer", 1000, {pay(kCash, 1500)}, 500, "", 1000, 0, 0, 500},
      {"change at MAX_SUM", 1, {pay(kCash, kMaxSum + 1)}, kMaxSum, "", 1, 0, 0, kMaxSum},
      {"change above MAX_SUM", 1, {pay(kCash, kMaxSum + 2)}, kMaxSum + 1, kSum},
      {"sum limit before the drawer", 1, {pay(kCash, kU64Max)}, 0, kSum},
  };
  for (const PayCase& c : cases) {
    SCOPED_TRACE(c.name);
    pb::SaleRequest request = sale_of({line(c.cheque)}, c.payments);
    auto& attrs = *request.mutable_context()->mutable_shift_ctx()->mutable_attrs();
    attrs.clear();
    if (c.drawer) attrs["BYN"].set_cash_in(*c.drawer);
    attrs["USD"].set_cash_in(-5);  // another currency's drawer is not looked at
    if (c.change_map) (*request.mutable_doc()->mutable_change())["BYN"] = 0;
    if (!c.error.empty()) {
      EXPECT_TRUE(fails_with(request, c.error));
      continue;
    }
    pb::SaleResponse r = succeed(request);
    EXPECT_TRUE(proto_eq(r.doc().calculations().payments().at("BYN"),
                         "cash: " + std::to_string(c.cash) + " card: " + std::to_string(c.card) +
                             " other: " + std::to_string(c.other) +
                             " cash_change: " + std::to_string(c.change)));
    auto doc = decode_as<cv::SaleDoc>(r.binary_doc());
    EXPECT_EQ(doc.cash, c.cash);
    EXPECT_EQ(doc.cashless, c.card + c.other);
    EXPECT_EQ(doc.other, c.other);
    EXPECT_EQ(r.shift_attrs().at("BYN").cash_in(),
              c.drawer.value_or(0) + static_cast<int64_t>(c.cash));
    EXPECT_EQ(r.shift_attrs().at("BYN").income(), static_cast<int64_t>(c.cheque));
    EXPECT_EQ(r.shift_attrs().at("USD").cash_in(), -5);
    // Zero payments are gone from the returned document.
    for (const pb::Payment& p : r.doc().payments()) EXPECT_NE(p.sum(), 0u);
    const bool cash_paid = std::ranges::any_of(
        c.payments, [](const pb::Payment& p) { return p.type_id() == kCash && p.sum() != 0; });
    ASSERT_TRUE(r.attrs().payments().contains("BYN"));
    EXPECT_EQ(r.attrs().payments().at("BYN").has_cash(), cash_paid);
  }
}

// Payment counters: cash net of change, card and other in total and per
// group (a cash payment's group counts for nothing), added to what the shift
// holds; zero payments leave no trace.
TEST(SalePayments, CountersByGroup) {
  pb::SaleRequest request =
      sale_of({line(10000)},
              {pay(kCard, 3000, "Visa"), pay(kCard, 2000), pay(kOther, 0, "Бонусы"),
               pay(kOther, 1000, "Бонусы"), pay(kOther, 500, "Бонусы"),
               pay(kCash, 5000, "Касса")},  // a cash payment's group counts for nothing
              2000);
  ASSERT_TRUE(google::protobuf::TextFormat::ParseFromString(
      R"(
          payments {
            key: "BYN"
            value {
              cash { sum: 50 count: 1 }
              card {
                values { sum: 100 count: 1 }
                groups { key: "Visa" value { sum: 100 count: 1 } }
                groups { key: "Mir" value { sum: 7 count: 1 } }
              }
            }
          }
          payments { key: "USD" value { cash { sum: 9 count: 1 } } })",
      request.mutable_attrs()));
  pb::SaleResponse r = succeed(request);
  EXPECT_TRUE(proto_eq(r.attrs(), R"(
      count: 1
      sum: 10000
      items_modifiers {}
      payments {
        key: "BYN"
        value {
          cash { sum: 3550 count: 2 }
          card {
            values { sum: 5100 count: 3 }
            groups { key: "Visa" value { sum: 3100 count: 2 } }
            groups { key: "Mir" value { sum: 7 count: 1 } }
          }
          other {
            values { sum: 1500 count: 2 }
            groups { key: "Бонусы" value { sum: 1500 count: 2 } }
          }
        }
      }
      payments { key: "USD" value { cash { sum: 9 count: 1 } } })"));
  std::vector<uint64_t> kept;
  for (const pb::Payment& p : r.doc().payments()) kept.push_back(p.sum());
  EXPECT_EQ(kept, (std::vector<uint64_t>{3000, 2000, 1000, 500, 5000}));
  EXPECT_TRUE(proto_eq(r.shift_attrs().at("BYN"), "cash_in: 5500 income: 10000"));
}

// A document's payment counters are bounded like the shift's: 65536 card
// payments break the count while the document is built (a receipt error);
// 65535 pass, and then break the shift's counter (a counter error).
TEST(SalePayments, CountLimit) {
  std::vector<pb::Payment> cards(65536, pay(kCard, 1));
  EXPECT_TRUE(fails_with(sale_of({line(65536)}, cards), kPayArith));
  cards.pop_back();
  pb::SaleRequest request = sale_of({line(65535)}, cards);
  EXPECT_EQ(succeed(request).attrs().payments().at("BYN").card().values().count(), 65535);
  auto& shift_card = *(*request.mutable_attrs()->mutable_payments())["BYN"].mutable_card();
  shift_card.mutable_values()->set_count(1);
  EXPECT_TRUE(fails_with(request, "tarv.core.attrs.count"));
}

// A sale in another accepted currency: its own drawer, payments and cash
// position, whatever the BYN drawer holds.
TEST(SalePayments, DocumentCurrency) {
  pb::SaleRequest request = sale_of({line(1000)}, {pay(kCash, 1500)}, 100000);
  request.mutable_context()->add_currencies("USD");
  request.mutable_doc()->mutable_header()->set_currency("USD");
  EXPECT_TRUE(fails_with(request, kCashIn));
  drawer(*request.mutable_context(), "USD").set_cash_in(500);
  pb::SaleResponse r = succeed(request);
  EXPECT_TRUE(proto_eq(r.doc().calculations().payments().at("USD"), "cash: 1000 cash_change: 500"));
  EXPECT_TRUE(proto_eq(r.attrs().payments().at("USD"), "cash { sum: 1000 count: 1 }"));
  EXPECT_EQ(r.attrs().payments_size(), 1);
  EXPECT_TRUE(proto_eq(r.shift_attrs().at("USD"), "cash_in: 1500 income: 1000"));
  EXPECT_TRUE(proto_eq(r.shift_attrs().at("BYN"), "cash_in: 100000"));
  EXPECT_EQ(decode_as<cv::SaleDoc>(r.binary_doc()).header.currency, "USD");
}

// Calculations are outputs: whatever the host put there is replaced.
TEST(SaleTotals, HostCalculationsReplaced) {
  pb::Item bread = line(300, "Хлеб");
  bread.mutable_calculations()->set_tax1(99);
  bread.mutable_calculations()->set_has_marking(true);
  pb::SaleRequest request = sale_of({bread}, {pay(kCard, 300)});
  auto* stale = request.mutable_doc()->mutable_calculations();
  (*stale->mutable_taxes())["20"] = 7;
  (*stale->mutable_payments())["USD"].set_cash(1);
  stale->mutable_cheque()->set_discounts(5);
  pb::SaleResponse r = succeed(request);
  EXPECT_TRUE(proto_eq(r.doc().items(0).calculations(), "sum: 300"));
  EXPECT_TRUE(proto_eq(r.doc().calculations(), R"(
      cheque { sum: 300 }
      items { sum: 300 }
      payments { key: "BYN" value { card: 300 } })"));
}

// A nine-digit third-party tax number is counted and written; anything else
// is refused before the lines are looked at.
TEST(SaleThirdParty, TaxNumber) {
  const std::string bad = "tarv.core.receipt.third-party.tax-number";
  struct Case {
    std::optional<uint32_t> number;
    bool valid;
  };
  for (const Case& c : std::vector<Case>{{{}, true},
                                         {99999999, false},
                                         {100000000, true},
                                         {999999999, true},
                                         {1000000000, false},
                                         {0, false}}) {
    SCOPED_TRACE(c.number.value_or(1));
    pb::SaleRequest request = sale_of({line(700)}, {pay(kCard, 700)});
    if (c.number) request.mutable_doc()->set_tp_tax_number(*c.number);
    if (!c.valid) {
      EXPECT_TRUE(fails_with(request, bad));
      request.mutable_doc()->clear_items();
      EXPECT_TRUE(fails_with(request, bad));  // before the empty receipt
      request.mutable_doc()->clear_header();
      EXPECT_TRUE(fails_with(request, "tarv.core.receipt.header.missing"));
      continue;
    }
    pb::SaleResponse r = succeed(request);
    EXPECT_EQ(decode_as<cv::SaleDoc>(r.binary_doc()).tp_tax_number, c.number);
    const std::string key = c.number ? std::to_string(*c.number) : "";
    EXPECT_TRUE(proto_eq(r.attrs()._3party(), c.number
                                                  ? "values { sum: 700 count: 1 } groups { key: '" +
                                                        key + "' value { sum: 700 count: 1 } }"
                                                  : ""));
    EXPECT_EQ(r.attrs().has__3party(), c.number.has_value());
  }
  // Added to the shift's third-party counters.
  pb::SaleRequest request = sale_of({line(500)}, {pay(kCard, 500)});
  request.mutable_doc()->set_tp_tax_number(100000000);
  auto* party = request.mutable_attrs()->mutable__3party();
  party->mutable_values()->set_sum(1000);
  party->mutable_values()->set_count(1);
  (*party->mutable_groups())["100000001"].set_count(4);
  EXPECT_TRUE(proto_eq(succeed(request).attrs()._3party(), R"(
      values { sum: 1500 count: 2 }
      groups { key: "100000000" value { sum: 500 count: 1 } }
      groups { key: "100000001" value { count: 4 } })"));
}

struct TotalCase {
  std::string name;
  std::vector<uint64_t> lines;
  std::optional<uint64_t> markup, discount;
  std::string error;  // empty: accepted with `cheque`
  uint64_t cheque = 0;
  uint64_t line_discount = 0;
};

TEST(SaleTotals, DocumentDiscountAndMarkup) {
  const uint64_t big = kU64Max - 1000;
  const std::vector<TotalCase> cases = {
      {"no modifiers", {1000}, {}, {}, "", 1000},
      {"zero modifiers", {1000}, 0, 0, "", 1000},
      {"markup", {600, 400}, 100, {}, "", 1100},
      {"discount of everything", {1000}, {}, 1000, "", 0},
      {"discount above items and markup", {1000}, 1, 1002, kArith},
      {"markup lets the discount pass", {1000}, 1, 1001, "", 0},
      {"markup past 64 bits", {1000}, kU64Max - 999, {}, kArith},
      {"modifiers above MAX_SUM", {1000}, kMaxSum + 1, kMaxSum + 1, "", 1000},
      {"modifiers past the document's field", {1000}, big, big, "tarv.core.receipt.encoding"},
      {"cheque above MAX_SUM", {1000}, kMaxSum, {}, kSum},
      {"cheque at MAX_SUM", {1000}, kMaxSum - 1000, {}, "", kMaxSum},
      {"items sum above MAX_SUM", {kMaxSum, 1}, {}, kMaxSum, kSum},
      {"items discounts above MAX_SUM", {kMaxSum, kMaxSum}, {}, {}, kSum, 0, kMaxSum},
  };
  for (const TotalCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<pb::Item> items;
    uint64_t items_sum = 0;
    for (uint64_t price : c.lines) {
      items.push_back(line(price));
      if (c.line_discount) *items.back().mutable_discount() = modifier(c.line_discount);
      items_sum += price;
    }
    pb::SaleRequest request = sale_of(items, {pay(kCash, kMaxSum)}, kMaxSum);
    if (c.markup) *request.mutable_doc()->mutable_markup() = modifier(*c.markup, "Обслуживание");
    if (c.discount) *request.mutable_doc()->mutable_discount() = modifier(*c.discount, "Карта");
    if (!c.error.empty()) {
      EXPECT_TRUE(fails_with(request, c.error));
      continue;
    }
    pb::SaleResponse r = succeed(request);
    const uint64_t markup = c.markup.value_or(0), discount = c.discount.value_or(0);
    EXPECT_EQ(r.sum(), c.cheque);
    EXPECT_TRUE(proto_eq(r.doc().calculations().cheque(),
                         "discounts: " + std::to_string(discount) + " markups: " +
                             std::to_string(markup) + " sum: " + std::to_string(c.cheque)));
    EXPECT_TRUE(proto_eq(r.doc().calculations().items(), "sum: " + std::to_string(items_sum)));
    auto doc = decode_as<cv::SaleDoc>(r.binary_doc());
    EXPECT_EQ(doc.items_sum, items_sum);
    EXPECT_EQ(doc.discount, discount);
    EXPECT_EQ(doc.markup, markup);
    EXPECT_EQ(doc.total, c.cheque);
    EXPECT_EQ(r.attrs().sum(), c.cheque);
    EXPECT_FALSE(r.attrs().has_modifiers());  // document modifiers are never counted
    EXPECT_EQ(r.shift_attrs().at("BYN").income(), static_cast<int64_t>(c.cheque));
  }
}

// Lines and totals are checked before any payment; the first bad line wins.
TEST(SaleOrder, LinesBeforePayments) {
  const std::vector<pb::Payment> bad_pay = {pay(9, 1), pay(kCash, 1), pay(kCash, 1)};
  pb::SaleRequest empty = sale_of({}, bad_pay);
  EXPECT_TRUE(fails_with(empty, "tarv.core.receipt.items.empty"));
  EXPECT_TRUE(fails_with(sale_of({line(1), item("", 1, 1000)}, bad_pay),
                         "tarv.core.receipt.items.name.empty"));
  EXPECT_TRUE(fails_with(sale_of({item("a", 1, 0), item("", 1, 1000)}, bad_pay),
                         "tarv.core.receipt.items.quantity.zero"));
  EXPECT_TRUE(fails_with(sale_of({line(kMaxSum), line(kMaxSum)}, bad_pay), kSum));
  pb::SaleRequest changed = sale_of({line(10)}, {pay(kCash, 10)});
  (*changed.mutable_doc()->mutable_change())["BYN"] = 0;
  *changed.mutable_doc()->mutable_discount() = modifier(11);
  EXPECT_TRUE(fails_with(changed, kArith));
}

// The counters and cash position are merged after the document is built; a
// breach there fails the whole sale.
TEST(SaleCounters, MergeFailures) {
  pb::SaleRequest full = sale_of({line(100)}, {pay(kCash, 100)});
  full.mutable_attrs()->set_sum(54975581388700);
  EXPECT_TRUE(fails_with(full, "tarv.core.attrs.sum"));
  full.mutable_attrs()->set_sum(0);
  full.mutable_attrs()->set_count(65535);
  EXPECT_TRUE(fails_with(full, "tarv.core.attrs.count"));
  pb::SaleRequest rich =
      sale_of({line(100)}, {pay(kCash, 100)}, std::numeric_limits<int64_t>::max() - 99);
  EXPECT_TRUE(fails_with(rich, "tarv.core.attrs.sum"));
}

// 1000 lines of four kinds repeating: every counter cell is the sum over the
// lines, VAT rounded line by line.
TEST(SaleCounters, ThousandLines) {
  std::vector<pb::Item> items;
  for (int i = 0; i < 1000; ++i) {
    pb::Item it;
    switch (i % 4) {
      case 0:  // 100 after discount, section 1, 20 %: VAT 16.67 -> 17
        it = item("Кефир " + std::to_string(i), 120, 1000);
        it.mutable_section()->set_code(1);
        it.set_tax_rate(20);
        *it.mutable_discount() = modifier(20, "Акция");
        break;
      case 1:  // 500, section 2, 10 %: VAT 45.45 -> 45
        it = item("Батон " + std::to_string(i), 250, 2000);
        it.mutable_section()->set_code(2);
        it.set_tax_rate(10);
        break;
      case 2:  // 100 with markup, section 0 (none), 0 %
        it = item("Пакет " + std::to_string(i), 99, 1000);
        it.mutable_section()->set_code(0);
        it.set_tax_rate(0);
        *it.mutable_markup() = modifier(1, "Упаковка");
        break;
      default:  // 300, section 1, no rate, marked
        it = item("Пиво " + std::to_string(i), 300, 1000);
        it.mutable_section()->set_code(1);
        *it.mutable_code() =
            scans({{'c', "0104810000000013215" + std::to_string(i)}, {'g', "04810000000013"}});
    }
    items.push_back(it);
  }
  pb::SaleResponse r =
      succeed(sale_of(items, {pay(kCard, 100000, "Visa"), pay(kCash, 200000)}, 60000));
  EXPECT_TRUE(proto_eq(r.attrs(), R"(
      count: 1
      sum: 250000
      sections { key: "1" value { sum: 100000 count: 500 quantity: 500000 } }
      sections { key: "2" value { sum: 125000 count: 250 quantity: 500000 } }
      marking { si { sum: 75000 count: 250 quantity: 250000 } }
      taxes { key: "0" value { sum: 0 count: 250 } }
      taxes { key: "10" value { sum: 11250 count: 250 } }
      taxes { key: "20" value { sum: 4250 count: 250 } }
      items_modifiers {
        discounts { key: "Акция" value { sum: 5000 count: 250 } }
        markups { key: "Упаковка" value { sum: 250 count: 250 } }
      }
      payments {
        key: "BYN"
        value {
          cash { sum: 150000 count: 1 }
          card {
            values { sum: 100000 count: 1 }
            groups { key: "Visa" value { sum: 100000 count: 1 } }
          }
        }
      })"));
  EXPECT_TRUE(proto_eq(r.doc().calculations(), R"(
      cheque { sum: 250000 }
      items { discounts: 5000 markups: 250 sum: 250000 }
      payments { key: "BYN" value { cash: 150000 card: 100000 cash_change: 50000 } }
      taxes { key: "0" value: 0 }
      taxes { key: "10" value: 11250 }
      taxes { key: "20" value: 4250 })"));
  EXPECT_EQ(r.binary_doc().size(), 116u + 1000 * 80 + 250 * 256);
  auto doc = decode_as<cv::SaleDoc>(r.binary_doc());
  ASSERT_EQ(doc.items.size(), 1000u);
  uint64_t sum = 0;
  for (const cv::SaleItem& it : doc.items) sum += it.cost + it.markup - it.discount;
  EXPECT_EQ(sum, 250000u);
  EXPECT_EQ(doc.items[998].name, "Пакет 998");
  EXPECT_EQ(doc.items[998].section, 0);
  EXPECT_EQ(doc.items[999].code,
            cv::CodeBlock(cv::MarkedCode{"0104810000000013215999", {}, "4810000000013"}));
  EXPECT_TRUE(proto_eq(r.shift_attrs().at("BYN"), "cash_in: 210000 income: 250000"));
}

// The document's line count is 16 bits wide: one more line cannot be
// written.
TEST(SaleCounters, LineCountOfTheDocument) {
  std::vector<pb::Item> items(65536, item("x", 0, 1000));
  EXPECT_TRUE(fails_with(sale_of(items, {}), "tarv.core.receipt.encoding"));
  items.pop_back();
  EXPECT_EQ(decode_as<cv::SaleDoc>(succeed(sale_of(items, {})).binary_doc()).items.size(), 65535u);
}

// A realistic receipt: Cyrillic cashier and names, ten lines over five
// sections (two of them dropped), four VAT rates, line discounts and a markup,
// document discount and markup, a marked line with both codes, a third
// party, card plus cash with change and a zero payment, on top of the
// shift's existing counters.
TEST(SaleEndToEnd, RealisticReceipt) {
  const std::string si = "0104810000000013215bN7pQ9wXk2LmT91EE0692" + repeat("Zk3=", 11);
  const std::string ukz = "ZAB123456789012345678";
  auto goods = [](const char* name, uint64_t price, uint32_t quantity,
                  std::optional<uint32_t> section, std::optional<uint32_t> rate) {
    pb::Item it = item(name, price, quantity);
    if (section) it.mutable_section()->set_code(*section);
    if (rate) it.set_tax_rate(*rate);
    return it;
  };
  std::vector<pb::Item> items = {
      goods("Хлеб «Бородинский» нарезной", 189, 1000, 1, 10),
      goods("Молоко «Савушкин» 3,2% 1 л", 259, 2000, 1, 10),
      goods("Сыр «Российский» весовой", 1899, 347, 2, 20),
      goods("Яблоки «Гала»", 459, 1250, 2, 10),
      goods("Водка «Беленькая» 0,5 л", 1599, 1000, 3, 20),
      goods("Пакет-майка", 25, 1000, 0, 20),
      goods("Шоколад «Алёнка» 100 г", 349, 3000, 4, 20),
      goods("Кофе молотый «Лавацца»", 1299, 1000, 4, 25),
      goods("Сок яблочный 1 л", 289, 1000, 5, 0),
      goods("Укроп свежий", 1999, 75, 300, {}),
  };
  items[0].mutable_section()->set_name("Бакалея");
  items[0].mutable_code()->set_code_a("4810001");
  items[0].set_id("sku-1");
  items[1].mutable_code()->set_gtin("4810268012345");
  *items[1].mutable_discount() = modifier(52, "Акция", "Скидка 10%");
  items[2].mutable_code()->set_code_c("2000347");
  *items[4].mutable_code() = scans({{'b', ukz}, {'a', si}, {'g', "04810000000013"}});
  items[5].mutable_section()->set_name("Прочее");
  items[6].mutable_section()->set_name("Кондитерские изделия и сладости к чаю");
  items[6].mutable_code()->set_code_d("123");
  *items[6].mutable_discount() = modifier(349, "Акция", "3 по цене 2");
  *items[7].mutable_markup() = modifier(65, "Доставка", "Наценка");
  items[9].mutable_code()->set_code_a("");

  pb::Payment card = pay(kCard, 2000, "Белкарт");
  card.set_name("Белкарт");
  pb::Payment bonus = pay(kOther, 0);
  bonus.set_name("Бонусы");
  pb::SaleRequest request = sale_of(items, {card, bonus, pay(kCash, 5000)}, 3000);
  pb::Sale& sale = *request.mutable_doc();
  sale.mutable_header()->set_cashier("Петрова Анна Сергеевна");
  sale.set_tp_tax_number(191234567);
  sale.mutable_restaurant_information()->set_order_id("A-17");
  sale.mutable_restaurant_information()->set_table(12);
  *sale.mutable_markup() = modifier(10, "Обслуживание", "Сервисный сбор");
  *sale.mutable_discount() = modifier(23, "Карта", "Скидка по карте");
  auto& cash_position = *request.mutable_context()->mutable_shift_ctx()->mutable_attrs();
  cash_position["BYN"].set_income(10000);
  cash_position["USD"].set_cash_in(500);
  ASSERT_TRUE(google::protobuf::TextFormat::ParseFromString(
      R"(
          count: 3
          sum: 9000
          sections { key: "1" value { sum: 1000 count: 2 quantity: 2000 } }
          sections { key: "7" value { sum: 50 count: 1 quantity: 1000 } }
          taxes { key: "20" value { sum: 100 count: 2 } }
          marking { si { sum: 500 count: 1 quantity: 1000 } }
          modifiers { discounts { key: "X" value { sum: 5 count: 1 } } }
          items_modifiers { discounts { key: "Акция" value { sum: 10 count: 1 } } }
          payments {
            key: "BYN"
            value {
              cash { sum: 8000 count: 3 }
              card {
                values { sum: 1000 count: 1 }
                groups { key: "Белкарт" value { sum: 1000 count: 1 } }
              }
            }
          })",
      request.mutable_attrs()));

  pb::SaleResponse r = succeed(request);

  // The returned document: the request's, completed.
  pb::SaleResponse expected;
  *expected.mutable_doc() = request.doc();
  pb::Sale& done = *expected.mutable_doc();
  done.mutable_items(5)->clear_section();
  done.mutable_items(9)->clear_section();
  done.mutable_items(6)->mutable_section()->set_name("Кондитерские изделия и сладости ");
  done.mutable_payments()->DeleteSubrange(1, 1);
  struct Calc {
    uint64_t sum, discount, markup;
    std::optional<uint64_t> tax1;
  };
  const Calc calcs[] = {{189, 0, 0, 17},   {466, 52, 0, 21}, {659, 0, 0, 317},  {574, 0, 0, 42},
                        {1599, 0, 0, 267}, {25, 0, 0, 4},    {698, 349, 0, 39}, {1364, 0, 65, 273},
                        {289, 0, 0, {}},   {150, 0, 0, {}}};
  for (int i = 0; i < 10; ++i) {
    auto* c = done.mutable_items(i)->mutable_calculations();
    c->set_sum(calcs[i].sum);
    c->set_discount(calcs[i].discount);
    c->set_markup(calcs[i].markup);
    if (calcs[i].tax1) c->set_tax1(*calcs[i].tax1);
    c->set_has_marking(i == 4);
  }
  ASSERT_TRUE(google::protobuf::TextFormat::ParseFromString(
      R"(
          cheque { discounts: 23 markups: 10 sum: 6000 }
          items { discounts: 401 markups: 65 sum: 6013 }
          payments { key: "BYN" value { cash: 4000 card: 2000 other: 0 cash_change: 1000 } }
          taxes { key: "0" value: 0 }
          taxes { key: "10" value: 111 }
          taxes { key: "20" value: 497 }
          taxes { key: "25" value: 273 })",
      done.mutable_calculations()));
  // Counters: the shift's plus this receipt's.
  ASSERT_TRUE(google::protobuf::TextFormat::ParseFromString(
      R"(
          count: 4
          sum: 15000
          sections { key: "1" value { sum: 1655 count: 4 quantity: 5000 } }
          sections { key: "2" value { sum: 1233 count: 2 quantity: 1597 } }
          sections { key: "3" value { sum: 1599 count: 1 quantity: 1000 } }
          sections { key: "4" value { sum: 2062 count: 2 quantity: 4000 } }
          sections { key: "5" value { sum: 289 count: 1 quantity: 1000 } }
          sections { key: "7" value { sum: 50 count: 1 quantity: 1000 } }
          _3party {
            values { sum: 6000 count: 1 }
            groups { key: "191234567" value { sum: 6000 count: 1 } }
          }
          marking { si { sum: 2099 count: 2 quantity: 2000 } }
          taxes { key: "0" value { sum: 0 count: 1 } }
          taxes { key: "10" value { sum: 111 count: 3 } }
          taxes { key: "20" value { sum: 597 count: 6 } }
          taxes { key: "25" value { sum: 273 count: 1 } }
          modifiers { discounts { key: "X" value { sum: 5 count: 1 } } }
          items_modifiers {
            discounts { key: "Акция" value { sum: 411 count: 3 } }
            markups { key: "Доставка" value { sum: 65 count: 1 } }
          }
          payments {
            key: "BYN"
            value {
              cash { sum: 12000 count: 4 }
              card {
                values { sum: 3000 count: 2 }
                groups { key: "Белкарт" value { sum: 3000 count: 2 } }
              }
            }
          })",
      expected.mutable_attrs()));
  (*expected.mutable_shift_attrs())["BYN"].set_cash_in(7000);
  (*expected.mutable_shift_attrs())["BYN"].set_income(16000);
  (*expected.mutable_shift_attrs())["USD"].set_cash_in(500);
  expected.set_sum(6000);
  expected.set_binary_doc(r.binary_doc());
  std::string diff;
  google::protobuf::util::MessageDifferencer differ;
  differ.ReportDifferencesToString(&diff);
  EXPECT_TRUE(differ.Compare(expected, r)) << diff;

  // The binary document, field by field. Texts come back in windows-1251
  // cut to their fields; code digits without leading zeros.
  const std::string& bin = r.binary_doc();
  ASSERT_EQ(bin.size(), 116u + 10 * 80 + 256 + 64);
  EXPECT_EQ(bin.substr(0, 5), std::string("\x0A\x01\x02\x03\x04", 5));
  EXPECT_EQ(bin[40 + 4 * 80 + 1], '\x13');  // the marked line: 14-digit layout, si and ukz
  auto doc = decode_as<cv::SaleDoc>(bin);
  EXPECT_EQ(doc.header,
            (cv::DocHeader{kDeviceId, "Петрова Анна Сергеев", kDocNumber, kLocalAt, "BYN"}));
  using cv::GtinCode, cv::PlainCode;
  const std::vector<cv::SaleItem> lines = {
      {1, PlainCode{0, "4810001"}, "Хлеб «Бородинский» нарезной", 1000, 189, 0, 0},
      {1, PlainCode{1, "4810268012345"}, "Молоко «Савушкин» 3,2% 1 л", 2000, 518, 52, 0},
      {2, PlainCode{3, "2000347"}, "Сыр «Российский» весовой", 347, 659, 0, 0},
      {2, PlainCode{0, "0"}, "Яблоки «Гала»", 1250, 574, 0, 0},
      {3, GtinCode{si, ukz, "4810000000013"}, "Водка «Беленькая» 0,5 л", 1000, 1599, 0, 0},
      {0, PlainCode{0, "0"}, "Пакет-майка", 1000, 25, 0, 0},
      {4, PlainCode{4, "123"}, "Шоколад «Алёнка» 100 г", 3000, 1047, 349, 0},
      {4, PlainCode{0, "0"}, "Кофе молотый «Лавацца»", 1000, 1299, 0, 65},
      {5, PlainCode{0, "0"}, "Сок яблочный 1 л", 1000, 289, 0, 0},
      {0, PlainCode{0, "0"}, "Укроп свежий", 75, 150, 0, 0},
  };
  ASSERT_EQ(doc.items.size(), lines.size());
  for (size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(doc.items[i], lines[i]) << "line " << i;
  EXPECT_EQ(doc.tp_tax_number, 191234567u);
  EXPECT_EQ(doc.items_sum, 6013u);
  EXPECT_EQ(doc.discount, 23u);
  EXPECT_EQ(doc.markup, 10u);
  EXPECT_EQ(doc.total, 6000u);
  EXPECT_EQ(doc.cashless, 2000u);
  EXPECT_EQ(doc.cash, 4000u);
  EXPECT_EQ(doc.other, 0u);
  EXPECT_EQ(bin.substr(bin.size() - 30), std::string(30, '\0'));
}

}  // namespace
}  // namespace tarv::testing
