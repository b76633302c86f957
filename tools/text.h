// Building text without <format> (not in the standard library of g++ 12).
#ifndef TARV_TOOLS_TEXT_H_
#define TARV_TOOLS_TEXT_H_

#include <array>
#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarv::tool {

inline std::string to_text(std::string_view s) { return std::string(s); }
inline std::string to_text(const char* s) { return s; }
inline std::string to_text(const std::string& s) { return s; }
inline std::string to_text(char c) { return std::string(1, c); }
template <std::integral T>
requires(!std::same_as<T, char> && !std::same_as<T, bool>) std::string to_text(T v) {
  return std::to_string(v);
}

// `pattern` with each "{}" replaced by the next argument (a string, a
// character or an integer, integers in decimal).
template <class... Args>
std::string fmt(std::string_view pattern, const Args&... args) {
  const std::array<std::string, sizeof...(Args)> texts = {to_text(args)...};
  std::string out;
  size_t next = 0;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '{' && i + 1 < pattern.size() && pattern[i + 1] == '}' &&
        next < texts.size()) {
      out += texts[next++];
      ++i;
    } else {
      out += pattern[i];
    }
  }
  return out;
}

// `value` in decimal, with leading zeros up to `width` digits.
inline std::string zero_padded(uint64_t value, size_t width) {
  std::string s = std::to_string(value);
  return s.size() < width ? std::string(width - s.size(), '0') + s : s;
}

// `value` in lower-case hexadecimal, with leading zeros up to `width` digits.
inline std::string hex_padded(uint64_t value, size_t width) {
  std::string s;
  do {
    s.insert(s.begin(), "0123456789abcdef"[value % 16]);
    value /= 16;
  } while (value != 0);
  return s.size() < width ? std::string(width - s.size(), '0') + s : s;
}

}  // namespace tarv::tool

#endif  // TARV_TOOLS_TEXT_H_
