// Restaurant orders: the sale's line procedure and totals without a fiscal
// document, and the order counters moved by the change of the order total.
#include <utility>

#include "base/try.h"
#include "src/calculator/calculators.h"
#include "src/checks/shift_checks.h"
#include "src/counters/counters.h"
#include "src/limits.h"
#include "src/lines/items.h"

namespace tarv::calc {
namespace {

// Moves the order counters by the change from the previous total: a new
// order opens with its total; a raised total adds the rise to `opened`
// without a count; a lowered one counts a correction.
CalcResult<void> count_order(msg::OrdersAttributes& attrs, std::optional<uint64_t> previous,
                             uint64_t total) {
  if (!previous) return counters::add_order_cell(attrs.opened, static_cast<int64_t>(total), 1);
  if (total == *previous) return {};
  if (total > *previous) {
    return counters::add_order_cell(attrs.opened, static_cast<int64_t>(total - *previous), 0);
  }
  // A previous total past the counter range cannot be counted truthfully.
  const uint64_t reduction = *previous - total;
  if (reduction > static_cast<uint64_t>(limits::kMaxCounterSum)) {
    return std::unexpected(err::kAttrsSum);
  }
  return counters::add_order_cell(attrs.corrected, static_cast<int64_t>(reduction), 1);
}

}  // namespace

CalcResult<msg::OrderResponse> order(msg::OrderRequest&& request) {
  const msg::Context& context = *request.context;
  msg::Order& order = *request.doc;
  static const msg::OrderHeader kNone;
  const msg::OrderHeader& header = order.header ? *order.header : kNone;
  std::string_view currency = header.currency ? *header.currency : kHomeCurrency;
  auto times = checks::validate_header_and_shift(context, order.header.has_value(), header.cashier,
                                                 currency, header.at, {.check_cashier = false});
  TARV_TRY(times);
  if (order.items.empty()) return std::unexpected(err::kItemsEmpty);

  // Orders feed no line counters: the walk's delta is dropped. Each line's
  // VAT is its tax1 in the response.
  const lines::LineRules rules{.check_tax_rate = true};
  const bool held = order.items.all_held();
  size_t left_bytes = 0;
  msg::DocumentAttributes unused;
  auto totals = lines::walk_lines(order.items, rules, unused,
                                  [&](const msg::Item& item, const lines::LineResult&) {
                                    if (!held) left_bytes += lines::left_bytes(item);
                                  });
  TARV_TRY(totals);
  const uint64_t markup = order.markup ? order.markup->modifier : 0;
  const uint64_t discount = order.discount ? order.discount->modifier : 0;
  auto total = lines::document_total(totals->sum, markup, discount);
  TARV_TRY(total);
  order.items_sums = msg::SaleCalculationsSums{totals->discounts, totals->markups, totals->sum};
  order.cheque_sums = msg::SaleCalculationsSums{discount, markup, *total};

  msg::OrdersAttributes attrs = std::move(*request.attrs);
  TARV_TRY(count_order(attrs, request.prev_order_sum, *total));
  lines::write_left_lines(order.items, wire::field_number(&msg::Order::items), rules, left_bytes,
                          [](const msg::Item&, lines::LineResult&&) {});

  msg::OrderResponse response;
  response.doc = std::move(order);
  response.attrs = std::move(attrs);
  if (*total != 0) {
    msg::OrderTotal encoded{*total};
    response.total.resize(wire::encoded_size(encoded));
    wire::write_message(encoded, response.total.data(), response.total.size());
  }
  return response;
}

}  // namespace tarv::calc
