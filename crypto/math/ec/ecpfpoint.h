// Points of a short Weierstrass curve y² = x³ - 3x + b over GF(p),
// p = 2^256 - 189 (the form of bign-curve256v1), and scalar multiplication.
// The group law with a = -3 does not involve b, so only the curve test takes it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "crypto/math/field/pfelem.h"
#include "crypto/math/limbs.h"

namespace tarv::crypto {

struct EcAffine {
  PfElem x, y;
  EcAffine operator-() const { return {x, -y}; }
  friend bool operator==(const EcAffine&, const EcAffine&) = default;
};

// Whether y² = x³ - 3x + b.
bool on_curve(const EcAffine& p, const PfElem& b);

// Jacobian coordinates: (X, Y, Z) is the point (X/Z², Y/Z³); Z = 0 is the
// point at infinity.
struct EcPfPoint {
  PfElem x = PfElem::from_u64(1), y = PfElem::from_u64(1), z;

  static EcPfPoint infinity() { return {}; }
  static EcPfPoint from_affine(const EcAffine& a) { return {a.x, a.y, PfElem::from_u64(1)}; }
  bool is_infinity() const { return z.is_zero(); }

  EcPfPoint dbl() const;
  EcPfPoint operator+(const EcPfPoint& o) const;
  EcPfPoint operator+(const EcAffine& o) const;
  EcPfPoint operator-() const { return {x, -y, z}; }
  // The affine point; none for the point at infinity.
  std::optional<EcAffine> to_affine() const;
};

// Width-w non-adjacent form of k: digits, least significant first, each zero
// or odd with |d| < 2^(w-1), and Σ digit[i]·2^i = k.
struct Wnaf {
  static constexpr unsigned kMaxWidth = 8;
  std::array<int8_t, 258> digit{};
  size_t size = 0;
};
Wnaf wnaf(const Limbs4& k, unsigned width);

// P, 3P, 5P, ..., (2^(width-1) - 1)·P: the table a width-w NAF reads.
std::vector<EcPfPoint> odd_multiples(const EcPfPoint& p, unsigned width);

// One scalar of a multi-scalar product with the odd multiples of its point,
// held either affine (fixed points, precomputed) or Jacobian.
struct WnafTerm {
  Wnaf naf;
  std::span<const EcAffine> affine;
  std::span<const EcPfPoint> jacobian;
};

// Σ k_i·P_i, the digits of all terms sharing one chain of doublings.
EcPfPoint interleaved_mul(std::span<const WnafTerm> terms);

// k·P.
EcPfPoint scalar_mul(const EcPfPoint& p, const Limbs4& k);

}  // namespace tarv::crypto
