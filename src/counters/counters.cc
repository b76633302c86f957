#include "src/counters/counters.h"

#include <iterator>
#include <utility>

#include "base/try.h"

namespace tarv::counters {
namespace {

// Builders add figures that were range-checked already; wrapping arithmetic
// keeps them free of undefined behaviour all the same.
int64_t plus(int64_t a, uint64_t b) { return static_cast<int64_t>(static_cast<uint64_t>(a) + b); }

void bump(Cell& cell, uint64_t sum, uint64_t count, uint64_t quantity) {
  cell.sum = plus(cell.sum, sum);
  cell.count = plus(cell.count, count);
  cell.quantity = plus(cell.quantity, quantity);
}

// Merges each entry of `delta` into `current` with `add`: into the value
// `current` has for its key, or into a fresh one, limits and all. Between
// maps held whole, a fresh value's node moves over: merging a document's
// delta allocates nothing, and into empty counters the whole map moves.
template <class V, class Add>
CalcResult<void> merge_map(msg::UpdatedMap<V>& current, msg::UpdatedMap<V>&& delta, Add add) {
  msg::Map<V>* const into = current.held();
  msg::Map<V>* const from = delta.held();
  if (into == nullptr || from == nullptr) {
    if (from != nullptr) current.ready_updates(*from);
    CalcResult<void> merged;
    std::move(delta).consume([&](const std::string& key, V&& value) {
      merged = add(current.update(key), std::move(value));
      return merged.has_value();
    });
    return merged;
  }
  const bool moves_whole = into->empty();
  for (auto it = from->begin(); it != from->end();) {
    const auto next = std::next(it);
    const auto at = into->lower_bound(it->first);
    if (at != into->end() && at->first == it->first) {
      TARV_TRY(add(at->second, std::move(it->second)));
    } else {
      V fresh{};
      TARV_TRY(add(fresh, std::move(it->second)));
      it->second = std::move(fresh);
      if (!moves_whole) into->insert(at, from->extract(it));
    }
    it = next;
  }
  if (moves_whole) *into = std::move(*from);
  return {};
}

CalcResult<void> merge_grouped(std::optional<msg::GroupedDocumentAttributeValues>& current,
                               msg::GroupedDocumentAttributeValues&& delta, CellClass cls) {
  auto& target = current ? *current : current.emplace();
  if (delta.values) {
    TARV_TRY(add_cell(target.values, *delta.values, cls));
  }
  return merge_cells(target.groups, std::move(delta.groups), cls);
}

CalcResult<void> merge_modifiers(std::optional<msg::ModifiersAttributes>& current,
                                 msg::ModifiersAttributes&& delta) {
  auto& target = current ? *current : current.emplace();
  TARV_TRY(merge_cells(target.discounts, std::move(delta.discounts), CellClass::kOpen));
  return merge_cells(target.markups, std::move(delta.markups), CellClass::kOpen);
}

// Adds one currency's payments: cash, then card and other, each with its
// groups.
CalcResult<void> merge_payment(msg::PaymentsAttributes& target, msg::PaymentsAttributes&& delta) {
  if (delta.cash) {
    TARV_TRY(add_cell(target.cash, *delta.cash, CellClass::kBounded));
  }
  if (delta.card) {
    TARV_TRY(merge_grouped(target.card, std::move(*delta.card), CellClass::kBounded));
  }
  if (delta.other) return merge_grouped(target.other, std::move(*delta.other), CellClass::kBounded);
  return {};
}

}  // namespace

CalcResult<void> add_cell(Cell& cell, const Cell& delta, CellClass cls) {
  Cell next;
  if (__builtin_add_overflow(cell.sum, delta.sum, &next.sum)) {
    return std::unexpected(err::kAttrsSum);
  }
  if (__builtin_add_overflow(cell.count, delta.count, &next.count)) {
    return std::unexpected(err::kAttrsCount);
  }
  if (__builtin_add_overflow(cell.quantity, delta.quantity, &next.quantity)) {
    return std::unexpected(err::kAttrsQuantity);
  }
  const CellLimit limit = limit_of(cls);
  if (next.sum > limit.sum) return std::unexpected(err::kAttrsSum);
  if (next.count > limit.count) return std::unexpected(err::kAttrsCount);
  cell = next;
  return {};
}

CalcResult<void> add_cell(std::optional<Cell>& cell, const Cell& delta, CellClass cls) {
  return add_cell(cell ? *cell : cell.emplace(), delta, cls);
}

CalcResult<void> merge_cells(msg::UpdatedMap<Cell>& current, msg::UpdatedMap<Cell>&& delta,
                             CellClass cls) {
  return merge_map(current, std::move(delta),
                   [cls](Cell& cell, Cell&& add) { return add_cell(cell, add, cls); });
}

CalcResult<msg::CashInOutAttributes> add_cash_operation(msg::CashInOutAttributes current,
                                                        int64_t amount) {
  TARV_TRY(add_cell(current.cash, Cell{amount, 1, 0}, CellClass::kBounded));
  return current;
}

CalcResult<void> add_document_attributes(msg::DocumentAttributes& current,
                                         msg::DocumentAttributes&& delta) {
  uint64_t sum;
  uint32_t count;
  if (__builtin_add_overflow(current.sum, delta.sum, &sum)) return std::unexpected(err::kAttrsSum);
  if (__builtin_add_overflow(current.count, delta.count, &count)) {
    return std::unexpected(err::kAttrsCount);
  }
  if (sum > limits::kMaxAmount) return std::unexpected(err::kAttrsSum);
  if (count > limits::kMaxBoundedCount) return std::unexpected(err::kAttrsCount);
  current.sum = sum;
  current.count = count;

  TARV_TRY(merge_cells(current.sections, std::move(delta.sections), CellClass::kOpen));
  if (delta._3party) {
    TARV_TRY(merge_grouped(current._3party, std::move(*delta._3party), CellClass::kBounded));
  }
  if (delta.marking) {
    auto& marking = current.marking ? *current.marking : current.marking.emplace();
    if (delta.marking->si) {
      TARV_TRY(add_cell(marking.si, *delta.marking->si, CellClass::kWideCount));
    }
    if (delta.marking->ukz) {
      TARV_TRY(add_cell(marking.ukz, *delta.marking->ukz, CellClass::kWideCount));
    }
  }
  if (delta.items_modifiers) {
    TARV_TRY(merge_modifiers(current.items_modifiers, std::move(*delta.items_modifiers)));
  }
  if (delta.modifiers) TARV_TRY(merge_modifiers(current.modifiers, std::move(*delta.modifiers)));
  TARV_TRY(merge_cells(current.taxes, std::move(delta.taxes), CellClass::kOpen));
  return merge_map(current.payments, std::move(delta.payments), merge_payment);
}

CalcResult<msg::DocumentAttributes> merge_document_attributes(msg::DocumentAttributes current,
                                                              msg::DocumentAttributes&& delta) {
  TARV_TRY(add_document_attributes(current, std::move(delta)));
  return current;
}

CalcResult<msg::UpdatedMap<msg::GeneralAttributes>> count_receipt(
    msg::Context& context, const CashDelta& cash, msg::DocumentAttributes& kind_counters,
    msg::DocumentAttributes&& delta) {
  auto shift_attrs = merge_general(take_shift_attrs(context), cash);
  TARV_TRY(shift_attrs);
  TARV_TRY(add_document_attributes(kind_counters, std::move(delta)));
  return shift_attrs;
}

CalcResult<void> add_order_cell(std::optional<Cell>& cell, int64_t sum, int64_t count) {
  return add_cell(cell, Cell{sum, count, 0}, CellClass::kWideCount);
}

void count_item_tax(CellsByNumber& taxes, std::optional<uint32_t> rate,
                    std::optional<uint64_t> vat) {
  if (!rate) return;
  bump(taxes[*rate], vat.value_or(0), 1, 0);
}

void count_item_marking(msg::DocumentAttributes& delta, Marking marking, uint64_t sum,
                        uint32_t quantity) {
  if (marking == Marking::kNone) return;
  auto& cells = delta.marking ? *delta.marking : delta.marking.emplace();
  auto& cell = marking == Marking::kSi ? cells.si : cells.ukz;
  bump(cell ? *cell : cell.emplace(), sum, 1, quantity);
}

void count_item_section(CellsByNumber& sections, std::optional<uint32_t> section, uint64_t sum,
                        uint32_t quantity) {
  if (!section) return;
  bump(sections[*section], sum, 1, quantity);
}

void count_item_modifiers(msg::DocumentAttributes& delta,
                          const std::optional<msg::Modifier>& discount,
                          const std::optional<msg::Modifier>& markup) {
  auto& modifiers =
      delta.items_modifiers ? *delta.items_modifiers : delta.items_modifiers.emplace();
  if (discount && discount->group)
    bump(modifiers.discounts.update(*discount->group), discount->modifier, 1, 0);
  if (markup && markup->group) {
    bump(modifiers.markups.update(*markup->group), markup->modifier, 1, 0);
  }
}

void count_third_party(msg::DocumentAttributes& delta, std::optional<uint32_t> tax_number,
                       uint64_t total) {
  if (!tax_number) return;
  auto& party = delta._3party ? *delta._3party : delta._3party.emplace();
  bump(party.values ? *party.values : party.values.emplace(), total, 1, 0);
  bump(party.groups.update(std::to_string(*tax_number)), total, 1, 0);
}

CalcResult<void> count_payments(msg::DocumentAttributes& delta, const std::string& currency,
                                msg::PaymentsAttributes payments) {
  if (!merge_payment(delta.payments.update(currency), std::move(payments))) {
    return std::unexpected(err::kPaymentsArithmetic);
  }
  return {};
}

}  // namespace tarv::counters
