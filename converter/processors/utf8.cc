#include "converter/processors/utf8.h"

namespace tarv::converter::utf8 {

Step next(std::string_view s, size_t pos) {
  const auto b0 = static_cast<uint8_t>(s[pos]);
  if (b0 < 0x80) return {b0, 1, Status::kOk};
  unsigned tail = 0;
  char32_t cp = 0;
  uint8_t lo = 0x80;
  uint8_t hi = 0xBF;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    tail = 1;
    cp = b0 & 0x1Fu;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    tail = 2;
    cp = b0 & 0x0Fu;
    if (b0 == 0xE0) lo = 0xA0;  // no overlong forms
    if (b0 == 0xED) hi = 0x9F;  // no surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    tail = 3;
    cp = b0 & 0x07u;
    if (b0 == 0xF0) lo = 0x90;  // no overlong forms
    if (b0 == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
  } else {
    return {kReplacement, 1, Status::kInvalid};
  }
  for (unsigned i = 1; i <= tail; ++i) {
    if (pos + i >= s.size()) return {kReplacement, static_cast<uint8_t>(i), Status::kIncomplete};
    const auto b = static_cast<uint8_t>(s[pos + i]);
    if (b < lo || b > hi) return {kReplacement, static_cast<uint8_t>(i), Status::kInvalid};
    lo = 0x80;
    hi = 0xBF;
    cp = (cp << 6) | (b & 0x3Fu);
  }
  return {cp, static_cast<uint8_t>(tail + 1), Status::kOk};
}

void append(char32_t cp, std::string& out) {
  if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = kReplacement;
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::string lossy(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (size_t pos = 0; pos < bytes.size();) {
    const Step step = next(bytes, pos);
    if (step.status == Status::kOk) {
      out.append(bytes.substr(pos, step.length));
    } else {
      append(kReplacement, out);
    }
    pos += step.length;
  }
  return out;
}

}  // namespace tarv::converter::utf8
