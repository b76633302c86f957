// The field writers and readers of the primitive encodings: unsigned
// integers, nibbles, amounts, date-times, currencies, text(N), raw(N) and
// digits(D).
//
// The writers refuse a value that does not fit its field (InvalidParam naming
// the field) instead of keeping its low bits: a fiscal document must not carry
// a figure other than the one it was given.
#ifndef TARV_CONVERTER_FIELDS_H_
#define TARV_CONVERTER_FIELDS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "converter/bit_buffer.h"
#include "converter/records.h"

namespace tarv::converter {

// Names a field in refusal messages: "total", or "items[3].cost" inside a list.
struct FieldName {
  std::string_view name;
  std::string_view list = {};
  size_t index = 0;

  FieldName with(std::string_view other) const { return {other, list, index}; }
  std::string str() const;
};

// "<what> out of range: <field>", an InvalidParam.
std::unexpected<DocError> out_of_range(std::string_view what, const FieldName& field);

// The low `width` bits (8, 16, 24, 32, or 4 for a nibble); refuses a value
// of `width` or more bits.
Status put_uint(BitWriter& w, uint64_t value, unsigned width, const FieldName& field);
Status put_nibble(BitWriter& w, uint64_t value, const FieldName& field);
// Sign flag (1 only when sign-marked and non-zero), whole units in 39 bits,
// hundredths in 8; refuses a value above layout::kMaxAmount.
Status put_amount(BitWriter& w, uint64_t value, bool sign_marked, const FieldName& field);
// Six bytes: month, day, year - 2000, hour, minute, second. Refuses a year
// outside 2000-2255, a date that does not exist and a second of the day above
// 86399, none of which a reader would give back.
Status put_date_time(BitWriter& w, const DateTime& at, const FieldName& field);
// Exactly three bytes, else InvalidParam "Invalid currency name".
Status put_currency(BitWriter& w, std::string_view currency);
// windows-1251, cut or 0x00-padded to n bytes.
void put_text(BitWriter& w, std::string_view text, size_t n);
// The UTF-8 bytes, cut or 0x00-padded to n bytes.
void put_raw(BitWriter& w, std::string_view text, size_t n);
// d nibbles, right-aligned behind zero nibbles. Refuses a text of more than d
// bytes; a character other than '0'-'9' fails with Unexpected
// "code_write: code contains non-digit character: <c>".
Status put_digits(BitWriter& w, std::string_view digits, size_t d, const FieldName& field);
void pad_zero(BitWriter& w, size_t bits);

template <class T>
Status get_uint(BitReader& r, unsigned width, T& out) {
  const auto v = r.get_bits(width);
  TARV_TRY(v);
  out = static_cast<T>(*v);
  return {};
}
// Drops the sign flag; the hundredths are not checked to be below 100.
Status get_amount(BitReader& r, uint64_t& out);
// InvalidParam "Invalid date" for a date that does not exist, then
// "Invalid time" for an hour above 23, a minute or second above 59.
Status get_date_time(BitReader& r, DateTime& out);
// Three bytes that must be valid UTF-8 (Parse otherwise).
Status get_currency(BitReader& r, std::string& out);
Status get_text(BitReader& r, size_t n, std::string& out);
Status get_text(BitReader& r, size_t n, Text& out);
Status get_raw(BitReader& r, size_t n, std::string& out);
Status get_raw(BitReader& r, size_t n, Text& out);
// d <= 16 nibbles combined into one decimal number, as its decimal text.
Status get_digits(BitReader& r, size_t d, std::string& out);

}  // namespace tarv::converter

#endif  // TARV_CONVERTER_FIELDS_H_
