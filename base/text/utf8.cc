#include "base/text/utf8.h"

#include <cstring>

namespace tarv::text::utf8 {

void append(char32_t cp, std::string& out) {
  char buf[4];
  out.append(buf, encode(cp, buf));
}

std::string lossy(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  size_t run = 0;  // start of the current run of well-formed bytes
  for (size_t pos = 0; pos < bytes.size();) {
    if (static_cast<uint8_t>(bytes[pos]) < 0x80) {
      ++pos;
      continue;
    }
    const Step step = next(bytes, pos);
    if (step.status != Status::kOk) {
      out.append(bytes.substr(run, pos - run));
      append(kReplacement, out);
      run = pos + step.length;
    }
    pos += step.length;
  }
  out.append(bytes.substr(run));
  return out;
}

bool is_valid(std::string_view bytes) {
  const size_t n = bytes.size();
  size_t pos = 0;
  while (pos < n) {
    const auto b0 = static_cast<uint8_t>(bytes[pos]);
    if (b0 < 0x80) {
      // An ASCII run, eight bytes at a time where it is long enough.
      ++pos;
      while (pos + 8 <= n) {
        uint64_t block;
        std::memcpy(&block, bytes.data() + pos, 8);
        if (block & 0x8080808080808080ull) break;
        pos += 8;
      }
      continue;
    }
    // Two-byte sequences (Cyrillic) are the common case.
    if (b0 >= 0xC2 && b0 <= 0xDF && pos + 1 < n &&
        (static_cast<uint8_t>(bytes[pos + 1]) & 0xC0) == 0x80) {
      pos += 2;
      continue;
    }
    const Step step = next(bytes, pos);
    if (step.status != Status::kOk) return false;
    pos += step.length;
  }
  return true;
}

size_t char_count(std::string_view text) {
  size_t n = 0;
  for (char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

size_t cut_length(std::string_view text, size_t max_chars) {
  if (text.size() <= max_chars) return text.size();  // no more characters than bytes
  size_t chars = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && chars++ == max_chars) return i;
  }
  return text.size();
}

void cut_chars(std::string& text, size_t max_chars) { text.resize(cut_length(text, max_chars)); }

void cut_chars(std::string_view& text, size_t max_chars) {
  text = text.substr(0, cut_length(text, max_chars));
}

}  // namespace tarv::text::utf8
