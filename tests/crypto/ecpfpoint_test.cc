#include "crypto/math/ec/ecpfpoint.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "crypto/bign/ecdsa.h"
#include "tests/crypto/big_int.h"

namespace tarv::crypto {
namespace {

const BignCurve& curve() { return bign_curve256v1(); }
EcPfPoint g() { return EcPfPoint::from_affine(curve().g); }
std::optional<EcAffine> affine(const EcPfPoint& p) { return p.to_affine(); }
EcPfPoint mul(mp_limb_t k) { return scalar_mul(g(), {k, 0, 0, 0}); }

std::vector<Limbs4> random_scalars(size_t n, uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::vector<Limbs4> out;
  for (size_t i = 0; i < n; ++i) out.push_back({rng(), rng(), rng(), rng() >> 1});
  return out;
}

TEST(Curve, BasePointAndTablesLieOnTheCurve) {
  EXPECT_TRUE(on_curve(curve().g, curve().b));
  for (const EcAffine& p : curve().g_odd) EXPECT_TRUE(on_curve(p, curve().b));
  for (const EcAffine& p : curve().g128_odd) EXPECT_TRUE(on_curve(p, curve().b));
  EXPECT_FALSE(on_curve({curve().g.x, curve().g.y + PfElem::from_u64(1)}, curve().b));
}

TEST(EcPfPoint, GroupLawAndItsSpecialCases) {
  Limbs4 q_minus_1 = curve().q;
  q_minus_1[0] -= 1;
  EXPECT_TRUE(scalar_mul(g(), curve().q).is_infinity());
  EXPECT_EQ(affine(scalar_mul(g(), q_minus_1)), -curve().g);
  // 5G has Z ≠ 1, so the formulas meet general coordinates.
  const EcPfPoint p = mul(5);
  const EcAffine pa = *affine(p);
  const std::optional<EcAffine> ten = affine(mul(10));
  EXPECT_EQ(affine(p.dbl()), ten);
  EXPECT_EQ(affine(p + p), ten);   // equal points reach the doubling
  EXPECT_EQ(affine(p + pa), ten);  // also in mixed addition
  EXPECT_TRUE((p + (-p)).is_infinity());
  EXPECT_TRUE((p + (-pa)).is_infinity());
  EXPECT_EQ(affine(EcPfPoint::infinity() + p), pa);
  EXPECT_EQ(affine(EcPfPoint::infinity() + pa), pa);
  EXPECT_EQ(affine(p + curve().g), affine(mul(6)));
  EXPECT_EQ(affine(p + g()), affine(mul(6)));
}

TEST(Wnaf, DigitsAreOddBoundedSparseAndSumToTheScalar) {
  constexpr mp_limb_t kOnes = ~mp_limb_t{0};
  std::vector<Limbs4> scalars = random_scalars(20, 1);
  scalars.insert(scalars.end(),
                 {{0, 0, 0, 0}, {1, 0, 0, 0}, {kOnes, kOnes, kOnes, kOnes}, curve().q});
  for (const Limbs4& k : scalars) {
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
    }
  }
}

TEST(Bign, CombinationIsTheSumOfBothMultiples) {
  // Checks the split of u over the tables of G and 2^128·G, and the
  // interleaving of three scalars, against two separate multiplications.
  const EcAffine q = *affine(scalar_mul(g(), {0x1234567, 0x89ABCDEF, 0x42, 0x7}));
  const std::vector<Limbs4> u = random_scalars(6, 3), v = random_scalars(6, 4);
  for (size_t i = 0; i < u.size(); ++i) {
    for (const Limbs4& vv : {v[i], Limbs4{v[i][0], v[i][1], 1, 0}}) {
      const EcPfPoint expect = scalar_mul(g(), u[i]) + scalar_mul(EcPfPoint::from_affine(q), vv);
      EXPECT_EQ(affine(bign_combination(u[i], vv, q)), affine(expect)) << i;
    }
  }
  EXPECT_TRUE(bign_combination(u[0], u[0], -curve().g).is_infinity());
}

}  // namespace
}  // namespace tarv::crypto
