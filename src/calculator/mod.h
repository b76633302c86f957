// Small pieces the calculators share.
#ifndef TARV_SRC_CALCULATOR_MOD_H_
#define TARV_SRC_CALCULATOR_MOD_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "converter/processors/date_time.h"
#include "converter/records.h"
#include "src/errors.h"
#include "src/messages.h"

namespace tarv::calc {

// The number of Unicode characters of UTF-8 text (the decoder guarantees
// valid UTF-8).
size_t char_count(std::string_view text);

// Cuts UTF-8 text to its first `max_chars` characters, in place.
void cut_chars(std::string& text, size_t max_chars);

// The common header of a binary document.
converter::DocHeader document_header(const msg::Context& context, const msg::Header& header,
                                     const converter::DateTime& local, uint32_t doc_number);

// Encodes a document; a writer failure is "tarv.core.receipt.encoding".
Result<msg::Bytes> encode_document(const converter::TarvDocument& doc);

// A receipt document's lines take the item names while it is written, one
// line per item in order, rather than copies; this gives every item its name
// back for the response.
template <class Line>
void return_names(std::vector<Line>& lines, std::vector<msg::Item>& items) {
  for (size_t i = 0; i < lines.size(); ++i) items[i].name = std::move(lines[i].name);
}

// A document total: items sum + markup − discount, computed exactly. Below
// zero or past 64 bits is an items-arithmetic error; above the largest sum,
// a sum overflow.
Result<uint64_t> document_total(uint64_t items_sum, uint64_t markup, uint64_t discount);

// Moves the request's cash position out of its context (an empty one
// without a shift context); the calculators call it once, after their last
// look at the drawer.
msg::Map<msg::GeneralAttributes> take_shift_attrs(msg::Context& context);

}  // namespace tarv::calc

#endif  // TARV_SRC_CALCULATOR_MOD_H_
