// Sample documents and byte helpers shared by the converter tests.
#ifndef TARV_TESTS_CONVERTER_SAMPLES_H_
#define TARV_TESTS_CONVERTER_SAMPLES_H_

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "converter/docs.h"
#include "converter/document.h"

namespace tarv::converter::samples {

// "0B 01 ff" -> bytes; spaces are ignored.
inline std::vector<uint8_t> hex(std::string_view text) {
  std::vector<uint8_t> out;
  auto nibble = [](char c) -> uint8_t {
    if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<uint8_t>(c - 'a' + 10);
    return static_cast<uint8_t>(c - 'A' + 10);
  };
  int pending = -1;
  for (const char c : text) {
    if (c == ' ') continue;
    if (pending < 0) {
      pending = nibble(c);
    } else {
      out.push_back(static_cast<uint8_t>(pending << 4 | nibble(c)));
      pending = -1;
    }
  }
  return out;
}

inline std::vector<uint8_t> slice(std::span<const uint8_t> bytes, size_t from, size_t n) {
  return {bytes.begin() + static_cast<std::ptrdiff_t>(from),
          bytes.begin() + static_cast<std::ptrdiff_t>(from + n)};
}

inline std::vector<uint8_t> concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// device 0x01020304, cashier Иванов, number 7, 2024-03-09 14:05:00, BYN.
inline DocHeader sample_header() {
  return DocHeader{0x01020304, "Иванов", 7, DateTime{2024, 3, 9, 14 * 3600 + 5 * 60}, "BYN"};
}
// The 37 bytes of sample_header().
inline std::vector<uint8_t> sample_header_bytes() {
  return hex("01020304 C8E2E0EDEEE2 0000000000000000000000000000 00000007 030918 0E0500 42594E");
}

inline SaleItem plain_sale_item() {
  return SaleItem{1, PlainCode{3, "12345"}, "Хлеб", 2000, 300, 10, 5};
}

inline Sale sample_sale(size_t items) {
  Sale s;
  s.header = sample_header();
  s.items.assign(items, plain_sale_item());
  s.tp_tax_number = 190000001;
  s.items_sum = 295 * items;
  s.total = s.items_sum;
  s.cash = s.total;
  return s;
}

inline Report sample_report() {
  Report r;
  r.tax_number = 191234567;
  r.device_id = 42;
  r.opened_at = DateTime{2024, 3, 9, 8 * 3600};
  r.close_at = DateTime{2024, 3, 9, 20 * 3600};
  r.shift_number = 12;
  r.docs_count = 0;
  r.records.emplace_back().currency = "BYN";
  return r;
}

// Names parameterised cases after their `name` member.
struct ByName {
  template <class Info>
  std::string operator()(const Info& info) const {
    return std::string(info.param.name);
  }
};

inline std::vector<uint8_t> encoded(const TarvDocument& doc) {
  auto bytes = encode(doc);
  return bytes ? *bytes : std::vector<uint8_t>{};
}

}  // namespace tarv::converter::samples

#endif  // TARV_TESTS_CONVERTER_SAMPLES_H_
