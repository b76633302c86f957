// DocError: the failure of encoding or decoding a binary document, and its
// diagnostic form.
#ifndef TARV_CONVERTER_DOC_ERROR_H_
#define TARV_CONVERTER_DOC_ERROR_H_

#include <cstdint>
#include <string>

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

}  // namespace tarv::converter

#endif  // TARV_CONVERTER_DOC_ERROR_H_
