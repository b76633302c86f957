// The sale: lines with VAT, document totals, the payment split, the binary
// sale document and every sale counter.
#include <string>
#include <utility>
#include <vector>

#include "base/try.h"
#include "converter/layout.h"
#include "src/calculator/binary_doc.h"
#include "src/calculator/calculators.h"
#include "src/calculator/payments.h"
#include "src/checks/shift_checks.h"
#include "src/counters/cash_position.h"
#include "src/counters/counters.h"
#include "src/limits.h"
#include "src/lines/items.h"

namespace tarv::calc {
namespace {

bool valid_tax_number(uint32_t n) {
  return n >= limits::kMinTaxNumber && n <= limits::kMaxTaxNumber;
}

converter::SaleItem sale_item(const msg::Item& item, lines::LineResult&& line) {
  return {.section = line.section,
          .code = std::move(line.code.code),
          .name = converter::Text::view_of(item.name),
          .quantity = line.quantity,
          .cost = line.base,
          .discount = line.discount,
          .markup = line.markup};
}

}  // namespace

CalcResult<ReceiptResponse<msg::Sale>> sale(msg::SaleRequest&& request) {
  const msg::Context& context = *request.context;
  msg::Sale& sale = *request.doc;
  auto times = checks::validate_header_and_shift(context, sale.header);
  TARV_TRY(times);
  const msg::Header& header = *sale.header;
  if (sale.tp_tax_number && !valid_tax_number(*sale.tp_tax_number)) {
    return std::unexpected(err::kThirdPartyTaxNumber);
  }
  if (sale.items.empty()) return std::unexpected(err::kItemsEmpty);

  const lines::LineRules rules{.check_tax_rate = true};
  lines::LineRecords records(sale.items, wire::field_number(&msg::Sale::items), rules, sale_item);
  msg::DocumentAttributes delta;
  msg::UpdatedMap<uint64_t> taxes;
  counters::ValuesByNumber<uint64_t> vat_by_rate(taxes);
  counters::CellsByNumber tax_cells(delta.taxes);
  auto totals = lines::walk_lines(
      sale.items, rules, delta, [&](const msg::Item& item, lines::LineResult&& line) {
        if (line.vat) {
          vat_by_rate[*item.tax_rate] += line.vat->vat;
          counters::count_item_tax(tax_cells, item.tax_rate, line.vat->vat);
        }
        records.add(item, std::move(line));
      });
  TARV_TRY(totals);

  const uint64_t markup = sale.markup ? sale.markup->modifier : 0;
  const uint64_t discount = sale.discount ? sale.discount->modifier : 0;
  auto cheque = lines::document_total(totals->sum, markup, discount);
  TARV_TRY(cheque);

  auto split = split_payments(sale.payments, sale.change, *cheque,
                              counters::cash_in(context, header.currency), header.currency, delta);
  TARV_TRY(split);
  if (totals->modifier_groups) lines::count_modifier_groups(sale.items, delta);
  counters::count_third_party(delta, sale.tp_tax_number, *cheque);
  delta.count = 1;
  delta.sum = *cheque;

  // The writer refuses a sale of more lines than its document holds: the
  // outcome is known without building the document.
  if (sale.items.size() > converter::layout::kMaxSaleItems) {
    return std::unexpected(err::kEncoding);
  }
  const converter::DocHeader head =
      document_header(context, header, times->local, context.next_doc_number);
  const auto make = [&](std::vector<converter::SaleItem>&& doc_items) {
    return converter::TarvDocument{
        converter::SaleDoc{head, std::move(doc_items), sale.tp_tax_number, totals->sum, discount,
                           markup, *cheque, split->cashless(), split->cash, split->other}};
  };
  auto end = write_and_count(
      records, sale.items, make, *request.context,
      {header.currency, static_cast<int64_t>(split->cash), static_cast<int64_t>(*cheque)},
      *request.attrs, std::move(delta));
  TARV_TRY(end);
  show_paid(sale.payments, wire::field_number(&msg::Sale::payments), *split);

  msg::SaleCalculations& calculations = sale.calculations.emplace();
  calculations.cheque = msg::SaleCalculationsSums{discount, markup, *cheque};
  calculations.items = msg::SaleCalculationsSums{totals->discounts, totals->markups, totals->sum};
  calculations.payments.update(header.currency) =
      msg::SalePaymentsCalculations{split->cash, split->card, split->other, split->cash_change};
  calculations.taxes = std::move(taxes);

  return CalcResult<ReceiptResponse<msg::Sale>>(std::in_place, std::move(end->shift_attrs),
                                                std::move(*request.attrs), std::move(sale),
                                                std::move(end->binary_doc), *cheque);
}

}  // namespace tarv::calc
