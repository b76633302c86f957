#include "base/text/hex.h"

namespace tarv::text {
namespace {

constexpr char kDigits[] = "0123456789abcdef";

// 0-15, or -1 for a character that is no hex digit.
int nibble(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  const char lower = static_cast<char>(c | 0x20);
  return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

std::string to_hex(std::span<const uint8_t> bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const uint8_t b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 0xF];
  }
  return out;
}

std::string to_hex(std::string_view bytes) {
  return to_hex(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

std::optional<std::vector<uint8_t>> from_hex(std::string_view text) {
  std::vector<uint8_t> out;
  int high = -1;  // the first digit of a pair, once read
  for (const char c : text) {
    if (is_space(c)) continue;
    const int digit = nibble(c);
    if (digit < 0) return std::nullopt;
    if (high < 0) {
      high = digit;
    } else {
      out.push_back(static_cast<uint8_t>(high << 4 | digit));
      high = -1;
    }
  }
  if (high >= 0) return std::nullopt;
  return out;
}

}  // namespace tarv::text
