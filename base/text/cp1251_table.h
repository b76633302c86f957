// The windows-1251 tables, generated from the WHATWG index by
// scripts/gen_cp1251.py into cp1251_table.cc.
#ifndef TARV_BASE_TEXT_CP1251_TABLE_H_
#define TARV_BASE_TEXT_CP1251_TABLE_H_

#include <array>
#include <cstdint>

namespace tarv::text::cp1251_table {

struct Cp1251Pair {
  char16_t code_point;
  uint8_t byte;
};

// The code point of each byte 0x80..0xFF (bytes below 0x80 are ASCII).
extern const std::array<char16_t, 128> kDecode;
// The same 128 pairs, sorted by code point.
extern const std::array<Cp1251Pair, 128> kEncode;

}  // namespace tarv::text::cp1251_table

#endif  // TARV_BASE_TEXT_CP1251_TABLE_H_
