#include "src/calculator/binary_doc.h"

#include "base/try.h"
#include "converter/document.h"
#include "src/budget.h"
#include "src/counters/counters.h"

namespace tarv::calc {

converter::DocHeader document_header(const msg::Context& context, const msg::Header& header,
                                     const converter::DateTime& local, uint32_t doc_number) {
  return converter::DocHeader{context.device_id, header.cashier, doc_number, local,
                              header.currency};
}

CalcResult<msg::Bytes> encode_document(const converter::TarvDocument& doc) {
  auto bytes = converter::encode(doc);
  if (!bytes) return std::unexpected(err::kEncoding);
  return std::move(*bytes);
}

CalcResult<ReceiptEnd> write_and_count(const converter::TarvDocument& document,
                                       msg::Context& context, const counters::CashDelta& cash,
                                       msg::DocumentAttributes& kind_counters,
                                       msg::DocumentAttributes&& delta) {
  return count_written(encode_document(document), context, cash, kind_counters, std::move(delta));
}

CalcResult<ReceiptEnd> count_written(CalcResult<msg::Bytes> binary, msg::Context& context,
                                     const counters::CashDelta& cash,
                                     msg::DocumentAttributes& kind_counters,
                                     msg::DocumentAttributes&& delta) {
  TARV_TRY(binary);
  auto shift_attrs = counters::count_receipt(context, cash, kind_counters, std::move(delta));
  TARV_TRY(shift_attrs);
  budget::respond(binary->size());  // the call passes: the document is the response's
  return ReceiptEnd{std::move(*binary), std::move(*shift_attrs)};
}

}  // namespace tarv::calc
