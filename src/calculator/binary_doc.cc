#include "src/calculator/binary_doc.h"

#include "converter/document.h"

namespace tarv::calc {

converter::DocHeader document_header(const msg::Context& context, const msg::Header& header,
                                     const converter::DateTime& local, uint32_t doc_number) {
  return converter::DocHeader{context.device_id, header.cashier, doc_number, local,
                              header.currency};
}

Result<msg::Bytes> encode_document(const converter::TarvDocument& doc) {
  auto bytes = converter::encode(doc);
  if (!bytes) return std::unexpected(err::kEncoding);
  return std::move(*bytes);
}

}  // namespace tarv::calc
