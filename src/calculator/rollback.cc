// The rollback: annuls a signed sale of the open shift. Every amount comes
// from the sale document as the host hands it back; the signature over those
// bytes is checked before anything is counted.
#include <string>
#include <utility>
#include <variant>

#include "converter/document.h"
#include "crypto/bign/verify.h"
#include "src/attrs/counters.h"
#include "src/calculator/calculators.h"
#include "src/calculator/cash_ops.h"
#include "src/calculator/mod.h"
#include "src/frame.h"
#include "src/limits.h"

namespace tarv::calc {
namespace {

// The marking codes a sale line carries.
converter::RollbackLine rollback_line(const converter::SaleItem& item) {
  converter::RollbackLine line;
  line.name = item.name;
  if (const auto* gtin = std::get_if<converter::GtinCode>(&item.code)) {
    line.si_code = gtin->si_code;
    line.ukz_code = gtin->ukz_code;
  } else if (const auto* marked = std::get_if<converter::MarkedCode>(&item.code)) {
    line.si_code = marked->si_code;
    line.ukz_code = marked->ukz_code;
  }
  return line;
}

attrs::Marking marking_of(const converter::RollbackLine& line) {
  return line.si_code    ? attrs::Marking::kSi
         : line.ukz_code ? attrs::Marking::kUkz
                         : attrs::Marking::kNone;
}

// cost + markup − discount of a target line; a target whose lines break this
// arithmetic did not come from the writer.
Result<uint64_t> line_total(const converter::SaleItem& item) {
  uint64_t with_markup;
  if (__builtin_add_overflow(item.cost, item.markup, &with_markup) || with_markup < item.discount ||
      with_markup - item.discount > limits::kMaxSum) {
    return std::unexpected(err::kRollbackInvalidTarget);
  }
  return with_markup - item.discount;
}

}  // namespace

Result<ReceiptResponse<msg::Rollback>> rollback(msg::RollbackRequest&& request) {
  const msg::Context& context = *request.context;
  msg::Rollback& doc = *request.doc;
  auto times = validate_header_and_shift(context, doc.header,
                                         {.check_cashier = false, .check_currency = false});
  if (!times) return std::unexpected(times.error());
  const msg::Header& header = *doc.header;

  auto parsed = converter::decode(doc.target);
  if (!parsed) {
    frame::diagnostic(
        "Rollback target deserialization error: " + converter::render(parsed.error()) + "\n");
    return std::unexpected(err::kRollbackInvalidTarget);
  }
  auto* target = std::get_if<converter::Sale>(&*parsed);
  if (target == nullptr) return std::unexpected(err::kRollbackInvalidTarget);
  if (!crypto::bign_verify(doc.target, doc.signature, doc.pub_key)) {
    return std::unexpected(err::kRollbackTargetSign);
  }
  const std::string& currency = target->header.currency;
  if (currency != header.currency) return std::unexpected(err::kRollbackInvalidTarget);
  if (target->other > target->cashless) return std::unexpected(err::kRollbackInvalidTarget);

  msg::DocumentAttributes delta;
  converter::Rollback document;
  document.lines.reserve(target->items.size());
  for (const converter::SaleItem& item : target->items) {
    auto total = line_total(item);
    if (!total) return std::unexpected(total.error());
    converter::RollbackLine line = rollback_line(item);
    attrs::count_item_marking(delta, marking_of(line), *total, limits::kMarkedQuantity);
    attrs::count_item_section(delta,
                              item.section ? std::optional<uint32_t>(item.section) : std::nullopt,
                              *total, item.quantity);
    document.lines.push_back(std::move(line));
  }
  attrs::count_third_party(delta, target->tp_tax_number, target->total);
  auto cell = [](uint64_t sum) {
    return msg::DocumentAttributeValue{static_cast<int64_t>(sum), 1, 0};
  };
  msg::PaymentsAttributes payments;
  payments.cash = cell(target->cash);
  payments.card.emplace().values = cell(target->cashless - target->other);
  payments.other.emplace().values = cell(target->other);
  if (auto r = attrs::count_payments(delta, currency, std::move(payments)); !r) {
    return std::unexpected(r.error());
  }
  delta.count = 1;
  delta.sum = target->total;

  document.header = document_header(context, header, times->local, header.number);
  document.header.currency = currency;
  document.target_number = target->header.doc_number;
  document.amount = target->total;
  auto binary = encode_document(std::move(document));
  if (!binary) return std::unexpected(binary.error());
  auto shift_attrs = attrs::merge_general(take_shift_attrs(*request.context),
                                          {currency, -static_cast<int64_t>(target->cash), 0});
  if (!shift_attrs) return std::unexpected(shift_attrs.error());
  auto counters = attrs::merge_document_attributes(std::move(*request.attrs), std::move(delta));
  if (!counters) return std::unexpected(counters.error());

  doc.sum = target->total;
  doc.target_number = target->header.doc_number;
  return Result<ReceiptResponse<msg::Rollback>>(std::in_place, std::move(*shift_attrs),
                                                std::move(*counters), std::move(doc),
                                                std::move(*binary), target->total);
}

}  // namespace tarv::calc
