#include "crypto/math/field/pfelem.h"

namespace tarv::crypto {
namespace {

constexpr mp_limb_t kOnes = ~mp_limb_t{0};

bool at_least_p(const Limbs4& v) {
  return v[3] == kOnes && v[2] == kOnes && v[1] == kOnes && v[0] >= PfElem::kP[0];
}

// Subtracts p from a value in [p, 2^256): the same as adding 2^256 - p = 189
// and dropping the carry; the value is then below 189.
void sub_p(Limbs4& v) { v = {v[0] + PfElem::kFold, 0, 0, 0}; }

}  // namespace

PfElem PfElem::fold(const mp_limb_t* lo, mp_limb_t hi) {
  PfElem r;
  if (mpn_add_1(r.v_.data(), lo, 4, hi * kFold) != 0) {
    // The sum wrapped past 2^256, so r is below hi·189 and takes 189 more without carry.
    r.v_[0] += kFold;
  }
  if (at_least_p(r.v_)) sub_p(r.v_);
  return r;
}

PfElem PfElem::reduce_wide(mp_limb_t* t) {
  // t = lo + hi·2^256 ≡ lo + 189·hi; the carry out of that is at most 189.
  const mp_limb_t carry = mpn_addmul_1(t, t + 4, 4, kFold);
  return fold(t, carry);
}

PfElem PfElem::from_u64(uint64_t v) {
  PfElem r;
  r.v_[0] = v;
  return r;
}

PfElem PfElem::from_limbs(const Limbs4& v) {
  PfElem r;
  r.v_ = v;
  if (at_least_p(r.v_)) sub_p(r.v_);
  return r;
}

PfElem PfElem::from_le_bytes(std::span<const uint8_t> bytes) {
  // Horner's rule over 32-byte chunks from the most significant one down,
  // with 2^256 ≡ 189.
  const size_t chunks = (bytes.size() + 31) / 32;
  PfElem acc;
  for (size_t i = chunks; i-- > 0;) {
    const PfElem chunk = from_limbs(limbs_from_le(bytes.subspan(32 * i)));
    acc = acc.mul_small(kFold) + chunk;
  }
  return acc;
}

PfElem operator+(const PfElem& a, const PfElem& b) {
  PfElem r;
  if (mpn_add_n(r.v_.data(), a.v_.data(), b.v_.data(), 4) != 0) {
    // a + b - 2^256 < 2^256 - 378, so adding 189 cannot carry.
    mpn_add_1(r.v_.data(), r.v_.data(), 4, PfElem::kFold);
  }
  if (at_least_p(r.v_)) sub_p(r.v_);
  return r;
}

PfElem operator-(const PfElem& a, const PfElem& b) {
  PfElem r;
  if (mpn_sub_n(r.v_.data(), a.v_.data(), b.v_.data(), 4) != 0) {
    // a - b + 2^256 ≥ 190, so taking 189 away cannot borrow past the top.
    mpn_sub_1(r.v_.data(), r.v_.data(), 4, PfElem::kFold);
  }
  return r;
}

PfElem operator*(const PfElem& a, const PfElem& b) {
  mp_limb_t t[8];
  mpn_mul_n(t, a.v_.data(), b.v_.data(), 4);
  return PfElem::reduce_wide(t);
}

PfElem PfElem::sqr() const {
  mp_limb_t t[8];
  mpn_sqr(t, v_.data(), 4);
  return reduce_wide(t);
}

PfElem PfElem::mul_small(uint32_t k) const {
  mp_limb_t t[4];
  // The carry is below 2^32, so carry·189 fits a limb.
  const mp_limb_t hi = mpn_mul_1(t, v_.data(), 4, k);
  return fold(t, hi);
}

PfElem PfElem::inv() const {
  // Fermat: a^(p-2), p - 2 = 2^256 - 191 = (2^248 - 1)·2^8 + 0x41.
  // x_n = a^(2^n - 1), built by x_(m+n) = x_m^(2^n)·x_n.
  auto pow2k = [](PfElem x, int k) {
    for (int i = 0; i < k; ++i) x = x.sqr();
    return x;
  };
  const PfElem& x1 = *this;
  const PfElem x2 = pow2k(x1, 1) * x1;
  const PfElem x4 = pow2k(x2, 2) * x2;
  const PfElem x8 = pow2k(x4, 4) * x4;
  const PfElem x16 = pow2k(x8, 8) * x8;
  const PfElem x32 = pow2k(x16, 16) * x16;
  const PfElem x64 = pow2k(x32, 32) * x32;
  const PfElem x128 = pow2k(x64, 64) * x64;
  const PfElem x192 = pow2k(x128, 64) * x64;
  const PfElem x224 = pow2k(x192, 32) * x32;
  const PfElem x240 = pow2k(x224, 16) * x16;
  const PfElem x248 = pow2k(x240, 8) * x8;
  // The low byte 0x41 = 0b01000001.
  PfElem r = pow2k(x248, 2) * x1;
  r = pow2k(r, 6) * x1;
  return r;
}

}  // namespace tarv::crypto
