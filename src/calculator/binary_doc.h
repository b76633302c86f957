// Assembling the binary document a calculator returns: the common header
// from the request, the encoding with the error hosts know for it, and the
// end every receipt shares (the document, then its counting).
#ifndef TARV_SRC_CALCULATOR_BINARY_DOC_H_
#define TARV_SRC_CALCULATOR_BINARY_DOC_H_

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "base/try.h"
#include "converter/records.h"
#include "src/budget.h"
#include "src/counters/cash_position.h"
#include "src/counters/counters.h"
#include "src/errors.h"
#include "src/messages.h"

namespace tarv::calc {

// The common header of a binary document.
converter::DocHeader document_header(const msg::Context& context, const msg::Header& header,
                                     const converter::DateTime& local, uint32_t doc_number);

// Encodes a document; a writer failure is "tarv.core.receipt.encoding".
CalcResult<msg::Bytes> encode_document(const converter::TarvDocument& doc);

// The end of a receipt (sale, refund, rollback) in its fixed order: the
// binary document, then its counting (counters::count_receipt), which moves
// the request's `kind_counters` in place. The first failure is the call's.
struct ReceiptEnd {
  msg::Bytes binary_doc;
  msg::UpdatedMap<msg::GeneralAttributes> shift_attrs;
};
// The same end for a document written already (or its writer's failure).
CalcResult<ReceiptEnd> count_written(CalcResult<msg::Bytes> binary, msg::Context& context,
                                     const counters::CashDelta& cash,
                                     msg::DocumentAttributes& kind_counters,
                                     msg::DocumentAttributes&& delta);
CalcResult<ReceiptEnd> write_and_count(const converter::TarvDocument& document,
                                       msg::Context& context, const counters::CashDelta& cash,
                                       msg::DocumentAttributes& kind_counters,
                                       msg::DocumentAttributes&& delta);

// The same for a receipt of lines (sale, refund), whose document
// `make(records)` makes from its line records (lines::LineRecords). Where
// the lines are left in the request, nothing is held per line before the
// outcome is known: the writer's verdict is each line's, taken as the lines
// were walked, and the receipt's without its lines (its header and totals);
// then the counting, and only then are the records and the document made
// whole, for the response. A document's records (160 bytes a line) and bytes
// (80) would otherwise be held for an error of a few bytes from a line of 10.
template <class Records, class Make>
CalcResult<ReceiptEnd> write_and_count(Records& records, msg::Repeated<msg::Item>& items,
                                       Make&& make, msg::Context& context,
                                       const counters::CashDelta& cash,
                                       msg::DocumentAttributes& kind_counters,
                                       msg::DocumentAttributes&& delta) {
  if (records.held()) {
    return write_and_count(make(records.take(items)), context, cash, kind_counters,
                           std::move(delta));
  }
  if (!records.writable()) return std::unexpected(err::kEncoding);
  size_t head_bytes = 0;  // the document without its lines
  {
    auto head = encode_document(make({}));
    TARV_TRY(head);
    head_bytes = head->size();
  }
  auto shift_attrs = counters::count_receipt(context, cash, kind_counters, std::move(delta));
  TARV_TRY(shift_attrs);
  // The call passes: its response will hold the lines as it shows them and
  // the document, at least its head and each line's fixed run.
  budget::respond(head_bytes + records.left_response_bytes() +
                  items.size() * Records::kDocumentLineBytes);
  auto binary = encode_document(make(records.take(items)));
  TARV_TRY(binary);
  return ReceiptEnd{std::move(*binary), std::move(*shift_attrs)};
}

}  // namespace tarv::calc

#endif  // TARV_SRC_CALCULATOR_BINARY_DOC_H_
