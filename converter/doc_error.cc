// The diagnostic rendering of write and read failures.
#include "converter/doc_error.h"

#include "base/text/utf8.h"

namespace tarv::converter {

namespace {

std::string_view error_kind_name(DocError::Kind kind) {
  switch (kind) {
    case DocError::Kind::kIncomplete:
      return "Incomplete";
    case DocError::Kind::kParse:
      return "Parse";
    case DocError::Kind::kInvalidParam:
      return "InvalidParam";
    case DocError::Kind::kUnexpected:
      return "Unexpected";
  }
  return "Unknown";
}

// The message in double quotes: \" \\ \0 \t \r \n, other control characters
// as \u{hex}.
void append_quoted(std::string_view message, std::string& out) {
  static constexpr char kHex[] = "0123456789abcdef";
  out.push_back('"');
  for (size_t pos = 0; pos < message.size();) {
    const text::utf8::Step step = text::utf8::next(message, pos);
    const char32_t cp = step.code_point;
    pos += step.length;
    switch (cp) {
      case '"':
        out.append("\\\"");
        continue;
      case '\\':
        out.append("\\\\");
        continue;
      case '\0':
        out.append("\\0");
        continue;
      case '\t':
        out.append("\\t");
        continue;
      case '\r':
        out.append("\\r");
        continue;
      case '\n':
        out.append("\\n");
        continue;
      default:
        break;
    }
    if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) {
      out.append("\\u{");
      if (cp >= 0x10) out.push_back(kHex[cp >> 4]);
      out.push_back(kHex[cp & 0xF]);
      out.push_back('}');
    } else {
      text::utf8::append(cp, out);
    }
  }
  out.push_back('"');
}

}  // namespace

std::string render(const DocError& error) {
  std::string out(error_kind_name(error.kind));
  if (error.kind == DocError::Kind::kIncomplete) {
    out.append("(NeedSize { bits: ").append(std::to_string(error.bits)).append(" })");
    return out;
  }
  out.push_back('(');
  append_quoted(error.message, out);
  out.push_back(')');
  return out;
}

}  // namespace tarv::converter
