// Encoding and decoding of the binary fiscal document (see docs.h).
//
// encode() writes a TarvDocument bit by bit, most significant bit first;
// decode() parses the bytes back. A decoded document equals the encoded one
// except that texts come back as written (converted to windows-1251, cut to
// their field, trailing 0x00 removed), code digits come back without leading
// zeros, a GTIN of at most 13 digits without marking codes comes back as a
// plain code of kind 1, and a tp_tax_number of 0 comes back absent.
#ifndef TARV_CONVERTER_DOCUMENT_H_
#define TARV_CONVERTER_DOCUMENT_H_

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <vector>

#include "converter/records.h"

namespace tarv::converter {

// A write or read failure.
//   kIncomplete: the input ended inside a field; `bits` is the field's width.
//   kParse: bytes that form no document (unknown kind, bad currency UTF-8...).
//   kInvalidParam: a value the format cannot hold (writer) or an impossible
//     date or time (reader).
//   kUnexpected: a non-digit character in a digit field (writer).
struct DocError {
  enum class Kind : uint8_t { kIncomplete, kParse, kInvalidParam, kUnexpected };
  Kind kind;
  std::string message;
  uint64_t bits = 0;
};

// The diagnostic form, e.g. InvalidParam("Invalid currency name") or
// Incomplete(NeedSize { bits: 8 }); the message is quoted with backslash
// escapes.
std::string render(const DocError& error);

std::expected<std::vector<uint8_t>, DocError> encode(const TarvDocument& doc);

// Never reads past `bytes`, whatever they hold.
std::expected<TarvDocument, DocError> decode(std::span<const uint8_t> bytes);

}  // namespace tarv::converter

#endif  // TARV_CONVERTER_DOCUMENT_H_
