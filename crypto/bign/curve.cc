#include "crypto/bign/curve.h"

#include <array>
#include <cstdint>

namespace tarv::crypto {
namespace {

constexpr size_t kTableSize = size_t{1} << (kBaseWidth - 2);

// [table][point][x or y][64-bit word]
constexpr uint64_t kTableWords[2][kTableSize][2][4] = {
#include "crypto/bign/base_tables.inc"
};

constexpr std::array<AffinePoint, kTableSize> affine_table(size_t which) {
  std::array<AffinePoint, kTableSize> out;
  for (size_t i = 0; i < kTableSize; ++i) {
    auto coordinate = [&](size_t c) {
      const uint64_t* w = kTableWords[which][i][c];
      return FieldElement::from_u64({w[0], w[1], w[2], w[3]});
    };
    out[i] = {coordinate(0), coordinate(1)};
  }
  return out;
}

constexpr std::array<AffinePoint, kTableSize> kBaseTable = affine_table(0);
constexpr std::array<AffinePoint, kTableSize> kBase128Table = affine_table(1);

// The lower and upper 128 bits of u.
Limbs half(const Limbs& u, size_t which) {
  Limbs out{};
  for (size_t i = 0; i < kLimbs / 2; ++i) out[i] = u[which * kLimbs / 2 + i];
  return out;
}

}  // namespace

std::span<const AffinePoint> base_table() { return kBaseTable; }
std::span<const AffinePoint> base128_table() { return kBase128Table; }

JacobianPoint bign_combination(const Limbs& u, const Limbs& v, const AffinePoint& q) {
  // u·G = u_lo·G + u_hi·(2^128·G): two 128-bit scalars on fixed tables, so the
  // chain of doublings is only as long as the longest of the three scalars
  // (v = s0 + 2^128 has 129 bits in signature checking).
  const auto q_table = odd_multiples<kKeyWidth>(JacobianPoint::from_affine(q));
  const std::array<WnafTerm, 3> terms = {
      WnafTerm{wnaf(half(u, 0), kBaseWidth), kBaseTable, {}},
      WnafTerm{wnaf(half(u, 1), kBaseWidth), kBase128Table, {}},
      WnafTerm{wnaf(v, kKeyWidth), {}, q_table},
  };
  return interleaved_mul(terms);
}

}  // namespace tarv::crypto
