// UTF-8 stepping shared by the text codecs, the currency check and the
// rendering of failures.
//
// Malformed input is split into maximal subparts (the Unicode and WHATWG
// practice): a lead byte followed by as many continuation bytes as are valid
// for it counts as one malformed sequence.
#ifndef TARV_CONVERTER_PROCESSORS_UTF8_H_
#define TARV_CONVERTER_PROCESSORS_UTF8_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarv::converter::utf8 {

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
Step next(std::string_view s, size_t pos);

// Appends the UTF-8 form of a code point (a surrogate or a value above
// U+10FFFF becomes U+FFFD).
void append(char32_t code_point, std::string& out);

// The bytes as UTF-8, each malformed sequence replaced by U+FFFD.
std::string lossy(std::string_view bytes);

}  // namespace tarv::converter::utf8

#endif  // TARV_CONVERTER_PROCESSORS_UTF8_H_
