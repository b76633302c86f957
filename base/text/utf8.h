// UTF-8: stepping through sequences (shared by the text codecs, the currency
// check and the rendering of failures), and counting and cutting text by
// characters (the length limits of the calculators and the tool).
//
// Malformed input is split into maximal subparts (the Unicode and WHATWG
// practice): a lead byte followed by as many continuation bytes as are valid
// for it counts as one malformed sequence.
#ifndef TARV_BASE_TEXT_UTF8_H_
#define TARV_BASE_TEXT_UTF8_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarv::text::utf8 {

inline constexpr char32_t kReplacement = 0xFFFD;

enum class Status : uint8_t {
  kOk,
  kInvalid,     // a byte that cannot start or continue the sequence
  kIncomplete,  // the input ends inside a sequence that was valid so far
};

struct Step {
  char32_t code_point;  // kReplacement unless kOk
  uint8_t length;       // bytes taken: the sequence, or its malformed part (1..3)
  Status status;
};

// Decodes the sequence that starts at s[pos]; pos < s.size().
inline Step next(std::string_view s, size_t pos) {
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

// Writes the UTF-8 form of a code point (at most 4 bytes) at `out` and
// returns the end; a surrogate or a value above U+10FFFF becomes U+FFFD.
inline char* encode(char32_t cp, char* out) {
  if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = kReplacement;
  if (cp < 0x80) {
    *out++ = static_cast<char>(cp);
  } else if (cp < 0x800) {
    *out++ = static_cast<char>(0xC0 | (cp >> 6));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (cp >> 12));
    *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (cp >> 18));
    *out++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  }
  return out;
}

// Appends the UTF-8 form of a code point (a surrogate or a value above
// U+10FFFF becomes U+FFFD).
void append(char32_t code_point, std::string& out);

// The bytes as UTF-8, each malformed sequence replaced by U+FFFD.
std::string lossy(std::string_view bytes);

// Whether the bytes are well-formed UTF-8: no overlong forms, no surrogates,
// nothing above U+10FFFF. ASCII runs are checked eight bytes at a time.
bool is_valid(std::string_view bytes);

// The number of Unicode characters of valid UTF-8 text: its bytes that are
// not continuation bytes.
size_t char_count(std::string_view text);

// Cuts valid UTF-8 text to its first `max_chars` characters, in place: the
// bytes they take (cut_length), the text or the view shortened to them.
size_t cut_length(std::string_view text, size_t max_chars);
void cut_chars(std::string& text, size_t max_chars);
void cut_chars(std::string_view& text, size_t max_chars);

}  // namespace tarv::text::utf8

#endif  // TARV_BASE_TEXT_UTF8_H_
