#include "crypto/ec/point.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "crypto/bign/curve.h"
#include "tests/crypto/big_int.h"

namespace tarv::crypto {
namespace {

JacobianPoint g() { return JacobianPoint::from_affine(kBaseG); }
std::optional<AffinePoint> affine(const JacobianPoint& p) { return p.to_affine(); }
JacobianPoint mul(Word k) { return scalar_mul(g(), Limbs{k}); }

std::vector<Limbs> random_scalars(size_t n, uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::vector<Limbs> out;
  for (size_t i = 0; i < n; ++i) out.push_back(limbs_from_u64({rng(), rng(), rng(), rng() >> 1}));
  return out;
}

TEST(Curve, BasePointAndGeneratedTablesAreTheOddMultiples) {
  // Recomputes every point of the checked-in tables from G.
  EXPECT_TRUE(on_curve(kBaseG, kCurveB));
  EXPECT_FALSE(on_curve({kBaseG.x, kBaseG.y + FieldElement::from_word(1)}, kCurveB));
  JacobianPoint g128 = g();
  for (int i = 0; i < 128; ++i) g128 = g128.dbl();
  const std::pair<std::span<const AffinePoint>, JacobianPoint> tables[] = {{base_table(), g()},
                                                                           {base128_table(), g128}};
  for (const auto& [table, base] : tables) {
    const auto expect = odd_multiples<kBaseWidth>(base);
    ASSERT_EQ(table.size(), expect.size());
    for (size_t i = 0; i < table.size(); ++i) {
      EXPECT_EQ(table[i], affine(expect[i])) << 2 * i + 1;
      EXPECT_TRUE(on_curve(table[i], kCurveB)) << 2 * i + 1;
    }
  }
}

TEST(JacobianPoint, GroupLawAndItsSpecialCases) {
  Limbs q_minus_1 = Scalar::kQ;
  q_minus_1[0] -= 1;
  EXPECT_TRUE(scalar_mul(g(), Scalar::kQ).is_infinity());
  EXPECT_EQ(affine(scalar_mul(g(), q_minus_1)), -kBaseG);
  // 5G has Z ≠ 1, so the formulas meet general coordinates.
  const JacobianPoint p = mul(5);
  const AffinePoint pa = *affine(p);
  const std::optional<AffinePoint> ten = affine(mul(10));
  EXPECT_EQ(affine(p.dbl()), ten);
  EXPECT_EQ(affine(p + p), ten);   // equal points reach the doubling
  EXPECT_EQ(affine(p + pa), ten);  // also in mixed addition
  EXPECT_TRUE((p + (-p)).is_infinity());
  EXPECT_TRUE((p + (-pa)).is_infinity());
  EXPECT_EQ(affine(JacobianPoint::infinity() + p), pa);
  EXPECT_EQ(affine(JacobianPoint::infinity() + pa), pa);
  EXPECT_EQ(affine(p + kBaseG), affine(mul(6)));
  EXPECT_EQ(affine(p + g()), affine(mul(6)));
  EXPECT_EQ(p.affine_x(), pa.x);
  EXPECT_FALSE(JacobianPoint::infinity().affine_x().has_value());
  EXPECT_FALSE(JacobianPoint::infinity().to_affine().has_value());
}

TEST(Wnaf, DigitsAreOddBoundedSparseAndSumToTheScalar) {
  std::vector<Limbs> scalars = random_scalars(20, 1);
  scalars.insert(scalars.end(), {Limbs{}, Limbs{1}, limbs_from_u64({~0ull, ~0ull, ~0ull, ~0ull}),
                                 Scalar::kQ, limbs_from_u64({0, 0, 1, 0})});
  for (const Limbs& k : scalars) {
    for (unsigned w = 2; w <= Wnaf::kMaxWidth; ++w) {
      const Wnaf naf = wnaf(k, w);
      test::BigInt sum, expect(k);
      size_t previous = naf.size + w;  // position of the last nonzero digit seen
      for (size_t i = naf.size; i-- > 0;) {
        const int d = naf.digit[i];
        mpz_mul_2exp(sum.get(), sum.get(), 1);
        if (d == 0) continue;
        d > 0 ? mpz_add_ui(sum.get(), sum.get(), d) : mpz_sub_ui(sum.get(), sum.get(), -d);
        EXPECT_NE(d % 2, 0);
        EXPECT_LT(std::abs(d), 1 << (w - 1));
        EXPECT_TRUE(previous >= naf.size || previous - i >= w) << "width " << w;
        previous = i;
      }
      EXPECT_EQ(mpz_cmp(sum.get(), expect.get()), 0) << "width " << w;
      EXPECT_LE(naf.size, mpz_sizeinbase(expect.get(), 2) + 1);
      if (naf.size > 0) {
        EXPECT_NE(naf.digit[naf.size - 1], 0);
      }
    }
  }
}

TEST(Bign, CombinationIsTheSumOfBothMultiples) {
  // Checks the split of u over the tables of G and 2^128·G, and the
  // interleaving of three scalars, against two separate multiplications.
  const AffinePoint q =
      *affine(scalar_mul(g(), limbs_from_u64({0x1234567, 0x89ABCDEF, 0x42, 0x7})));
  const std::vector<Limbs> u = random_scalars(6, 3), v = random_scalars(6, 4);
  for (size_t i = 0; i < u.size(); ++i) {
    Limbs v129{};  // s0 + 2^128, as signature checking forms it
    for (size_t j = 0; j < kLimbs / 2; ++j) v129[j] = v[i][j];
    v129[kLimbs / 2] = 1;
    for (const Limbs& vv : {v[i], v129}) {
      const JacobianPoint expect =
          scalar_mul(g(), u[i]) + scalar_mul(JacobianPoint::from_affine(q), vv);
      EXPECT_EQ(affine(bign_combination(u[i], vv, q)), affine(expect)) << i;
    }
  }
  EXPECT_TRUE(bign_combination(u[0], u[0], -kBaseG).is_infinity());
}

}  // namespace
}  // namespace tarv::crypto
