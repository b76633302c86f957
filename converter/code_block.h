// The item code block of sale and refund items: two flag nibbles, the
// optional marking codes, and the code digits in the 13- or 14-digit layout.
//
//   plain           0, 0,                        kind nibble, digits(13)
//   GTIN <= 13      0, si?1 + ukz?2, markings,   nibble 1,    digits(13)
//   GTIN 14         1, si?1 + ukz?2, markings,                digits(14)
//   marked          1, ukz ? 12 : 4, markings,                digits(14)
//
// A plain code of kind 1 and a GTIN of at most 13 digits without marking
// codes are written alike and read back as the plain code.
#ifndef TARV_CONVERTER_CODE_BLOCK_H_
#define TARV_CONVERTER_CODE_BLOCK_H_

#include <optional>
#include <string>

#include "converter/fields.h"
#include "converter/layout.h"
#include "converter/records.h"

namespace tarv::converter {

// The marking code fields, each written only when present: si_code in
// layout::kSiCodeBytes, then ukz_code in layout::kUkzCodeBytes (sale and refund code blocks,
// rollback lines).
void put_markings(BitWriter& w, const std::optional<Text>& si, const std::optional<Text>& ukz);
constexpr size_t marking_bytes(bool si, bool ukz) {
  return (si ? layout::kSiCodeBytes : 0) + (ukz ? layout::kUkzCodeBytes : 0);
}
// The bytes the marking codes of `code` add to its block.
size_t marking_bytes(const CodeBlock& code);

// `field` names the code ("items[2].code") in refusals.
Status put_item_code(BitWriter& w, const CodeBlock& code, const FieldName& field);

// An odd first nibble selects the 14-digit layout (marked when the flags have
// bit 2 or 3, else GTIN), an even one the kind nibble and 13 digits (GTIN when
// the flags have bit 0 or 1, else plain). A marked code whose flags announce
// no si_code fails with Parse.
Status get_item_code(BitReader& r, CodeBlock& out);

}  // namespace tarv::converter

#endif  // TARV_CONVERTER_CODE_BLOCK_H_
