// Restaurant orders through tarvcore_register_order: the header checks with
// their two differences, the completed order, and the order counters moved
// by the change of the order total.
#include <google/protobuf/text_format.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/core/receipt.h"

namespace tarv::testing {
namespace {

constexpr int64_t kMaxWideCount = 16777215;

template <class M>
void merge(const std::string& text, M& m) {
  EXPECT_TRUE(google::protobuf::TextFormat::MergeFromString(text, &m)) << text;
}

std::string text_item(uint64_t price, const std::string& more = "") {
  return "items { name: 'Хлеб' price: " + std::to_string(price) + " quantity: 1000 " + more + "} ";
}

// An order of one line worth `total`, without a currency, one hour into the
// default shift, with more of the request in text form.
pb::OrderRequest order(uint64_t total = 1500, const std::string& text = "") {
  auto r = envelope<pb::OrderRequest>();
  pb::OrderHeader& header = *r.mutable_doc()->mutable_header();
  header.set_cashier("Иванов");
  *header.mutable_at() = stamp(kOpenedAt + kHour);
  merge("doc { " + text_item(total) + "} " + text, r);
  return r;
}

TEST(Order, HeaderShiftAndTotalsChecks) {
  const std::string currency = "tarv.core.receipt.currency";
  const std::string sum_overflow = "tarv.core.receipt.sum.overflow";
  struct CheckCase {
    std::string name;
    std::string text = {};
    std::vector<std::string> currencies = {"BYN"};
    bool no_header = false, no_shift = false, no_time = false, no_items = false;
    std::string code = {};  // empty: registered
  };
  const std::vector<CheckCase> cases = {
      {.name = "cashier_40_letters",
       .text = "doc { header { cashier: '" + repeat("Ж", 40) + "' } }"},
      {.name = "no_currency_byn_listed_second", .currencies = {"USD", "BYN"}},
      {.name = "no_currency_byn_not_listed", .currencies = {"USD"}, .code = currency},
      {.name = "usd_listed",
       .text = "doc { header { currency: 'USD' } }",
       .currencies = {"BYN", "USD"}},
      {.name = "currency_present_but_empty",
       .text = "doc { header { currency: '' } }",
       .code = currency},
      {.name = "no_header_first",
       .currencies = {},
       .no_header = true,
       .no_shift = true,
       .no_items = true,
       .code = "tarv.core.receipt.header.missing"},
      {.name = "currency_before_shift", .currencies = {"USD"}, .no_shift = true, .code = currency},
      {.name = "shift_closed",
       .text = "context { shift_ctx { closed_at {} } }",
       .code = "tarv.core.receipt.shift.closed"},
      {.name = "no_time_before_items",
       .no_time = true,
       .no_items = true,
       .code = "tarv.core.receipt.header.datetime"},
      {.name = "before_opening",
       .text = "doc { header { at { seconds: " + std::to_string(kOpenedAt - 1) + " } } }",
       .code = "tarv.core.receipt.system.time"},
      {.name = "after_24h",
       .text = "doc { header { at { seconds: " + std::to_string(kOpenedAt + kDay + 1) + " } } }",
       .code = "tarv.core.receipt.shift.24h"},
      {.name = "no_items", .no_items = true, .code = "tarv.core.receipt.items.empty"},
      {.name = "tax_rate_18",
       .text = "doc { " + text_item(1, "tax_rate: 18") + "}",
       .code = "tarv.core.receipt.items.taxrate.unknown"},
      {.name = "discount_above_items",
       .text = "doc { discount { modifier: 1501 } }",
       .code = "tarv.core.receipt.items.arithmetic.overflow"},
      {.name = "markup_past_largest_sum",
       .text = "doc { " + text_item(kMaxSum - 3000) + "markup { modifier: 1501 } }",
       .code = sum_overflow},
      {.name = "items_past_largest_sum_before_discount",
       .text = "doc { " + text_item(kMaxSum - 1499) + "discount { modifier: 1000 } }",
       .code = sum_overflow},
      {.name = "items_at_largest_sum", .text = "doc { " + text_item(kMaxSum - 1500) + "}"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    pb::OrderRequest r = order(1500, c.text);
    r.mutable_context()->clear_currencies();
    for (const auto& listed : c.currencies) r.mutable_context()->add_currencies(listed);
    if (c.no_header) r.mutable_doc()->clear_header();
    if (c.no_shift) r.mutable_context()->clear_shift_ctx();
    if (c.no_time) r.mutable_doc()->mutable_header()->clear_at();
    if (c.no_items) r.mutable_doc()->clear_items();
    if (c.code.empty()) {
      EXPECT_TRUE(succeed(r).has_doc());
    } else {
      EXPECT_TRUE(fails_with(r, c.code));
    }
  }
}

// Cells in text form: opened (o) and corrected (k).
std::string cell(const std::string& name, int64_t sum, int64_t count, int64_t quantity) {
  return name + " { sum: " + std::to_string(sum) + " count: " + std::to_string(count) +
         " quantity: " + std::to_string(quantity) + " } ";
}
std::string o(int64_t sum, int64_t count, int64_t quantity = 0) {
  return cell("opened", sum, count, quantity);
}
std::string k(int64_t sum, int64_t count, int64_t quantity = 0) {
  return cell("corrected", sum, count, quantity);
}

// Only `opened` and `corrected` move, by the change of the order total
// since its last registration (Wide count class cells).
TEST(Order, CountersFollowTheTotal) {
  struct CounterCase {
    std::string name;
    std::optional<uint64_t> prev;
    uint64_t total;
    std::string attrs;   // opened and corrected in the request
    std::string result;  // the new cells, or an error code
  };
  const std::string sum = "tarv.core.attrs.sum";
  const std::string count = "tarv.core.attrs.count";
  const int64_t w = kMaxWideCount;
  const int64_t m = kMaxCounter;
  const std::vector<CounterCase> cases = {
      {"new", {}, 1500, "", o(1500, 1)},
      {"new_total_zero", {}, 0, "", o(0, 1)},
      {"raised_keeps_count_and_quantity", 1000, 1500, o(1000, 1, 7), o(1500, 1, 7)},
      {"raised_from_zero_creates_cell", 0, 1500, "", o(1500, 0)},
      {"lowered", 1500, 1200, o(1500, 1), o(1500, 1) + k(300, 1)},
      {"lowered_to_zero", 1500, 0, k(5, 2, 3), k(1505, 3, 3)},
      {"unchanged", 1500, 1500, o(1500, 1) + k(40, 2), o(1500, 1) + k(40, 2)},
      {"unchanged_zero_creates_nothing", 0, 0, "", ""},
      {"new_count_to_limit", {}, 1500, o(0, w - 1), o(1500, w)},
      {"new_at_count_limit", {}, 1500, o(0, w), count},
      {"raised_at_count_limit", 1000, 1500, o(1000, w), o(1500, w)},
      {"lowered_at_count_limit", 1500, 1200, k(0, w), count},
      {"new_sum_to_limit", {}, 1500, o(m - 1500, 0), o(m, 1)},
      {"new_sum_past_limit", {}, 1500, o(m - 1499, 0), sum},
      {"sum_breach_before_count", {}, 1500, o(m, w), sum},
      {"negative_sum_from_host", {}, 1500, o(-5000, 2), o(-3500, 3)},
      {"raised_sum_overflow", 1000, 1500, o(INT64_MAX, 1), sum},
      {"lowered_over_existing_correction", 1500, 1200, k(m - 299, 1), sum},
      // A previous total that no counter can hold.
      {"lowered_by_largest_counter", m + 1500, 1500, "", k(m, 1)},
      {"lowered_past_largest_counter", m + 1501, 1500, "", sum},
      {"lowered_by_2_pow_63", (uint64_t{1} << 63) + 1500, 1500, "", sum},
      {"lowered_from_u64_max", UINT64_MAX, 1500, k(-100, 1), sum},
  };
  const std::string untouched =
      cell("canceled", 11, 1, 1) + cell("closed", 22, 2, 2) + cell("moved", -33, 3, 3);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    pb::OrderRequest r = order(c.total, "attrs { " + c.attrs + untouched + "}");
    if (c.prev) r.set_prev_order_sum(*c.prev);
    if (c.result.starts_with("tarv.")) {
      EXPECT_TRUE(fails_with(r, c.result));
      continue;
    }
    const Call result = call(r);
    pb::OrderResponse response;
    ASSERT_TRUE(parse(result.response, response));
    EXPECT_EQ(serialize(response), result.response);
    EXPECT_TRUE(proto_eq(response.attrs(), c.result + untouched));
    // Field 3: the encoded total, left out when the total is 0.
    pb::OrderTotal total;
    total.set_sum(c.total);
    EXPECT_EQ(response.total(), total.SerializeAsString());
  }
}

// The order comes back as received, completed with the line calculations,
// items_sums and cheque_sums; whatever the host put there is overwritten.
TEST(Order, CompletedOrder) {
  pb::OrderRequest r = order();
  r.mutable_doc()->clear_items();
  // Soup: 1234 × 2.5 = 3085, less 85: 3000 at 20 %; a unit price of 1200
  // holds 200 of VAT. Bread: 999 + 1 at 10 %, 90.9 of VAT rounds to 91.
  // Water: 333 × 1.5 = 499.5 rounds up to 500. Rate 0 and no rate: no tax1.
  merge(R"(doc {
    header { table: 12 place: 3 state { id: 'order-7' open_shift_number: 4 } currency: 'BYN' }
    prepayments { sum: 700 } items_sums { sum: 1 } cheque_sums { discounts: 2 }
    discount { modifier: 100 } markup { modifier: 50 }
    items { name: 'Суп' price: 1234 quantity: 2500 tax_rate: 20
            discount { group: 'g' modifier: 85 } }
    items { name: 'Хлеб' price: 999 quantity: 1000 tax_rate: 10 markup { modifier: 1 } }
    items { name: 'Вода' price: 333 quantity: 1500 tax_rate: 0 calculations { sum: 1 tax1: 777 } }
    items { name: 'Чай' price: 100 quantity: 1000 calculations { tax1: 5 } }
    items { name: 'Сигареты' price: 0 quantity: 1000 code { scan_list {
            scans { mark_c: '0104810000000017215ABCDEFGHIJK' } scans { gtin: '04810000000017' } } } }
  })",
        r);
  pb::Order expected = r.doc();
  const char* calculations[] = {"sum: 3000 discount: 85 tax1: 200", "sum: 1000 markup: 1 tax1: 91",
                                "sum: 500", "sum: 100", "has_marking: true"};
  for (int i = 0; i < 5; ++i) {
    expected.mutable_items(i)->clear_calculations();
    merge(calculations[i], *expected.mutable_items(i)->mutable_calculations());
  }
  expected.clear_items_sums();
  expected.clear_cheque_sums();
  merge(R"(items_sums { discounts: 85 markups: 1 sum: 4600 }
           cheque_sums { discounts: 100 markups: 50 sum: 4550 })",
        expected);

  const pb::OrderResponse response = succeed(r);
  EXPECT_TRUE(proto_eq(response.doc(), expected.DebugString()));
  EXPECT_EQ(response.attrs().opened().sum(), 4550);
  EXPECT_EQ(response.total(), std::string("\x08\xC6\x23"));  // field 1 = 4550
}

}  // namespace
}  // namespace tarv::testing
