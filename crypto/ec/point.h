// Points of a short Weierstrass curve y² = x³ - 3x + b over GF(p),
// p = 2^256 - 189 (the form of bign-curve256v1), and the scalar
// multiplications signature checking needs. The group law with a = -3 does
// not involve b, so only the curve test takes it. No heap: tables are fixed
// arrays or spans over constant data.
//
// The folder builds up to this header: limbs.h (256-bit words and their
// primitives), field.h (GF(p)), scalar.h (integers modulo the group order).
#ifndef TARV_CRYPTO_EC_POINT_H_
#define TARV_CRYPTO_EC_POINT_H_

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "crypto/ec/field.h"
#include "crypto/ec/limbs.h"

namespace tarv::crypto {

struct AffinePoint {
  FieldElement x, y;
  AffinePoint operator-() const { return {x, -y}; }
  friend bool operator==(const AffinePoint&, const AffinePoint&) = default;
};

// Whether y² = x³ - 3x + b.
bool on_curve(const AffinePoint& p, const FieldElement& b);

// Jacobian coordinates: (X, Y, Z) is the point (X/Z², Y/Z³); Z = 0 is the
// point at infinity.
struct JacobianPoint {
  FieldElement x = FieldElement::from_word(1), y = FieldElement::from_word(1), z;

  static JacobianPoint infinity() { return {}; }
  static JacobianPoint from_affine(const AffinePoint& a) {
    return {a.x, a.y, FieldElement::from_word(1)};
  }
  bool is_infinity() const { return z.is_zero(); }

  JacobianPoint dbl() const;
  JacobianPoint operator+(const JacobianPoint& o) const;
  JacobianPoint operator+(const AffinePoint& o) const;
  JacobianPoint operator-() const { return {x, -y, z}; }
  // The affine point, or its x alone (one inversion either way); none for
  // the point at infinity.
  std::optional<AffinePoint> to_affine() const;
  std::optional<FieldElement> affine_x() const;
};

// Width-w non-adjacent form of k: digits, least significant first, each zero
// or odd with |d| < 2^(w-1), any two nonzero ones at least w places apart,
// and Σ digit[i]·2^i = k. size is one past the top nonzero digit.
struct Wnaf {
  static constexpr unsigned kMaxWidth = 8;
  std::array<int8_t, 258> digit{};
  size_t size = 0;
};
Wnaf wnaf(const Limbs& k, unsigned width);

// P, 3P, 5P, ..., (2^(W-1) - 1)·P: the table a width-W NAF reads.
template <unsigned W>
std::array<JacobianPoint, size_t{1} << (W - 2)> odd_multiples(const JacobianPoint& p) {
  static_assert(W >= 2 && W <= Wnaf::kMaxWidth);
  std::array<JacobianPoint, size_t{1} << (W - 2)> t;
  t[0] = p;
  const JacobianPoint p2 = p.dbl();
  for (size_t i = 1; i < t.size(); ++i) t[i] = t[i - 1] + p2;
  return t;
}

// One scalar of a multi-scalar product with the odd multiples of its point,
// held either affine (fixed points, precomputed) or Jacobian.
struct WnafTerm {
  Wnaf naf;
  std::span<const AffinePoint> affine;
  std::span<const JacobianPoint> jacobian;
};

// Σ k_i·P_i, the digits of all terms sharing one chain of doublings.
JacobianPoint interleaved_mul(std::span<const WnafTerm> terms);

// k·P.
JacobianPoint scalar_mul(const JacobianPoint& p, const Limbs& k);

}  // namespace tarv::crypto

#endif  // TARV_CRYPTO_EC_POINT_H_
