#include "src/calculator/payments.h"

#include <algorithm>
#include <utility>

#include "base/try.h"
#include "src/counters/counters.h"
#include "src/limits.h"

namespace tarv::calc {
namespace {

enum PaymentType : uint32_t { kCash = 0, kCard = 1, kOther = 2 };

void bump(msg::DocumentAttributeValue& cell, const msg::Payment& payment) {
  cell.sum = static_cast<int64_t>(static_cast<uint64_t>(cell.sum) + payment.sum);
  cell.count += 1;
}

// Adds one cashless payment to its total and its type's counter; its group's
// counter waits until the split is known to pass (count_groups).
CalcResult<void> add_cashless(const msg::Payment& payment, uint64_t& total,
                              std::optional<msg::GroupedDocumentAttributeValues>& cells,
                              bool& grouped) {
  if (__builtin_add_overflow(total, payment.sum, &total)) {
    return std::unexpected(err::kPaymentsArithmetic);
  }
  auto& cell = cells ? *cells : cells.emplace();
  bump(cell.values ? *cell.values : cell.values.emplace(), payment);
  grouped = grouped || payment.group.has_value();
  return {};
}

// Payments whose sum is 0 count for nothing.
bool paid(const msg::Payment& payment) { return payment.sum != 0; }

}  // namespace

CalcResult<PaymentSplit> split_payments(const msg::Repeated<msg::Payment>& payments,
                                        const msg::RequestMap<uint64_t>& change, uint64_t total,
                                        int64_t drawer, const std::string& currency,
                                        msg::DocumentAttributes& delta) {
  if (!change.empty()) return std::unexpected(err::kPaymentChange);

  PaymentSplit split;
  msg::PaymentsAttributes payment_cells;
  bool has_cash = false;
  bool grouped = false;  // a cashless payment names a group
  uint64_t tendered = 0;
  auto add = [&](const msg::Payment& payment) -> CalcResult<void> {
    if (payment.currency) return std::unexpected(err::kPaymentCurrency);
    switch (payment.type_id) {
      case kCash:
        if (has_cash) return std::unexpected(err::kCashMultiple);
        has_cash = true;
        tendered = payment.sum;
        return {};
      case kCard:
        return add_cashless(payment, split.card, payment_cells.card, grouped);
      case kOther:
        return add_cashless(payment, split.other, payment_cells.other, grouped);
      default:
        return std::unexpected(err::kPaymentTypeUnknown);
    }
  };
  CalcResult<void> added;
  const bool held = payments.all_held();
  payments.for_each([&](msg::Payment& payment) {
    if (!paid(payment)) return true;
    if (!held) split.left_bytes += wire::value_size(payment);
    return (added = add(payment)).has_value();
  });
  TARV_TRY(added);

  uint64_t cashless;
  if (split.card > total || __builtin_add_overflow(split.card, split.other, &cashless) ||
      cashless > total) {
    return std::unexpected(err::kCashlessOverflow);
  }
  const uint64_t rest = total - cashless;  // what cash must cover
  if (tendered < rest) return std::unexpected(err::kNotPaid);
  split.cash = rest;
  split.cash_change = tendered - rest;
  if (split.cash >= limits::kMaxAmount || split.cash_change >= limits::kMaxAmount ||
      cashless >= limits::kMaxAmount) {
    return std::unexpected(err::kSumOverflow);
  }
  if (drawer < static_cast<int64_t>(split.cash_change)) return std::unexpected(err::kCashIn);

  // The split passes: only now a node for each group of the cashless
  // payments, so that a refused split (past the total, not paid...) makes
  // none for a request of many groups.
  if (grouped) {
    payments.for_each([&](const msg::Payment& payment) {
      // A cash payment's group counts for nothing, as it never did.
      if (!paid(payment) || !payment.group || payment.type_id == kCash) return true;
      auto& cells = payment.type_id == kCard ? payment_cells.card : payment_cells.other;
      bump(cells->groups.update(*payment.group), payment);
      return true;
    });
  }
  if (has_cash) payment_cells.cash = {static_cast<int64_t>(split.cash), 1, 0};
  TARV_TRY(counters::count_payments(delta, currency, std::move(payment_cells)));
  return split;
}

void show_paid(msg::Repeated<msg::Payment>& payments, uint32_t number, const PaymentSplit& split) {
  payments.erase_held_if([](const msg::Payment& payment) { return !paid(payment); });
  wire::write_left(payments, number, split.left_bytes, paid);
}

}  // namespace tarv::calc
