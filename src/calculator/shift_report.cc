// The shift-close report: the shift may close only when it is open and every
// drawer is empty; the counters of every currency condense into currency
// records of the report document.
#include <string>
#include <utility>

#include "converter/document.h"
#include "src/calculator/calculators.h"
#include "src/checks/shift_checks.h"
#include "src/diagnostic.h"
#include "src/limits.h"

namespace tarv::calc {
namespace {

// Report counts keep the low bits of their counters, in the width of their
// slot: kBounded or kWide, a mask of all ones.
constexpr uint32_t kBounded = limits::kMaxBoundedCount;
constexpr uint32_t kWide = limits::kMaxWideCount;
uint32_t low(int64_t count, uint32_t mask) { return static_cast<uint32_t>(count) & mask; }

// Report sums add several counters. They are summed exactly; a total below
// zero or past 64 bits becomes a value no amount field holds, so that the
// writer refuses the report instead of recording a wrong figure. Exact is a
// 128-bit two's-complement sum in two words: 32-bit targets have no 128-bit
// integer type.
class Exact {
 public:
  constexpr Exact(int64_t v = 0)
      : high_(v < 0 ? ~uint64_t{0} : 0), low_(static_cast<uint64_t>(v)) {}
  constexpr Exact& operator+=(Exact b) {
    low_ += b.low_;
    high_ += b.high_ + (low_ < b.low_ ? 1 : 0);
    return *this;
  }
  friend constexpr Exact operator+(Exact a, Exact b) { return a += b; }
  // The value when it lies in [0, UINT64_MAX], else UINT64_MAX.
  constexpr uint64_t clamped() const { return high_ == 0 ? low_ : UINT64_MAX; }

 private:
  uint64_t high_;
  uint64_t low_;
};
// The carries between the words, in both directions.
static_assert((Exact(INT64_MAX) + Exact(INT64_MAX) + Exact(1)).clamped() == UINT64_MAX);
static_assert((Exact(INT64_MAX) + Exact(INT64_MAX)).clamped() == UINT64_MAX - 1);
static_assert((Exact(5) + Exact(-6)).clamped() == UINT64_MAX);
static_assert((Exact(INT64_MIN) + Exact(INT64_MAX) + Exact(INT64_MAX) + Exact(2)).clamped() ==
              uint64_t{1} << 63);
uint64_t amount(Exact v) { return v.clamped(); }

Exact cell_sum(const std::optional<msg::DocumentAttributeValue>& cell) {
  return cell ? cell->sum : 0;
}
Exact grouped_sum(const std::optional<msg::GroupedDocumentAttributeValues>& grouped) {
  return grouped ? cell_sum(grouped->values) : 0;
}
Exact payments_total(const msg::UpdatedMap<msg::PaymentsAttributes>& payments,
                     std::string_view key) {
  const auto found = payments.find(key);
  if (!found) return 0;
  return cell_sum(found->cash) + grouped_sum(found->card) + grouped_sum(found->other);
}

converter::CountSum pair(const std::optional<msg::DocumentAttributeValue>& cell, uint32_t mask) {
  if (!cell) return {};
  return {low(cell->count, mask), amount(cell->sum)};
}

// A record while it is built: sales sums still exact.
struct Building {
  converter::ReportRecord record;
  Exact cashless = 0;  // sum_a2
  Exact cash = 0;      // sum_a3
};

void fill(converter::ReportRecord& r, const std::string& key, const msg::DocumentsAttributes& a) {
  auto cash_pair = [](const std::optional<msg::CashInOutAttributes>& kind, uint32_t& count,
                      uint64_t& sum) {
    if (!kind || !kind->cash) return;
    count = low(kind->cash->count, kBounded);
    sum = amount(kind->cash->sum);
  };
  cash_pair(a.deposits, r.count_b2, r.sum_b2);
  cash_pair(a.withdraws, r.count_b3, r.sum_b3);
  cash_pair(a.ch_withdraws, r.count_b4, r.sum_b4);

  auto third_party = [](const std::optional<msg::DocumentAttributes>& kind) {
    return kind && kind->_3party && kind->_3party->values;
  };
  if (third_party(a.sales) || third_party(a.rollbacks)) {
    converter::ReportExtra& extra = r.extra.emplace();
    if (third_party(a.sales)) extra.sales = pair(a.sales->_3party->values, kBounded);
    if (third_party(a.rollbacks)) extra.rollbacks = pair(a.rollbacks->_3party->values, kBounded);
  }
  if (a.sales) {
    r.count_a = a.sales->count & kBounded;
    if (a.sales->marking) {
      converter::CountSum si = pair(a.sales->marking->si, kWide);
      converter::CountSum ukz = pair(a.sales->marking->ukz, kWide);
      r.count_d1 = si.count;
      r.sum_d1 = si.sum;
      r.count_d2 = ukz.count;
      r.sum_d2 = ukz.sum;
    }
  }
  // Refunds and rollbacks: their count, the sum of their payments in this
  // currency and the counts of their marked lines, in the slots' widths.
  auto taken_back = [&](const std::optional<msg::DocumentAttributes>& kind, uint32_t& count,
                        uint64_t& sum, uint32_t& si, uint32_t& ukz, uint32_t marking_mask) {
    if (!kind) return;
    count = kind->count & kBounded;
    sum = amount(payments_total(kind->payments, key));
    if (kind->marking) {
      si = pair(kind->marking->si, marking_mask).count;
      ukz = pair(kind->marking->ukz, marking_mask).count;
    }
  };
  taken_back(a.refunds, r.count_b1, r.sum_b1, r.value_e1, r.value_e2, kWide);
  taken_back(a.rollbacks, r.count_c2, r.sum_c2, r.value_f1, r.value_f2, kBounded);
  if (a.orders) {
    r.orders =
        converter::ReportOrders{pair(a.orders->opened, kWide), pair(a.orders->canceled, kWide),
                                pair(a.orders->closed, kWide), pair(a.orders->corrected, kWide),
                                pair(a.orders->moved, kWide)};
  }
}

// Only currencies with something to report take a record while the
// counters are walked, and the home currency wherever it is named: an entry
// whose record would stay empty adds nothing, as it is dropped at the end.
std::vector<converter::ReportRecord> build_records(
    const msg::RequestMap<msg::DocumentsAttributes>& attrs) {
  msg::Map<Building> records;
  auto record_of = [&](const std::string& currency) -> Building& {
    auto [it, inserted] = records.try_emplace(currency);
    if (inserted) it->second.record.currency = currency;
    return it->second;
  };
  attrs.for_each([&](const std::string& key, const msg::DocumentsAttributes& kinds) {
    converter::ReportRecord filled;
    filled.currency = key;
    fill(filled, key, kinds);
    converter::ReportRecord empty;
    empty.currency = key;
    if (key == kHomeCurrency || filled != empty) record_of(key).record = std::move(filled);
    if (!kinds.sales) return true;
    // Sales payments are filed under their own currency.
    return kinds.sales->payments.for_each([&](const std::string& currency,
                                              const msg::PaymentsAttributes& payments) {
      const int64_t cash = payments.cash ? payments.cash->sum : 0;
      const int64_t card = payments.card && payments.card->values ? payments.card->values->sum : 0;
      const int64_t other =
          payments.other && payments.other->values ? payments.other->values->sum : 0;
      if (currency != kHomeCurrency && cash == 0 && card == 0 && other == 0) return true;
      Building& b = record_of(currency);
      b.cash += cell_sum(payments.cash);
      b.cashless += grouped_sum(payments.card) + grouped_sum(payments.other);
      return true;
    });
  });

  for (auto& [currency, b] : records) {
    b.record.sum_a2 = amount(b.cashless);
    b.record.sum_a3 = amount(b.cash);
    b.record.sum_a1 = amount(b.cashless + b.cash);
  }
  // The home currency first, kept even when empty; then every other
  // currency that has anything to report.
  std::vector<converter::ReportRecord> ordered;
  if (auto home = records.find(kHomeCurrency); home != records.end()) {
    ordered.push_back(std::move(home->second.record));
  }
  for (auto& [currency, b] : records) {
    converter::ReportRecord empty;
    empty.currency = currency;
    if (currency != kHomeCurrency && b.record != empty) ordered.push_back(std::move(b.record));
  }
  if (ordered.empty()) ordered.emplace_back().currency = kHomeCurrency;
  return ordered;
}

}  // namespace

CalcResult<msg::ReportResponse> report(msg::ReportRequest&& request) {
  if (!request.context) return std::unexpected(err::kMalformed);
  if (!request.close_at) return std::unexpected(err::kMalformed);
  const msg::Context& context = *request.context;
  if (!context.shift_ctx) return std::unexpected(err::kShiftAlreadyClosed);
  const msg::ShiftContext& shift = *context.shift_ctx;
  const bool drawers_empty =
      shift.attrs.for_each([](const std::string&, const msg::GeneralAttributes& general) {
        return general.cash_in == 0;
      });
  if (!drawers_empty) return std::unexpected(err::kShiftCashIn);
  if (!shift.opened_at || shift.closed_at) return std::unexpected(err::kShiftAlreadyClosed);
  auto opened_at = checks::to_utc(*shift.opened_at);
  auto close_at = checks::to_utc(*request.close_at);
  if (!opened_at || !close_at) return std::unexpected(err::kMalformed);
  auto local_opened = calendar::local_date_time(*opened_at);
  auto local_close = calendar::local_date_time(*close_at);
  if (!local_opened || !local_close) return std::unexpected(err::kMalformed);

  converter::ReportDoc document;
  document.tax_number = context.tax_number;
  document.device_id = context.device_id;
  document.opened_at = *local_opened;
  document.close_at = *local_close;
  document.shift_number = context.next_shift_number & kBounded;
  request.attrs.for_each([&](const std::string&, const msg::DocumentsAttributes& kinds) {
    if (kinds.sales) document.docs_count = (document.docs_count + kinds.sales->count) & kBounded;
    return true;
  });
  document.first_sale = request.first_sale;
  document.last_sale = request.last_sale;
  document.records = build_records(request.attrs);

  auto bytes = converter::encode(document);
  if (!bytes) {
    diagnostic("Failed to serialize Report: " + converter::render(bytes.error()) + "\n");
    return std::unexpected(err::kShiftBin);
  }
  msg::ReportResponse response;
  response.binary_doc = std::move(*bytes);
  return response;
}

}  // namespace tarv::calc
