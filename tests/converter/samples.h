// Sample documents and byte helpers shared by the converter tests.
#ifndef TARV_TESTS_CONVERTER_SAMPLES_H_
#define TARV_TESTS_CONVERTER_SAMPLES_H_

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "converter/document.h"
#include "converter/records.h"
#include "tests/support/hex.h"

namespace tarv::converter::samples {

using Bytes = std::vector<uint8_t>;

// "0B 01ff" -> bytes; spaces are ignored.
inline Bytes hex(std::string_view text) { return ::tarv::testing::from_hex(text); }

inline Bytes slice(std::span<const uint8_t> bytes, size_t from, size_t n) {
  const auto first = bytes.begin() + static_cast<std::ptrdiff_t>(from);
  return {first, first + static_cast<std::ptrdiff_t>(n)};
}

inline Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// device 0x01020304, cashier Иванов, number 7, 2024-03-09 14:05:00, BYN.
inline DocHeader sample_header() {
  return DocHeader{0x01020304, "Иванов", 7, DateTime{2024, 3, 9, 14 * 3600 + 5 * 60}, "BYN"};
}

// Items with a plain code, named Хлеб.
inline SaleDoc sample_sale(size_t items) {
  SaleDoc s;
  s.header = sample_header();
  s.items.assign(items, SaleItem{1, PlainCode{3, "12345"}, "Хлеб", 2000, 300, 10, 5});
  s.tp_tax_number = 190000001;
  s.items_sum = s.total = s.cash = 295 * items;
  return s;
}

// One all-zero BYN record.
inline ReportDoc sample_report() {
  ReportDoc r;
  r.tax_number = 191234567;
  r.device_id = 42;
  r.opened_at = DateTime{2024, 3, 9, 8 * 3600};
  r.close_at = DateTime{2024, 3, 9, 20 * 3600};
  r.shift_number = 12;
  r.records.emplace_back().currency = "BYN";
  return r;
}

// The bytes of a document that must encode.
inline Bytes encoded(const TarvDocument& doc) { return encode(doc).value(); }

// Names parameterised cases after their `name` member.
struct ByName {
  template <class Info>
  std::string operator()(const Info& info) const {
    return std::string(info.param.name);
  }
};

}  // namespace tarv::converter::samples

#endif  // TARV_TESTS_CONVERTER_SAMPLES_H_
