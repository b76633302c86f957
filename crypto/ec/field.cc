#include "crypto/ec/field.h"

namespace tarv::crypto {

Limbs FieldElement::canonical() const {
  Word upper = kAllOnes;
  for (size_t i = 1; i < kLimbs; ++i) upper &= v_[i];
  if (upper != kAllOnes || v_[0] < kP[0]) return v_;
  // v in [p, 2^256): v - p = v + 189 - 2^256, below 189.
  return Limbs{static_cast<Word>(v_[0] + kFold)};
}

FieldElement FieldElement::from_le_bytes(std::span<const uint8_t> bytes) {
  // Horner's rule over 32-byte chunks from the most significant one down,
  // with 2^256 ≡ 189.
  const size_t chunks = (bytes.size() + 31) / 32;
  FieldElement acc;
  for (size_t i = chunks; i-- > 0;) {
    acc = acc.mul_small(kFold) + from_limbs(limbs_from_le(bytes.subspan(32 * i)));
  }
  return acc;
}

FieldElement FieldElement::inv() const {
  // Fermat: a^(p-2), p - 2 = 2^256 - 191 = (2^248 - 1)·2^8 + 0x41.
  // x_n = a^(2^n - 1), built by x_(m+n) = x_m^(2^n)·x_n.
  auto pow2k = [](FieldElement x, int k) {
    for (int i = 0; i < k; ++i) x = x.sqr();
    return x;
  };
  const FieldElement& x1 = *this;
  const FieldElement x2 = pow2k(x1, 1) * x1;
  const FieldElement x4 = pow2k(x2, 2) * x2;
  const FieldElement x8 = pow2k(x4, 4) * x4;
  const FieldElement x16 = pow2k(x8, 8) * x8;
  const FieldElement x32 = pow2k(x16, 16) * x16;
  const FieldElement x64 = pow2k(x32, 32) * x32;
  const FieldElement x128 = pow2k(x64, 64) * x64;
  const FieldElement x192 = pow2k(x128, 64) * x64;
  const FieldElement x224 = pow2k(x192, 32) * x32;
  const FieldElement x240 = pow2k(x224, 16) * x16;
  const FieldElement x248 = pow2k(x240, 8) * x8;
  // The low byte 0x41 = 0b01000001.
  FieldElement r = pow2k(x248, 2) * x1;
  return pow2k(r, 6) * x1;
}

}  // namespace tarv::crypto
