#include "src/calculator/mod.h"

#include "converter/document.h"
#include "src/limits.h"

namespace tarv::calc {

size_t char_count(std::string_view text) {
  size_t n = 0;
  for (char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

void cut_chars(std::string& text, size_t max_chars) {
  if (text.size() <= max_chars) return;  // no more characters than bytes
  size_t chars = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && chars++ == max_chars) {
      text.resize(i);
      return;
    }
  }
}

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

Result<uint64_t> document_total(uint64_t items_sum, uint64_t markup, uint64_t discount) {
  uint64_t with_markup;
  if (__builtin_add_overflow(items_sum, markup, &with_markup) || with_markup < discount) {
    return std::unexpected(err::kItemsArithmetic);
  }
  const uint64_t total = with_markup - discount;
  if (total > limits::kMaxSum) return std::unexpected(err::kSumOverflow);
  return total;
}

msg::Map<msg::GeneralAttributes> take_shift_attrs(msg::Context& context) {
  return context.shift_ctx ? std::move(context.shift_ctx->attrs)
                           : msg::Map<msg::GeneralAttributes>{};
}

}  // namespace tarv::calc
