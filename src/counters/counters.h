// Shift counters: adding one document's contribution (a delta) to the
// counters the host sent, under fixed limits.
//
// Every operation takes the current value and returns the new one or the
// first CalcError; on error the caller drops everything, so nothing here
// needs to undo a half-applied merge.
#ifndef TARV_SRC_COUNTERS_COUNTERS_H_
#define TARV_SRC_COUNTERS_COUNTERS_H_

#include <cstdint>
#include <optional>
#include <string>

#include "src/counters/cash_position.h"
#include "src/errors.h"
#include "src/limits.h"
#include "src/messages.h"

namespace tarv::counters {

// The limit class of a counter cell, by where it sits.
//   Bounded: document totals, cash operations, third party, payments.
//   WideCount: marking cells and restaurant-order cells.
//   Open: sections, taxes and modifiers; only 64-bit overflow is checked.
enum class CellClass : uint8_t { kBounded, kWideCount, kOpen };

struct CellLimit {
  int64_t sum;
  int64_t count;
};
constexpr CellLimit limit_of(CellClass cls) {
  switch (cls) {
    case CellClass::kBounded:
      return {limits::kMaxCounterSum, limits::kMaxBoundedCount};
    case CellClass::kWideCount:
      return {limits::kMaxCounterSum, limits::kMaxWideCount};
    case CellClass::kOpen:
      break;
  }
  return {INT64_MAX, INT64_MAX};
}

using Cell = msg::DocumentAttributeValue;

// Adds `delta` to `cell` (created with zeros when absent): signed overflow of
// sum, count, quantity in that order, then the class limits, sum first.
CalcResult<void> add_cell(Cell& cell, const Cell& delta, CellClass cls);
CalcResult<void> add_cell(std::optional<Cell>& cell, const Cell& delta, CellClass cls);
// Adds every cell of `delta` to `current`; the cells `current` lacks move over.
CalcResult<void> merge_cells(msg::UpdatedMap<Cell>& current, msg::UpdatedMap<Cell>&& delta,
                             CellClass cls);

// Counts one deposit, withdrawal or card-holder withdrawal of `amount`.
CalcResult<msg::CashInOutAttributes> add_cash_operation(msg::CashInOutAttributes current,
                                                        int64_t amount);

// Adds a sale's, refund's or rollback's delta to that kind's counters, in
// place; the delta's map entries move into the counters where they are new.
// A failure leaves `current` part-way, for the caller to drop.
CalcResult<void> add_document_attributes(msg::DocumentAttributes& current,
                                         msg::DocumentAttributes&& delta);
// The same on a copy of the counters.
CalcResult<msg::DocumentAttributes> merge_document_attributes(msg::DocumentAttributes current,
                                                              msg::DocumentAttributes&& delta);

// A receipt's (sale's, refund's, rollback's) counting in its fixed order:
// the context's cash position moved by `cash` (the new shift counters), then
// the request's counters of the kind (`kind_counters`, in place) moved by
// `delta`. The first failure is the call's.
CalcResult<msg::UpdatedMap<msg::GeneralAttributes>> count_receipt(
    msg::Context& context, const CashDelta& cash, msg::DocumentAttributes& kind_counters,
    msg::DocumentAttributes&& delta);

// Adds a restaurant-order change to one order cell (wide count class).
CalcResult<void> add_order_cell(std::optional<Cell>& cell, int64_t sum, int64_t count);

// ---------------------------------------------------------------------------
// Delta builders: the calculators call them while they walk a document. The
// document's own sums are range-checked before they get here, so these are
// plain additions.

enum class Marking : uint8_t { kNone, kSi, kUkz };

// The values of a map keyed by decimal numbers (sections, VAT rates) that a
// document's lines add to, each found once: a receipt names few sections and
// rates, and a lookup by text on every line would cost more than the line's
// own arithmetic. Map nodes never move, so a value found stays valid while
// the map lives; the first few numbers are kept, any others looked up.
template <class V>
class ValuesByNumber {
 public:
  explicit ValuesByNumber(msg::UpdatedMap<V>& map) : map_(map) {}

  V& operator[](uint32_t number) {
    for (size_t i = 0; i < kept_; ++i) {
      if (numbers_[i] == number) return *values_[i];
    }
    V& value = map_.update(std::to_string(number));
    if (kept_ < kKept) {
      numbers_[kept_] = number;
      values_[kept_++] = &value;
    }
    return value;
  }

 private:
  static constexpr size_t kKept = 8;
  msg::UpdatedMap<V>& map_;
  size_t kept_ = 0;
  uint32_t numbers_[kKept];
  V* values_[kKept];
};
using CellsByNumber = ValuesByNumber<Cell>;

void count_item_tax(CellsByNumber& taxes, std::optional<uint32_t> rate,
                    std::optional<uint64_t> vat);
void count_item_marking(msg::DocumentAttributes& delta, Marking marking, uint64_t sum,
                        uint32_t quantity);
void count_item_section(CellsByNumber& sections, std::optional<uint32_t> section, uint64_t sum,
                        uint32_t quantity);
void count_item_modifiers(msg::DocumentAttributes& delta,
                          const std::optional<msg::Modifier>& discount,
                          const std::optional<msg::Modifier>& markup);
void count_third_party(msg::DocumentAttributes& delta, std::optional<uint32_t> tax_number,
                       uint64_t total);
// Adds the document's payments for `currency`; a limit breach is the
// payments-arithmetic error of the receipt, not a counter error.
CalcResult<void> count_payments(msg::DocumentAttributes& delta, const std::string& currency,
                                msg::PaymentsAttributes payments);

}  // namespace tarv::counters

#endif  // TARV_SRC_COUNTERS_COUNTERS_H_
