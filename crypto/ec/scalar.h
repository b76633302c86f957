// Integers modulo q, the order of the group of bign-curve256v1: the scalars
// of signatures. q = 2^256 - c with c below 2^126, so reduction folds the
// high part times c. Values are always kept in [0, q). Signature checking
// only adds two of them; signing (in the tests and the demo) multiplies.
#ifndef TARV_CRYPTO_EC_SCALAR_H_
#define TARV_CRYPTO_EC_SCALAR_H_

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "crypto/ec/limbs.h"

namespace tarv::crypto {

class Scalar {
 public:
  static constexpr Limbs kQ =
      limbs_from_u64({0x7e5abf99263d6607, 0xd95c8ed60dfb4dfc, ~uint64_t{0}, ~uint64_t{0}});

  constexpr Scalar() = default;
  // The value of at most 32 little-endian bytes when it is below q.
  static std::optional<Scalar> from_canonical(std::span<const uint8_t> bytes);
  // A little-endian integer of any length, reduced modulo q.
  static Scalar from_le_bytes(std::span<const uint8_t> bytes);
  static Scalar from_limbs(const Limbs& v);

  const Limbs& limbs() const { return v_; }
  std::array<uint8_t, 32> to_le_bytes() const { return limbs_to_le(v_); }
  bool is_zero() const { return limbs_is_zero(v_); }
  friend bool operator==(const Scalar&, const Scalar&) = default;

  friend Scalar operator+(const Scalar& a, const Scalar& b);
  friend Scalar operator-(const Scalar& a, const Scalar& b);
  friend Scalar operator*(const Scalar& a, const Scalar& b);
  Scalar operator-() const { return Scalar{} - *this; }
  // The inverse; zero has none and gives zero.
  Scalar inv() const;

 private:
  // Any value of N words reduced modulo q.
  template <size_t N>
  static Limbs reduce(Words<N> x);

  Limbs v_{};
};

}  // namespace tarv::crypto

#endif  // TARV_CRYPTO_EC_SCALAR_H_
