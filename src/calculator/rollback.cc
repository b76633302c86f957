// The rollback: annuls a signed sale of the open shift. Every amount comes
// from the sale document as the host hands it back; the signature over those
// bytes is checked before anything is counted.
#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "base/try.h"
#include "converter/document.h"
#include "converter/layout.h"
#include "crypto/bign/verify.h"
#include "src/calculator/binary_doc.h"
#include "src/calculator/calculators.h"
#include "src/checks/shift_checks.h"
#include "src/counters/cash_position.h"
#include "src/counters/counters.h"
#include "src/diagnostic.h"
#include "src/limits.h"

namespace tarv::calc {
namespace {

// The marking codes a sale line carries.
converter::RollbackLine rollback_line(const converter::SaleItem& item) {
  converter::RollbackLine line;
  line.name = converter::Text::view_of(item.name);  // the decoded sale outlives the writing
  if (const auto* gtin = std::get_if<converter::GtinCode>(&item.code)) {
    line.si_code = gtin->si_code;
    line.ukz_code = gtin->ukz_code;
  } else if (const auto* marked = std::get_if<converter::MarkedCode>(&item.code)) {
    line.si_code = marked->si_code;
    line.ukz_code = marked->ukz_code;
  }
  return line;
}

counters::Marking marking_of(const converter::RollbackLine& line) {
  return line.si_code    ? counters::Marking::kSi
         : line.ukz_code ? counters::Marking::kUkz
                         : counters::Marking::kNone;
}

// cost + markup − discount of a target line; a target whose lines break this
// arithmetic did not come from the writer.
CalcResult<uint64_t> line_total(const converter::SaleItem& item) {
  uint64_t with_markup;
  if (__builtin_add_overflow(item.cost, item.markup, &with_markup) || with_markup < item.discount ||
      with_markup - item.discount > limits::kMaxSum) {
    return std::unexpected(err::kRollbackInvalidTarget);
  }
  return with_markup - item.discount;
}

// A target that is no sale: refused, with the reader's diagnostic where the
// reader stops.
CalcError unreadable(const converter::DocError& error) {
  diagnostic("Rollback target deserialization error: " + converter::render(error) + "\n");
  return err::kRollbackInvalidTarget;
}

}  // namespace

// The target is never held: its signature is checked over its bytes, then it
// is read once, each line counted and written into the rollback's document as
// it is read. A target that is not a sale is refused as such whatever its
// signature (it is read for that alone when the signature fails).
CalcResult<ReceiptResponse<msg::Rollback>> rollback(msg::RollbackRequest&& request) {
  const msg::Context& context = *request.context;
  msg::Rollback& doc = *request.doc;
  auto times = checks::validate_header_and_shift(context, doc.header,
                                                 {.check_cashier = false, .check_currency = false});
  TARV_TRY(times);
  const msg::Header& header = *doc.header;

  auto kind = converter::kind_of(doc.target);
  if (!kind) return std::unexpected(unreadable(kind.error()));
  if (*kind != converter::DocKind::kSale) return std::unexpected(err::kRollbackInvalidTarget);
  if (!crypto::bign_verify(doc.target, doc.signature, doc.pub_key)) {
    auto read = converter::decode_sale(doc.target, [](const auto&, const auto&) {});
    if (!read) return std::unexpected(unreadable(read.error()));
    return std::unexpected(err::kRollbackTargetSign);
  }

  msg::DocumentAttributes delta;
  counters::CellsByNumber sections(delta.sections);
  // The rollback's document, in the currency of the header, which the
  // target's must be.
  const converter::DocHeader document_head =
      document_header(context, header, times->local, header.number);
  // The lines of a sale of these bytes, at most (for the document's buffer).
  const size_t most_lines = doc.target.size() / (converter::layout::kSaleItemBits / 8);
  std::optional<converter::RollbackWriter> writer;
  CalcResult<void> lines;
  auto target = converter::decode_sale(
      doc.target, [&](const converter::SaleDoc& sale, const converter::SaleItem& item) {
        if (!writer) writer.emplace(document_head, sale.header.doc_number, most_lines);
        if (!lines) return;
        auto total = line_total(item);
        if (!total) {
          lines = std::unexpected(total.error());
          return;
        }
        const converter::RollbackLine line = rollback_line(item);
        counters::count_item_marking(delta, marking_of(line), *total, limits::kMarkedQuantity);
        counters::count_item_section(
            sections, item.section ? std::optional<uint32_t>(item.section) : std::nullopt, *total,
            item.quantity);
        writer->add(line);
      });
  if (!target) return std::unexpected(unreadable(target.error()));
  const std::string& currency = target->header.currency;
  if (currency != header.currency) return std::unexpected(err::kRollbackInvalidTarget);
  if (target->other > target->cashless) return std::unexpected(err::kRollbackInvalidTarget);
  TARV_TRY(lines);
  if (!writer) writer.emplace(document_head, target->header.doc_number, 0);
  counters::count_third_party(delta, target->tp_tax_number, target->total);
  auto cell = [](uint64_t sum) {
    return msg::DocumentAttributeValue{static_cast<int64_t>(sum), 1, 0};
  };
  msg::PaymentsAttributes payments;
  payments.cash = cell(target->cash);
  payments.card.emplace().values = cell(target->cashless - target->other);
  payments.other.emplace().values = cell(target->other);
  TARV_TRY(counters::count_payments(delta, currency, std::move(payments)));
  delta.count = 1;
  delta.sum = target->total;

  auto written = std::move(*writer).finish(target->total);
  auto end = count_written(
      written ? CalcResult<msg::Bytes>(std::move(*written)) : std::unexpected(err::kEncoding),
      *request.context, {currency, -static_cast<int64_t>(target->cash), 0}, *request.attrs,
      std::move(delta));
  TARV_TRY(end);

  doc.sum = target->total;
  doc.target_number = target->header.doc_number;
  return CalcResult<ReceiptResponse<msg::Rollback>>(std::in_place, std::move(end->shift_attrs),
                                                    std::move(*request.attrs), std::move(doc),
                                                    std::move(end->binary_doc), target->total);
}

}  // namespace tarv::calc
