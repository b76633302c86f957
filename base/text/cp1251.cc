#include "base/text/cp1251.h"

#include <algorithm>

#include "base/text/cp1251_table.h"
#include "base/text/utf8.h"

namespace tarv::text {

namespace {

// Writes into a bounded span; extra bytes are dropped.
struct SpanSink {
  std::span<char> out;
  size_t size = 0;
  bool full() const { return size == out.size(); }
  void push(char c) {
    if (size < out.size()) out[size++] = c;
  }
};

struct StringSink {
  std::string& out;
  static bool full() { return false; }
  void push(char c) { out.push_back(c); }
};

template <class Sink>
void encode_into(std::string_view utf8, Sink& sink) {
  for (size_t pos = 0; pos < utf8.size() && !sink.full();) {
    const auto b = static_cast<uint8_t>(utf8[pos]);
    if (b < 0x80) {
      sink.push(static_cast<char>(b));
      ++pos;
      continue;
    }
    // А..я, the common case: D0 90..D0 BF and D1 80..D1 8F.
    if (pos + 1 < utf8.size() && (b == 0xD0 || b == 0xD1)) {
      const auto b1 = static_cast<uint8_t>(utf8[pos + 1]);
      const char32_t cp = char32_t{b & 0x1Fu} << 6 | (b1 & 0x3Fu);
      if ((b1 & 0xC0) == 0x80 && cp >= 0x0410 && cp <= 0x044F) {
        sink.push(static_cast<char>(0xC0 + (cp - 0x0410)));
        pos += 2;
        continue;
      }
    }
    const utf8::Step step = utf8::next(utf8, pos);
    pos += step.length;
    if (const auto byte = cp1251_byte(step.code_point)) {
      sink.push(static_cast<char>(*byte));
      continue;
    }
    sink.push('&');
    sink.push('#');
    char digits[10];
    size_t n = 0;
    for (char32_t v = step.code_point; n == 0 || v != 0; v /= 10) {
      digits[n++] = static_cast<char>('0' + v % 10);
    }
    while (n > 0) sink.push(digits[--n]);
    sink.push(';');
  }
}

std::string_view without_trailing_nuls(std::string_view s) {
  const size_t end = s.find_last_not_of('\0');
  return s.substr(0, end == std::string_view::npos ? 0 : end + 1);
}

void strip_trailing_nuls(std::string& s) { s.resize(without_trailing_nuls(s).size()); }

}  // namespace

std::optional<uint8_t> cp1251_byte(char32_t cp) {
  if (cp < 0x80) return static_cast<uint8_t>(cp);
  if (cp >= 0x0410 && cp <= 0x044F) return static_cast<uint8_t>(0xC0 + (cp - 0x0410));
  const auto& table = cp1251_table::kEncode;
  const auto it = std::lower_bound(
      table.begin(), table.end(), cp,
      [](const cp1251_table::Cp1251Pair& p, char32_t v) { return p.code_point < v; });
  if (it != table.end() && it->code_point == cp) return it->byte;
  return std::nullopt;
}

std::string to_cp1251(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  StringSink sink{out};
  encode_into(utf8, sink);
  return out;
}

size_t to_cp1251(std::string_view utf8, std::span<char> out) {
  // ASCII and А..я, nearly every character of a receipt, go straight out;
  // the rest of the text, from the first other character, through the sink.
  const auto* in = reinterpret_cast<const uint8_t*>(utf8.data());
  const size_t n = utf8.size();
  size_t pos = 0;
  size_t size = 0;
  while (pos < n && size < out.size()) {
    const uint8_t b = in[pos];
    if (b < 0x80) {
      out[size++] = static_cast<char>(b);
      ++pos;
      continue;
    }
    if ((b == 0xD0 || b == 0xD1) && pos + 1 < n) {
      const char32_t cp = char32_t{b & 0x1Fu} << 6 | (in[pos + 1] & 0x3Fu);
      if ((in[pos + 1] & 0xC0) == 0x80 && cp >= 0x0410 && cp <= 0x044F) {
        out[size++] = static_cast<char>(0xC0 + (cp - 0x0410));
        pos += 2;
        continue;
      }
    }
    break;
  }
  if (pos == n || size == out.size()) return size;
  SpanSink sink{out.subspan(size)};
  encode_into(utf8.substr(pos), sink);
  return size + sink.size;
}

std::string from_cp1251(std::string_view bytes) {
  std::string out(bytes.size() * 3, '\0');  // at most three UTF-8 bytes a byte
  char* end = out.data();
  for (const char c : bytes) {
    const auto b = static_cast<uint8_t>(c);
    end = b < 0x80 ? (*end = c, end + 1) : utf8::encode(cp1251_table::kDecode[b - 0x80], end);
  }
  out.resize(static_cast<size_t>(end - out.data()));
  return out;
}

std::string utf16_lossy(std::string_view bytes, bool big_endian) {
  std::string out;
  out.reserve(bytes.size() * 3 / 2);
  auto unit_at = [&](size_t i) -> char32_t {
    const auto a = static_cast<uint8_t>(bytes[i]);
    const auto b = static_cast<uint8_t>(bytes[i + 1]);
    return big_endian ? char32_t{a} << 8 | b : char32_t{b} << 8 | a;
  };
  const size_t units = bytes.size() / 2;
  for (size_t u = 0; u < units; ++u) {
    const char32_t unit = unit_at(2 * u);
    if (unit < 0xD800 || unit > 0xDFFF) {
      utf8::append(unit, out);
    } else if (unit <= 0xDBFF && u + 1 < units) {
      const char32_t trail = unit_at(2 * (u + 1));
      if (trail >= 0xDC00 && trail <= 0xDFFF) {
        utf8::append(0x10000 + ((unit - 0xD800) << 10) + (trail - 0xDC00), out);
        ++u;
      } else {
        utf8::append(utf8::kReplacement, out);  // the next unit is read on its own
      }
    } else {
      utf8::append(utf8::kReplacement, out);
    }
  }
  if (bytes.size() % 2 != 0) utf8::append(utf8::kReplacement, out);
  return out;
}

// Trailing 0x00 bytes are trailing U+0000 characters in windows-1251 and in
// UTF-8 (no multi-byte sequence contains 0x00), so they can go before
// decoding; in UTF-16 a 0x00 byte may be half of another unit.
std::string decode_text_field(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) return utf8::lossy(without_trailing_nuls(bytes.substr(3)));
  if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
    std::string out = utf16_lossy(bytes.substr(2), /*big_endian=*/bytes[0] == '\xFE');
    strip_trailing_nuls(out);
    return out;
  }
  return from_cp1251(without_trailing_nuls(bytes));
}

std::string decode_raw_field(std::string_view bytes) {
  return utf8::lossy(without_trailing_nuls(bytes));
}

}  // namespace tarv::text
