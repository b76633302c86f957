// Fixed-size unsigned integers of four 64-bit GMP limbs, least significant
// limb first, and their conversion from and to little-endian bytes.
#pragma once

#include <gmp.h>

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace tarv::crypto {

static_assert(GMP_NUMB_BITS == 64 && GMP_NAIL_BITS == 0, "four limbs must hold 256 bits");

using Limbs4 = std::array<mp_limb_t, 4>;

// The integer of at most 32 little-endian bytes.
inline Limbs4 limbs_from_le(std::span<const uint8_t> bytes) {
  Limbs4 v{};
  for (size_t i = 0; i < bytes.size() && i < 32; ++i) {
    v[i / 8] |= static_cast<mp_limb_t>(bytes[i]) << (8 * (i % 8));
  }
  return v;
}

inline std::array<uint8_t, 32> limbs_to_le(const Limbs4& v) {
  std::array<uint8_t, 32> out;
  for (size_t i = 0; i < 32; ++i) out[i] = static_cast<uint8_t>(v[i / 8] >> (8 * (i % 8)));
  return out;
}

// The integer written as at most 64 big-endian hexadecimal digits.
constexpr Limbs4 limbs_from_hex(std::string_view hex) {
  Limbs4 v{};
  size_t bit = 0;
  for (size_t i = hex.size(); i-- > 0; bit += 4) {
    const char c = hex[i];
    const mp_limb_t d = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
    v[bit / 64] |= d << (bit % 64);
  }
  return v;
}

inline int limbs_cmp(const Limbs4& a, const Limbs4& b) { return mpn_cmp(a.data(), b.data(), 4); }

}  // namespace tarv::crypto
