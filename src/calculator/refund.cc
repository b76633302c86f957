// The refund: the sale's line procedure without VAT, the payment split
// without change, the binary refund document and the refund counters.
#include <utility>
#include <vector>

#include "base/try.h"
#include "src/calculator/binary_doc.h"
#include "src/calculator/calculators.h"
#include "src/calculator/payments.h"
#include "src/checks/shift_checks.h"
#include "src/counters/cash_position.h"
#include "src/counters/counters.h"
#include "src/lines/items.h"

namespace tarv::calc {

CalcResult<ReceiptResponse<msg::Refund>> refund(msg::RefundRequest&& request) {
  const msg::Context& context = *request.context;
  msg::Refund& refund = *request.doc;
  auto times = checks::validate_header_and_shift(context, refund.header);
  TARV_TRY(times);
  const msg::Header& header = *refund.header;
  if (refund.items.empty()) return std::unexpected(err::kItemsEmpty);

  lines::LineRecords records(refund.items, wire::field_number(&msg::Refund::items), {},
                             [](const msg::Item& item, lines::LineResult&& line) {
                               return converter::RefundItem{line.section, std::move(line.code.code),
                                                            converter::Text::view_of(item.name),
                                                            line.quantity, line.total};
                             });
  msg::DocumentAttributes delta;
  auto totals = lines::walk_lines(
      refund.items, {}, delta,
      [&](const msg::Item& item, lines::LineResult&& line) { records.add(item, std::move(line)); });
  TARV_TRY(totals);
  const uint64_t total = totals->sum;

  auto split = split_payments(refund.payments, {}, total,
                              counters::cash_in(context, header.currency), header.currency, delta);
  TARV_TRY(split);
  if (split->cash_change != 0) return std::unexpected(err::kRefundChange);
  if (totals->modifier_groups) lines::count_modifier_groups(refund.items, delta);
  delta.count = 1;
  delta.sum = total;

  const converter::DocHeader head =
      document_header(context, header, times->local, context.next_doc_number);
  const auto make = [&](std::vector<converter::RefundItem>&& doc_items) {
    return converter::TarvDocument{converter::RefundDoc{
        head, std::move(doc_items), total, split->cash, split->cashless(), split->other}};
  };
  auto end = write_and_count(
      records, refund.items, make, *request.context,
      {header.currency, -static_cast<int64_t>(split->cash), static_cast<int64_t>(total)},
      *request.attrs, std::move(delta));
  TARV_TRY(end);
  show_paid(refund.payments, wire::field_number(&msg::Refund::payments), *split);

  msg::RefundCalculations& calculations = refund.calculations.emplace();
  calculations.sum = total;
  calculations.payments.update(header.currency) = {split->cash, split->card, split->other};

  return CalcResult<ReceiptResponse<msg::Refund>>(std::in_place, std::move(end->shift_attrs),
                                                  std::move(*request.attrs), std::move(refund),
                                                  std::move(end->binary_doc), total);
}

}  // namespace tarv::calc
