// Elements of the prime field GF(p), p = 2^256 - 189, the field of
// bign-curve256v1. Four limbs, always fully reduced to [0, p).
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "crypto/math/limbs.h"

namespace tarv::crypto {

class PfElem {
 public:
  // 2^256 ≡ kFold (mod p): what reduction uses in place of a division.
  static constexpr mp_limb_t kFold = 189;
  static constexpr Limbs4 kP = {~mp_limb_t{0} - kFold + 1, ~mp_limb_t{0}, ~mp_limb_t{0},
                                ~mp_limb_t{0}};

  constexpr PfElem() = default;
  static PfElem from_u64(uint64_t v);
  // Any value below 2^256, reduced modulo p.
  static PfElem from_limbs(const Limbs4& v);
  // A little-endian integer of any length, reduced modulo p.
  static PfElem from_le_bytes(std::span<const uint8_t> bytes);

  std::array<uint8_t, 32> to_le_bytes() const { return limbs_to_le(v_); }
  const Limbs4& limbs() const { return v_; }
  bool is_zero() const { return (v_[0] | v_[1] | v_[2] | v_[3]) == 0; }
  friend bool operator==(const PfElem&, const PfElem&) = default;

  friend PfElem operator+(const PfElem& a, const PfElem& b);
  friend PfElem operator-(const PfElem& a, const PfElem& b);
  friend PfElem operator*(const PfElem& a, const PfElem& b);
  PfElem operator-() const { return PfElem{} - *this; }
  PfElem sqr() const;
  PfElem mul_small(uint32_t k) const;
  // The inverse; zero has none and gives zero.
  PfElem inv() const;

 private:
  // lo + hi·2^256 reduced, for hi small enough that hi·kFold fits a limb.
  static PfElem fold(const mp_limb_t* lo, mp_limb_t hi);
  // A product of eight limbs reduced (the array is clobbered).
  static PfElem reduce_wide(mp_limb_t* t);

  Limbs4 v_{};
};

}  // namespace tarv::crypto
