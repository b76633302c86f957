// Assembling the binary document a calculator returns: the common header
// from the request, the encoding with the error hosts know for it, and the
// end every receipt shares (the document, then its counting).
#ifndef TARV_SRC_CALCULATOR_BINARY_DOC_H_
#define TARV_SRC_CALCULATOR_BINARY_DOC_H_

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "converter/records.h"
#include "src/counters/cash_position.h"
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
CalcResult<ReceiptEnd> write_and_count(const converter::TarvDocument& document,
                                       msg::Context& context, const counters::CashDelta& cash,
                                       msg::DocumentAttributes& kind_counters,
                                       msg::DocumentAttributes&& delta);

}  // namespace tarv::calc

#endif  // TARV_SRC_CALCULATOR_BINARY_DOC_H_
