// The shift-close report: the shift may close only when it is open and every
// drawer is empty; the counters of every currency condense into currency
// records of the report document.
#include <algorithm>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

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
  friend constexpr bool operator==(const Exact&, const Exact&) = default;

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


// The record of a currency's own counters, when it has one: the home
// currency's always, another's when it is not empty.
std::optional<converter::ReportRecord> counters_record(const std::string& key,
                                                       const msg::DocumentsAttributes& kinds) {
  converter::ReportRecord filled;
  filled.currency = key;
  fill(filled, key, kinds);
  converter::ReportRecord empty;
  empty.currency = key;
  if (key != kHomeCurrency && filled == empty) return std::nullopt;
  return filled;
}

// A currency of the records being built: its sales sums, still exact, and
// whether its own counters give it a record (made once the window is known
// to fit the document).
struct Pending {
  Exact cashless = 0;  // sum_a2
  Exact cash = 0;      // sum_a3
  bool counted = false;
  std::unique_ptr<converter::ReportRecord> record;  // its counters' record
  // Whether its record has anything to report (or is the home currency's).
  bool reports(const std::string& currency) const {
    return currency == kHomeCurrency || counted || cash != 0 || cashless != 0;
  }
};

// The currencies taken, at most `capacity` of them, and past `after` (once a
// window is done): the lowest keys met, for the rest of a walk of the
// counters, once more than that many are met.
class Window {
 public:
  explicit Window(const std::optional<std::string>& after) : after_(after) {}

  // Whether the currency lies inside the window.
  bool holds(const std::string& currency) const {
    return !(after_ && currency <= *after_) && !(full_ && currency > pending_.rbegin()->first);
  }
  // The currency's entry, or null where it lies outside the window. Each
  // call counts one contribution met.
  Pending* take(const std::string& currency, size_t capacity) {
    ++met_;
    if (!holds(currency)) return nullptr;
    auto [it, inserted] = pending_.try_emplace(currency);
    if (inserted && pending_.size() > capacity) {
      const auto last = std::prev(pending_.end());
      const bool dropped = it == last;
      if (last->second.counted && last->first != kHomeCurrency) --counted_;
      pending_.erase(last);
      full_ = true;
      if (dropped) return nullptr;
    }
    return &it->second;
  }
  void count(const std::string& currency, Pending& pending) {
    if (!pending.counted && currency != kHomeCurrency) ++counted_;
    pending.counted = true;
  }
  // Counts a currency whose counters give it a record, in the window or
  // past it.
  void count_ahead(const std::string& currency) {
    if (currency != kHomeCurrency && !(after_ && currency <= *after_)) ++ahead_;
  }

  msg::Map<Pending>& pending() { return pending_; }
  // Other currencies whose counters alone give them a record.
  size_t counted() const { return counted_; }
  // Other currencies past the last window whose counters give them a record.
  size_t ahead() const { return ahead_; }
  // Whether currencies past the window were left for another.
  bool full() const { return full_; }
  size_t met() const { return met_; }

 private:
  const std::optional<std::string>& after_;
  msg::Map<Pending> pending_;
  size_t counted_ = 0;
  size_t ahead_ = 0;
  bool full_ = false;
  size_t met_ = 0;
};

// A report of more records than the document counts, refused by the writer
// as it refuses one of none (never made otherwise): its own diagnostic for
// the record count, after the head, without holding the records.
std::vector<converter::ReportRecord> too_many_records() { return {}; }

// The records: the home currency first, kept even when empty, wherever it is
// named; then, in key order, every other currency that has anything to
// report (its counters, or sales paid in it). The currencies are gathered
// window by window in key order: a window holds at most 64 currencies or an
// eighth of the contributions (a counter or a sales payment) the first walk
// of the counters met, so that it costs less than the request bytes that fed
// it and takes at most eight walks more. A report past the document's count of
// records is refused as soon as that is certain, before more than a few
// records are made; a window that fits and has more has its currencies' own
// records made by one more walk.
//
// The first walk also counts the shift's sales into `docs_count`, so that a
// report of counters left in the request walks them once more, not twice; a
// report refused part way has a partial count, which the writer never
// refuses (it keeps the low bits) before the records.
std::vector<converter::ReportRecord> build_records(
    const msg::RequestMap<msg::DocumentsAttributes>& attrs, uint32_t& docs_count) {
  constexpr size_t kMaxRecords = converter::layout::kMaxReportRecords;
  constexpr size_t kShare = 8;  // contributions per currency a window holds
  constexpr size_t kKept = 16;  // records made by the first walk of a window
  constexpr size_t kLeast = 64;  // currencies a window may always hold
  std::optional<converter::ReportRecord> home;
  std::vector<converter::ReportRecord> others;
  std::optional<std::string> after;
  size_t contributions = 0;  // met by the first walk
  for (;;) {
    Window window(after);
    auto capacity = [&] {
      return std::max(kLeast, (after ? contributions : window.met()) / kShare);
    };
    const bool walked =
        attrs.for_each([&](const std::string& key, const msg::DocumentsAttributes& kinds) {
          if (!after && kinds.sales) docs_count = (docs_count + kinds.sales->count) & kBounded;
          if (auto record = counters_record(key, kinds)) {
            window.count_ahead(key);
            if (Pending* p = window.take(key, capacity())) {
              window.count(key, *p);
              // The first few records are kept, so that a typical report
              // walks its counters once.
              if (window.counted() < kKept) {
                p->record = std::make_unique<converter::ReportRecord>(std::move(*record));
              }
            }
          }
          if (others.size() + window.ahead() > kMaxRecords) return false;
          if (!kinds.sales) return true;
          // Sales payments are filed under their own currency.
          return kinds.sales->payments.for_each([&](const std::string& currency,
                                                    const msg::PaymentsAttributes& payments) {
            const int64_t cash = payments.cash ? payments.cash->sum : 0;
            const int64_t card =
                payments.card && payments.card->values ? payments.card->values->sum : 0;
            const int64_t other =
                payments.other && payments.other->values ? payments.other->values->sum : 0;
            if (currency != kHomeCurrency && cash == 0 && card == 0 && other == 0) return true;
            if (Pending* p = window.take(currency, capacity())) {
              p->cash += cell_sum(payments.cash);
              p->cashless += grouped_sum(payments.card) + grouped_sum(payments.other);
            }
            return true;
          });
        });
    if (!walked) return too_many_records();
    if (!after) contributions = window.met();
    size_t reporting = others.size();
    bool unmade = false;  // a record still to make
    for (const auto& [currency, p] : window.pending()) {
      if (currency != kHomeCurrency && p.reports(currency)) ++reporting;
      unmade = unmade || (p.counted && !p.record);
    }
    if (reporting > kMaxRecords) return too_many_records();
    others.reserve(reporting + 1);  // and the home currency's, in front
    if (unmade) {
      attrs.for_each([&](const std::string& key, const msg::DocumentsAttributes& kinds) {
        if (!window.holds(key)) return true;
        const auto p = window.pending().find(key);
        if (p == window.pending().end() || !p->second.counted || p->second.record) return true;
        p->second.record = std::make_unique<converter::ReportRecord>(*counters_record(key, kinds));
        return true;
      });
    }
    for (auto& [currency, p] : window.pending()) {
      if (!p.reports(currency)) continue;
      converter::ReportRecord record;
      if (p.record) {
        record = std::move(*p.record);
        p.record.reset();
      } else {
        record.currency = currency;
      }
      record.sum_a2 = amount(p.cashless);
      record.sum_a3 = amount(p.cash);
      record.sum_a1 = amount(p.cashless + p.cash);
      if (currency == kHomeCurrency) {
        home = std::move(record);
      } else {
        others.push_back(std::move(record));
      }
    }
    if (!window.full()) break;
    after = window.pending().rbegin()->first;
  }
  if (home) others.insert(others.begin(), std::move(*home));
  if (others.empty()) others.emplace_back().currency = kHomeCurrency;
  return others;
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
  document.first_sale = request.first_sale;
  document.last_sale = request.last_sale;
  document.records = build_records(request.attrs, document.docs_count);

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
