// Elements of GF(p), p = 2^256 - 189, the field of bign-curve256v1.
//
// An element is held as any 256-bit value congruent to it, not only as the
// value in [0, p): 2^256 ≡ 189 (mod p), so a carry out of the top limb folds
// back in as +189 and no result needs a comparison with p. Only output and
// comparison reduce fully. The hot operations are inline: the point formulas
// are chains of them.
#ifndef TARV_CRYPTO_EC_FIELD_H_
#define TARV_CRYPTO_EC_FIELD_H_

#include <array>
#include <cstdint>
#include <span>

#include "crypto/ec/limbs.h"

namespace tarv::crypto {

class FieldElement {
 public:
  // 2^256 - p: what a carry past 2^256 is worth.
  static constexpr Word kFold = 189;
  static constexpr Limbs kP =
      limbs_from_u64({~uint64_t{0} - 188, ~uint64_t{0}, ~uint64_t{0}, ~uint64_t{0}});

  constexpr FieldElement() = default;
  // The element of any value below 2^256 (values from p up are taken mod p).
  static constexpr FieldElement from_limbs(const Limbs& v) { return FieldElement(v); }
  static constexpr FieldElement from_u64(const std::array<uint64_t, 4>& v) {
    return FieldElement(limbs_from_u64(v));
  }
  static constexpr FieldElement from_word(Word v) { return FieldElement(Limbs{v}); }
  // A little-endian integer of any length, reduced modulo p.
  static FieldElement from_le_bytes(std::span<const uint8_t> bytes);

  // The value in [0, p).
  Limbs canonical() const;
  std::array<uint8_t, 32> to_le_bytes() const { return limbs_to_le(canonical()); }
  // Zero is held either as 0 or as p.
  bool is_zero() const {
    Word zero = 0, p = 0;
    for (size_t i = 0; i < kLimbs; ++i) {
      zero |= v_[i];
      p |= v_[i] ^ kP[i];
    }
    return zero == 0 || p == 0;
  }
  friend bool operator==(const FieldElement& a, const FieldElement& b) {
    return a.canonical() == b.canonical();
  }

  friend FieldElement operator+(const FieldElement& a, const FieldElement& b) {
    FieldElement r;
    const Word carry = add_words(r.v_.data(), a.v_.data(), b.v_.data(), kLimbs);
    r.fold_sum(mask(carry) & kFold);
    return r;
  }

  friend FieldElement operator-(const FieldElement& a, const FieldElement& b) {
    FieldElement r;
    // With a borrow r = a - b + 2^256 ≡ a - b + 189: take 189 away.
    const Word borrow = sub_words(r.v_.data(), a.v_.data(), b.v_.data(), kLimbs);
    if (sub_word(r.v_.data(), kLimbs, mask(borrow) & kFold) != 0) {
      // r was below 189 and wrapped to r - 189 + 2^256 ≡ r - 189 + 189:
      // 189 more, and the low limb is far above it.
      r.v_[0] -= kFold;
    }
    return r;
  }

  FieldElement operator-() const { return FieldElement{} - *this; }

  friend FieldElement operator*(const FieldElement& a, const FieldElement& b) {
    return reduce_wide(mul_wide(a.v_, b.v_));
  }

  FieldElement sqr() const { return reduce_wide(sqr_wide(v_)); }

  // The product with a small factor (below 2^16).
  FieldElement mul_small(Word k) const {
    FieldElement r;
    // The word out of the top is below 2^16, so its fold fits a word.
    const Word hi = mul_add_word(r.v_.data(), v_.data(), kLimbs, k);
    r.fold_carry(hi);
    return r;
  }

  // The product with 2^k, 1 ≤ k ≤ 8: a shift, the bits out of the top folded
  // back in. Cheaper than the k additions it replaces in the point formulas.
  FieldElement shl(unsigned k) const {
    FieldElement r;
    const Word top = v_[kLimbs - 1] >> (kWordBits - k);
#pragma GCC unroll 8
    for (size_t i = kLimbs - 1; i > 0; --i) {
      r.v_[i] = static_cast<Word>(v_[i] << k) | (v_[i - 1] >> (kWordBits - k));
    }
    r.v_[0] = static_cast<Word>(v_[0] << k);
    r.fold_carry(top);
    return r;
  }

  // The inverse; zero has none and gives zero.
  FieldElement inv() const;

 private:
  constexpr explicit FieldElement(const Limbs& v) : v_(v) {}

  // All ones for 1, zero for 0.
  static Word mask(Word bit) { return static_cast<Word>(0 - bit); }

  // Adds c·2^256 ≡ c·189, for c·189 below 2^w.
  void fold_carry(Word c) { fold_sum(c * kFold); }

  // Adds f (below 2^w); a carry past 2^256 comes back in as 189.
  void fold_sum(Word f) {
    if (add_word(v_.data(), kLimbs, f) != 0) {
      // The sum passed 2^256 and the value is now below f: 189 more fits.
      v_[0] += kFold;
    }
  }

  // lo + hi·2^256 ≡ lo + 189·hi, for a product of two elements.
  static FieldElement reduce_wide(const Words<2 * kLimbs>& t) {
    FieldElement r;
    Word carry = 0;
#pragma GCC unroll 8
    for (size_t i = 0; i < kLimbs; ++i) {
      const DWord x = DWord{t[kLimbs + i]} * kFold + t[i] + carry;
      r.v_[i] = static_cast<Word>(x);
      carry = static_cast<Word>(x >> kWordBits);
    }
    // carry ≤ 189: hi·189 + lo < 190·2^256.
    r.fold_carry(carry);
    return r;
  }

  Limbs v_{};
};

}  // namespace tarv::crypto

#endif  // TARV_CRYPTO_EC_FIELD_H_
