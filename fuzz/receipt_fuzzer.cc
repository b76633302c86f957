// Structure-aware: the input chooses the lines (one of them repeated up to
// 65,536 times now and then), modifiers, codes, payments, drawer and counters
// of a well-formed SaleRequest, so that the calculators run rather than the
// decoder. The payments are cut from the cheque of a
// first, cash-paid call. A sale that passes is then, as the input decides,
// refunded, registered as an order and annulled with a signature of the test
// signer; a fresh annulment of a sale that just passed must pass as well.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

#include "fuzz/check.h"
#include "tests/support/fixtures.h"

namespace tarv::fuzz {
namespace {

using testing::kDay;
using testing::kMaxQuantity;
using testing::kMaxSum;
using testing::kOpenedAt;

using In = FuzzedDataProvider;

template <class T, size_t N>
T pick(In& in, const std::array<T, N>& values) {
  return values[in.ConsumeIntegralInRange<size_t>(0, N - 1)];
}

// Mostly small amounts, sometimes the limits and anything at all.
uint64_t amount(In& in, uint64_t typical = 100000) {
  switch (in.ConsumeIntegralInRange(0, 7)) {
    case 0:
      return 0;
    case 5:
      return in.ConsumeIntegralInRange<uint64_t>(0, kMaxSum);
    case 6:
      return kMaxSum + 1 - in.ConsumeIntegralInRange<uint64_t>(0, 2);
    case 7:
      return in.ConsumeIntegral<uint64_t>();
    default:
      return in.ConsumeIntegralInRange<uint64_t>(1, typical);
  }
}

uint32_t quantity(In& in) {
  switch (in.ConsumeIntegralInRange(0, 5)) {
    case 0:
    case 1:
      return 1000;
    case 2:
      return kMaxQuantity + in.ConsumeIntegralInRange<uint32_t>(0, 1);
    case 3:
      return in.ConsumeIntegral<uint32_t>();
    default:
      return in.ConsumeIntegralInRange<uint32_t>(1, 20000);
  }
}

std::string digits(In& in, size_t max_length) {
  std::string out(in.ConsumeIntegralInRange<size_t>(0, max_length), '0');
  for (char& c : out) c = static_cast<char>('0' + in.ConsumeIntegralInRange(0, 9));
  if (!out.empty() && in.ConsumeIntegralInRange(0, 15) == 0) out.back() = 'x';
  return out;
}

std::string text(In& in) {
  static constexpr std::array<const char*, 6> kTexts = {
      "Хлеб",
      "Молоко 3,2%",
      "",
      " ",
      "Товар с очень длинным наименованием, которое длиннее поля",
      "\xE2\x82\xAC sign \xF0\x9F\x8D\x9E"};
  return in.ConsumeBool() ? std::string(pick(in, kTexts)) : in.ConsumeRandomLengthString(80);
}

std::string mark(In& in) {
  std::string m = "010460043993125621JgXJ5.T";
  m.resize(in.ConsumeIntegralInRange<size_t>(1, 300), 'A');
  return m;
}

void code(In& in, pb::Item& item) {
  pb::ItemCode* c = item.mutable_code();
  switch (in.ConsumeIntegralInRange(0, 6)) {
    case 0:
      item.clear_code();
      return;
    case 1:
      c->set_code_a(digits(in, 14));
      return;
    case 2:
      c->set_gtin(digits(in, 15));
      return;
    case 3:
      c->set_code_c(digits(in, 14));
      return;
    case 4:
      c->set_code_d(digits(in, 14));
      return;
    default:
      break;
  }
  pb::ScanList* list = c->mutable_scan_list();
  const int scans = in.ConsumeIntegralInRange(0, 4);
  for (int i = 0; i < scans; ++i) {
    pb::Scan* scan = list->add_scans();
    switch (in.ConsumeIntegralInRange(0, 4)) {
      case 0:
        scan->set_mark_a(mark(in));
        break;
      case 1:
        scan->set_mark_b(mark(in));
        break;
      case 2:
        scan->set_mark_c(mark(in));
        break;
      case 3:
        scan->set_gtin(digits(in, 15));
        break;
      default:
        break;  // a scan with no member
    }
  }
}

void modifier(In& in, pb::Modifier& m, uint64_t typical) {
  m.set_modifier(amount(in, typical));
  if (in.ConsumeBool()) m.set_group(pick(in, std::array<const char*, 3>{"Скидка", "A", ""}));
  if (in.ConsumeBool()) m.set_name(text(in));
}

pb::Item item(In& in) {
  pb::Item i;
  i.set_name(text(in));
  i.set_price(amount(in));
  i.set_quantity(quantity(in));
  if (in.ConsumeBool()) {
    i.mutable_section()->set_code(in.ConsumeIntegralInRange<uint32_t>(0, 300));
    if (in.ConsumeBool()) i.mutable_section()->set_name(text(in));
  }
  if (in.ConsumeIntegralInRange(0, 3) != 0) {
    i.set_tax_rate(in.ConsumeIntegralInRange(0, 9) == 0
                       ? in.ConsumeIntegral<uint32_t>()
                       : pick(in, std::array<uint32_t, 4>{0, 10, 20, 25}));
  }
  if (in.ConsumeIntegralInRange(0, 3) == 0) modifier(in, *i.mutable_discount(), 1000);
  if (in.ConsumeIntegralInRange(0, 3) == 0) modifier(in, *i.mutable_markup(), 1000);
  if (in.ConsumeBool()) code(in, i);
  return i;
}

pb::Header header(In& in) {
  pb::Header h;
  h.set_cashier(in.ConsumeIntegralInRange(0, 7) == 0 ? text(in) : "Иванов");
  h.set_currency(in.ConsumeIntegralInRange(0, 15) == 0 ? "USD" : "BYN");
  const int64_t offset = in.ConsumeIntegralInRange(0, 31) == 0
                             ? in.ConsumeIntegralInRange<int64_t>(-kDay, 2 * kDay)
                             : in.ConsumeIntegralInRange<int64_t>(0, kDay);
  h.mutable_at()->set_seconds(kOpenedAt + offset);
  h.set_number(in.ConsumeIntegral<uint32_t>());
  return h;
}

pb::Context context(In& in) {
  pb::Context c = testing::default_context();
  if (in.ConsumeBool()) c.add_currencies("USD");
  c.set_next_doc_number(in.ConsumeIntegralInRange<uint32_t>(0, 0xFFFFFF + 2));
  pb::ShiftContext* shift = c.mutable_shift_ctx();
  for (const char* currency : {"BYN", "USD"}) {
    if (in.ConsumeIntegralInRange(0, 3) == 0) continue;
    pb::GeneralAttributes& drawer = (*shift->mutable_attrs())[currency];
    switch (in.ConsumeIntegralInRange(0, 5)) {
      case 0:
        drawer.set_cash_in(in.ConsumeIntegral<int64_t>());
        break;
      case 1:
        drawer.set_cash_in(std::numeric_limits<int64_t>::max());
        break;
      default:
        drawer.set_cash_in(in.ConsumeIntegralInRange<int64_t>(0, 1000000));
    }
    drawer.set_income(in.ConsumeIntegralInRange(0, 7) == 0 ? in.ConsumeIntegral<int64_t>() : 0);
  }
  return c;
}

void cell(In& in, pb::DocumentAttributeValue& v) {
  v.set_sum(in.ConsumeBool() ? in.ConsumeIntegral<int64_t>()
                             : in.ConsumeIntegralInRange<int64_t>(0, 1000000));
  v.set_count(in.ConsumeBool() ? in.ConsumeIntegralInRange<int64_t>(65530, 65536)
                               : in.ConsumeIntegral<int64_t>());
  v.set_quantity(in.ConsumeIntegral<int64_t>());
}

// Mostly empty counters, sometimes at their limits.
pb::DocumentAttributes counters(In& in) {
  pb::DocumentAttributes a;
  if (in.ConsumeIntegralInRange(0, 3) != 0) return a;
  a.set_count(in.ConsumeBool() ? in.ConsumeIntegralInRange<uint32_t>(65530, 65535)
                               : in.ConsumeIntegral<uint32_t>());
  a.set_sum(in.ConsumeBool() ? kMaxSum + 1 - in.ConsumeIntegralInRange<uint64_t>(0, 1000)
                             : in.ConsumeIntegral<uint64_t>());
  if (in.ConsumeBool()) cell(in, (*a.mutable_sections())["1"]);
  if (in.ConsumeBool()) cell(in, (*a.mutable_taxes())["20"]);
  if (in.ConsumeBool()) cell(in, *a.mutable_marking()->mutable_si());
  if (in.ConsumeBool()) cell(in, *a.mutable__3party()->mutable_values());
  if (in.ConsumeBool()) cell(in, *(*a.mutable_payments())["BYN"].mutable_cash());
  if (in.ConsumeBool()) cell(in, *(*a.mutable_payments())["BYN"].mutable_card()->mutable_values());
  return a;
}

// Payments for a cheque of `due`: parts of it by card and other, the rest in
// cash (exact, short or with change), and now and then something odd.
template <class Doc>
void payments(In& in, uint64_t due, Doc& doc) {
  doc.clear_payments();
  const int count = in.ConsumeIntegralInRange(0, 4);
  uint64_t left = due;
  for (int i = 0; i < count; ++i) {
    pb::Payment* p = doc.add_payments();
    const uint32_t type = in.ConsumeIntegralInRange(0, 15) == 0 ? in.ConsumeIntegral<uint32_t>()
                                                                : in.ConsumeIntegralInRange(0, 2);
    p->set_type_id(type);
    uint64_t sum = 0;
    switch (in.ConsumeIntegralInRange(0, 4)) {
      case 0:
        sum = left;
        break;
      case 1:
        sum = in.ConsumeIntegralInRange<uint64_t>(0, left);
        break;
      case 2:
        sum = left + in.ConsumeIntegralInRange<uint64_t>(0, 10000);
        break;
      case 3:
        sum = amount(in);
        break;
      default:
        sum = in.ConsumeIntegralInRange<uint64_t>(0, left / 2);
    }
    p->set_sum(sum);
    left -= std::min(left, sum);
    if (in.ConsumeBool()) p->set_group(pick(in, std::array<const char*, 3>{"Visa", "МИР", ""}));
    if (in.ConsumeIntegralInRange(0, 31) == 0) p->set_currency("BYN");
  }
}

void annul(In& in, const pb::SaleRequest& sale, const pb::SaleResponse& sold) {
  pb::RollbackRequest r = testing::annulment(sale, sold);
  const bool fresh = in.ConsumeBool();
  if (!fresh) *r.mutable_attrs() = counters(in);
  const Outcome outcome = run(r);
  if (fresh && outcome.status != TARV_STATUS_OK) {
    fail("the annulment of a sale that just passed failed: " + error_code(outcome));
  }
}

// One cash payment of the largest amount, the change in the drawer.
void full_drawer(pb::SaleRequest& r) {
  r.mutable_doc()->add_payments()->set_sum(kMaxSum);
  auto& drawers = *r.mutable_context()->mutable_shift_ctx()->mutable_attrs();
  drawers[r.doc().header().currency()].set_cash_in(static_cast<int64_t>(kMaxSum));
}

// The refund total is the sale's items sum: the same lines, no document
// modifiers.
void refund(In& in, const pb::SaleRequest& sale, const pb::SaleResponse& sold) {
  pb::RefundRequest r;
  *r.mutable_context() = sale.context();
  *r.mutable_doc()->mutable_header() = sale.doc().header();
  *r.mutable_doc()->mutable_items() = sale.doc().items();
  *r.mutable_attrs() = counters(in);
  payments(in, sold.doc().calculations().items().sum(), *r.mutable_doc());
  run(r);
}

void order(In& in, const pb::SaleRequest& sale) {
  pb::OrderRequest r;
  *r.mutable_context() = sale.context();
  pb::Order* doc = r.mutable_doc();
  pb::OrderHeader* h = doc->mutable_header();
  h->mutable_state()->set_id("T7-15");
  h->mutable_state()->set_open_shift_number(5);
  *h->mutable_at() = sale.doc().header().at();
  h->set_cashier(sale.doc().header().cashier());
  h->set_table(7);
  if (in.ConsumeBool()) h->set_currency(sale.doc().header().currency());
  *doc->mutable_items() = sale.doc().items();
  if (sale.doc().has_markup()) *doc->mutable_markup() = sale.doc().markup();
  if (sale.doc().has_discount()) *doc->mutable_discount() = sale.doc().discount();
  pb::OrdersAttributes* attrs = r.mutable_attrs();
  if (in.ConsumeBool()) cell(in, *attrs->mutable_opened());
  if (in.ConsumeBool()) cell(in, *attrs->mutable_corrected());
  if (in.ConsumeBool()) r.set_prev_order_sum(amount(in));
  run(r);
}

}  // namespace
}  // namespace tarv::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarv::fuzz;
  In in(data, size);
  pb::SaleRequest sale;
  *sale.mutable_context() = context(in);
  pb::Sale* doc = sale.mutable_doc();
  *doc->mutable_header() = header(in);
  const int lines = in.ConsumeIntegralInRange(0, 15) == 0 ? 0 : in.ConsumeIntegralInRange(1, 12);
  for (int i = 0; i < lines; ++i) *doc->add_items() = item(in);
  // Now and then one line many times over, past the most a document counts:
  // a request of hundreds of KB from a few bytes of input, where any cost that
  // grows faster than the lines shows.
  if (lines > 0 && in.ConsumeIntegralInRange(0, 7) == 0) {
    const pb::Item line = doc->items(in.ConsumeIntegralInRange(0, lines - 1));
    // At most 1 MB of lines (65,536 short ones fit), so that a run stays
    // within a few seconds under the sanitizers.
    const int most =
        static_cast<int>(std::min<size_t>(65536, (1 << 20) / (line.ByteSizeLong() + 3)));
    const int more = in.ConsumeIntegralInRange(1, std::max(1, most));
    for (int i = 0; i < more; ++i) *doc->add_items() = line;
  }
  if (in.ConsumeIntegralInRange(0, 3) == 0) {
    doc->set_tp_tax_number(in.ConsumeBool() ? in.ConsumeIntegralInRange(100000000, 999999999)
                                            : in.ConsumeIntegral<uint32_t>());
  }
  if (in.ConsumeIntegralInRange(0, 3) == 0) modifier(in, *doc->mutable_markup(), 5000);
  if (in.ConsumeIntegralInRange(0, 3) == 0) modifier(in, *doc->mutable_discount(), 5000);
  if (in.ConsumeIntegralInRange(0, 31) == 0) (*doc->mutable_change())["BYN"] = 1;
  *sale.mutable_attrs() = counters(in);

  // The cheque, from a call paid in cash from a full drawer.
  pb::SaleRequest probe = sale;
  full_drawer(probe);
  const Outcome first = run(probe);
  pb::SaleResponse sold;
  if (first.status == TARV_STATUS_OK) sold.ParseFromString(first.response);
  payments(in, first.status == TARV_STATUS_OK ? sold.sum() : amount(in), *doc);

  const Outcome outcome = run(sale);
  if (outcome.status != TARV_STATUS_OK) return 0;
  sold.ParseFromString(outcome.response);
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
      refund(in, sale, sold);
      break;
    case 1:
      order(in, sale);
      break;
    case 2:
      annul(in, sale, sold);
      break;
    default:
      break;
  }
  return 0;
}
