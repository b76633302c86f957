#include "converter/code_block.h"

#include <optional>
#include <string>
#include <variant>

namespace tarv::converter {

namespace {

constexpr unsigned kSiBits = 0b0101;   // bit 0 (GTIN form) or bit 2 (marked form)
constexpr unsigned kUkzBits = 0b1010;  // bit 1 (GTIN form) or bit 3 (marked form)
constexpr unsigned kMarkedBits = 0b1100;
constexpr unsigned kGtinBits = 0b0011;
using layout::kLongDigits;
using layout::kShortDigits;
using layout::kSiCodeBytes;
using layout::kUkzCodeBytes;
constexpr unsigned kGtinKind = 1;

Status put_code(BitWriter& w, const PlainCode& c, const FieldName& field) {
  w.put_bits(0, 8);
  TARV_TRY(put_nibble(w, c.kind, field.with("code.kind")));
  return put_digits(w, c.digits, kShortDigits, field);
}

Status put_code(BitWriter& w, const GtinCode& c, const FieldName& field) {
  const bool long_form = c.digits.size() > kShortDigits;
  w.put_bits(long_form ? 1 : 0, 4);
  w.put_bits((c.si_code ? 1u : 0u) | (c.ukz_code ? 2u : 0u), 4);
  put_markings(w, c.si_code, c.ukz_code);
  if (long_form) return put_digits(w, c.digits, kLongDigits, field);
  w.put_bits(kGtinKind, 4);
  return put_digits(w, c.digits, kShortDigits, field);
}

Status put_code(BitWriter& w, const MarkedCode& c, const FieldName& field) {
  w.put_bits(1, 4);
  w.put_bits(c.ukz_code ? 12 : 4, 4);
  put_raw(w, c.si_code, kSiCodeBytes);  // a marked code always has one
  if (c.ukz_code) put_raw(w, *c.ukz_code, kUkzCodeBytes);
  return put_digits(w, c.digits, kLongDigits, field);
}

}  // namespace

void put_markings(BitWriter& w, const std::optional<Text>& si, const std::optional<Text>& ukz) {
  if (si) put_raw(w, *si, kSiCodeBytes);
  if (ukz) put_raw(w, *ukz, kUkzCodeBytes);
}

size_t marking_bytes(const CodeBlock& code) {
  struct Bytes {
    size_t operator()(const PlainCode&) const { return 0; }
    size_t operator()(const GtinCode& c) const {
      return marking_bytes(c.si_code.has_value(), c.ukz_code.has_value());
    }
    size_t operator()(const MarkedCode& c) const {
      return marking_bytes(true, c.ukz_code.has_value());
    }
  };
  return std::visit(Bytes{}, code);
}

Status put_item_code(BitWriter& w, const CodeBlock& code, const FieldName& field) {
  return std::visit([&](const auto& c) { return put_code(w, c, field); }, code);
}

Status get_item_code(BitReader& r, CodeBlock& out) {
  unsigned layout = 0;
  unsigned flags = 0;
  TARV_TRY(get_uint(r, 4, layout));
  TARV_TRY(get_uint(r, 4, flags));
  const bool long_form = layout % 2 == 1;
  if (long_form && (flags & kMarkedBits) != 0 && (flags & kSiBits) == 0) {
    return fail(DocError::Kind::kParse,
                "marked item code without si_code (flags = " + std::to_string(flags) + ")");
  }
  std::optional<std::string> si, ukz;
  if (flags & kSiBits) TARV_TRY(get_raw(r, kSiCodeBytes, si.emplace()));
  if (flags & kUkzBits) TARV_TRY(get_raw(r, kUkzCodeBytes, ukz.emplace()));
  std::string digits;
  if (long_form) {
    TARV_TRY(get_digits(r, kLongDigits, digits));
    if (flags & kMarkedBits) {
      out = MarkedCode{std::move(*si), std::move(ukz), std::move(digits)};
    } else {
      out = GtinCode{std::move(si), std::move(ukz), std::move(digits)};
    }
    return {};
  }
  uint8_t kind = 0;
  TARV_TRY(get_uint(r, 4, kind));
  TARV_TRY(get_digits(r, kShortDigits, digits));
  if (flags & kGtinBits) {
    out = GtinCode{std::move(si), std::move(ukz), std::move(digits)};
  } else {
    out = PlainCode{kind, std::move(digits)};
  }
  return {};
}

}  // namespace tarv::converter
