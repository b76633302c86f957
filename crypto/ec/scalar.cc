#include "crypto/ec/scalar.h"

#include <algorithm>

namespace tarv::crypto {
namespace {

// c = 2^256 - q ≡ 2^256 (mod q), 126 bits.
constexpr size_t kCLimbs = 128 / kWordBits;
constexpr Words<kCLimbs> kC = [] {
  Words<kCLimbs> c{};
  const Limbs minus_q = limbs_from_u64({0x81a54066d9c299f9, 0x26a37129f204b203, 0, 0});
  std::copy_n(minus_q.begin(), kCLimbs, c.begin());
  return c;
}();

}  // namespace

template <size_t N>
Limbs Scalar::reduce(Words<N> x) {
  if constexpr (N > kLimbs) {
    // x = lo + hi·2^256 ≡ lo + hi·c: each fold takes about 130 bits off, and
    // lo + hi·c always fits N words.
    constexpr size_t kHi = N - kLimbs;
    for (;;) {
      Words<kHi> hi;
      std::copy_n(x.begin() + kLimbs, kHi, hi.begin());
      if (limbs_is_zero(hi)) break;
      const Words<kHi + kCLimbs> prod = mul_wide(hi, kC);
      std::fill(x.begin() + kLimbs, x.end(), Word{0});
      const Word carry = add_words(x.data(), x.data(), prod.data(), prod.size());
      add_word(x.data() + prod.size(), N - prod.size(), carry);
    }
  }
  Limbs r;
  std::copy_n(x.begin(), kLimbs, r.begin());
  // q > 2^255, so one subtraction brings any 256-bit value below q.
  if (limbs_cmp(r, kQ) >= 0) sub_words(r.data(), r.data(), kQ.data(), kLimbs);
  return r;
}

std::optional<Scalar> Scalar::from_canonical(std::span<const uint8_t> bytes) {
  Scalar s;
  s.v_ = limbs_from_le(bytes.first(std::min<size_t>(bytes.size(), 32)));
  if (bytes.size() > 32 || limbs_cmp(s.v_, kQ) >= 0) return std::nullopt;
  return s;
}

Scalar Scalar::from_le_bytes(std::span<const uint8_t> bytes) {
  // Horner's rule over 32-byte chunks from the most significant one down.
  Scalar acc;
  for (size_t i = (bytes.size() + 31) / 32; i-- > 0;) {
    Words<2 * kLimbs> x{};
    const Limbs chunk = limbs_from_le(bytes.subspan(32 * i));
    std::copy(chunk.begin(), chunk.end(), x.begin());
    std::copy(acc.v_.begin(), acc.v_.end(), x.begin() + kLimbs);
    acc.v_ = reduce(x);
  }
  return acc;
}

Scalar Scalar::from_limbs(const Limbs& v) {
  Scalar s;
  s.v_ = reduce(v);
  return s;
}

Scalar operator+(const Scalar& a, const Scalar& b) {
  Words<kLimbs + 1> sum;
  sum[kLimbs] = add_words(sum.data(), a.v_.data(), b.v_.data(), kLimbs);
  Scalar r;
  r.v_ = Scalar::reduce(sum);
  return r;
}

Scalar operator-(const Scalar& a, const Scalar& b) {
  Scalar r;
  if (sub_words(r.v_.data(), a.v_.data(), b.v_.data(), kLimbs) != 0) {
    add_words(r.v_.data(), r.v_.data(), Scalar::kQ.data(), kLimbs);
  }
  return r;
}

Scalar operator*(const Scalar& a, const Scalar& b) {
  Scalar r;
  r.v_ = Scalar::reduce(mul_wide(a.v_, b.v_));
  return r;
}

Scalar Scalar::inv() const {
  // Fermat: a^(q-2), bit by bit from the top.
  Limbs e = kQ;
  sub_word(e.data(), kLimbs, 2);
  Scalar r = from_limbs(Limbs{1});
  for (size_t bit = 256; bit-- > 0;) {
    r = r * r;
    if (limbs_bits(e, bit, 1) != 0) r = r * *this;
  }
  return r;
}

}  // namespace tarv::crypto
