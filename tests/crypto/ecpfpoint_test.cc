#include "crypto/math/ec/ecpfpoint.h"

#include <gmp.h>
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "crypto/bign/ecdsa.h"
#include "tests/support/bign_signer.h"

namespace tarv::crypto {
namespace {

constexpr mp_limb_t kOnes = ~mp_limb_t{0};

const BignCurve& curve() { return bign_curve256v1(); }
EcPfPoint g() { return EcPfPoint::from_affine(curve().g); }

Limbs4 q_minus(mp_limb_t k) {
  Limbs4 r = curve().q;
  mpn_sub_1(r.data(), r.data(), 4, k);
  return r;
}

std::optional<EcAffine> affine(const EcPfPoint& p) { return p.to_affine(); }

// A point whose Z is not 1, so that the formulas meet general coordinates.
EcPfPoint five_g() { return scalar_mul(g(), {5, 0, 0, 0}); }

std::vector<Limbs4> random_scalars(size_t n, uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::vector<Limbs4> out;
  for (size_t i = 0; i < n; ++i) out.push_back({rng(), rng(), rng(), rng() >> 1});
  return out;
}

TEST(Curve, BasePointAndItsTablesLieOnTheCurve) {
  EXPECT_TRUE(on_curve(curve().g, curve().b));
  for (const EcAffine& p : curve().g_odd) EXPECT_TRUE(on_curve(p, curve().b));
  for (const EcAffine& p : curve().g128_odd) EXPECT_TRUE(on_curve(p, curve().b));
  EXPECT_FALSE(on_curve({curve().g.x, curve().g.y + PfElem::from_u64(1)}, curve().b));
}

TEST(Curve, TablesHoldTheOddMultiples) {
  ASSERT_EQ(curve().g_odd.size(), size_t{1} << (BignCurve::kGWidth - 2));
  for (size_t i : {size_t{0}, size_t{1}, size_t{17}, curve().g_odd.size() - 1}) {
    const mp_limb_t k = 2 * i + 1;
    EXPECT_EQ(curve().g_odd[i], affine(scalar_mul(g(), {k, 0, 0, 0}))) << k;
    EXPECT_EQ(curve().g128_odd[i], affine(scalar_mul(g(), {0, 0, k, 0}))) << k;
  }
}

TEST(EcPfPoint, GroupOrderAndSmallMultiples) {
  EXPECT_TRUE(scalar_mul(g(), curve().q).is_infinity());
  EXPECT_TRUE(scalar_mul(g(), {}).is_infinity());
  EXPECT_EQ(affine(scalar_mul(g(), {1, 0, 0, 0})), curve().g);
  EXPECT_EQ(affine(scalar_mul(g(), q_minus(1))), -curve().g);
  EXPECT_EQ(affine(scalar_mul(g(), q_minus(5))), -*affine(five_g()));
}

TEST(EcPfPoint, AdditionMeetsDoublingAndNegation) {
  const EcPfPoint p = five_g();
  const EcAffine pa = *affine(p);
  const std::optional<EcAffine> twice = affine(p.dbl());
  EXPECT_EQ(affine(p + p), twice);
  EXPECT_EQ(affine(p + pa), twice);
  EXPECT_EQ(twice, affine(scalar_mul(g(), {10, 0, 0, 0})));
  EXPECT_TRUE((p + (-p)).is_infinity());
  EXPECT_TRUE((p + (-pa)).is_infinity());
  EXPECT_EQ(affine(p + EcPfPoint::infinity()), pa);
  EXPECT_EQ(affine(EcPfPoint::infinity() + p), pa);
  EXPECT_EQ(affine(EcPfPoint::infinity() + pa), pa);
  EXPECT_TRUE(EcPfPoint::infinity().dbl().is_infinity());
  // Mixed and general addition of distinct points agree.
  EXPECT_EQ(affine(p + curve().g), affine(p + g()));
  EXPECT_EQ(affine(p + curve().g), affine(scalar_mul(g(), {6, 0, 0, 0})));
}

TEST(EcPfPoint, PointOfOrderTwoDoublesToInfinity) {
  // y = 0 is off bign-curve256v1 but, on the curve the group law then runs on,
  // a point of order two.
  const EcPfPoint t = EcPfPoint::from_affine({PfElem::from_u64(1), PfElem{}});
  EXPECT_TRUE(t.dbl().is_infinity());
  EXPECT_TRUE(scalar_mul(t, {6, 0, 0, 0}).is_infinity());
  EXPECT_EQ(affine(scalar_mul(t, {7, 0, 0, 0})), affine(t));
}

TEST(Wnaf, DigitsAreOddBoundedSparseAndSumToTheScalar) {
  std::vector<Limbs4> scalars = {
      {0, 0, 0, 0},          {1, 0, 0, 0},     {kOnes, kOnes, kOnes, kOnes},
      {0, 0, 0, 1ull << 63}, {kOnes, 0, 0, 0}, curve().q};
  for (const Limbs4& k : random_scalars(20, 1)) scalars.push_back(k);
  for (const Limbs4& k : scalars) {
    for (unsigned w = 2; w <= Wnaf::kMaxWidth; ++w) {
      const Wnaf naf = wnaf(k, w);
      mpz_t sum, expect;
      mpz_inits(sum, expect, nullptr);
      mpz_import(expect, 4, -1, sizeof(mp_limb_t), 0, 0, k.data());
      size_t last_nonzero = naf.size + w;
      for (size_t i = naf.size; i-- > 0;) {
        const int d = naf.digit[i];
        mpz_mul_2exp(sum, sum, 1);
        if (d > 0) mpz_add_ui(sum, sum, static_cast<unsigned long>(d));
        if (d < 0) mpz_sub_ui(sum, sum, static_cast<unsigned long>(-d));
        if (d == 0) continue;
        EXPECT_NE(d % 2, 0);
        EXPECT_LT(d < 0 ? -d : d, 1 << (w - 1));
        if (last_nonzero < naf.size) {
          EXPECT_GE(last_nonzero - i, w) << "width " << w;
        }
        last_nonzero = i;
      }
      EXPECT_EQ(mpz_cmp(sum, expect), 0) << "width " << w;
      EXPECT_LE(naf.size, mpz_sizeinbase(expect, 2) + 1);
      mpz_clears(sum, expect, nullptr);
    }
  }
}

TEST(EcPfPoint, ScalarMultipleMatchesTheAffineSigner) {
  // The test signer's public key d·G comes from plain affine arithmetic.
  for (const Limbs4& k : random_scalars(8, 2)) {
    const std::array<uint8_t, 32> d = limbs_to_le(k);
    const std::array<uint8_t, 64> pub = testing::bign_public_key(d);
    const std::optional<EcAffine> p = affine(scalar_mul(g(), k));
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(p->x.to_le_bytes(), limbs_to_le(limbs_from_le(std::span(pub).first(32))));
    EXPECT_EQ(p->y.to_le_bytes(), limbs_to_le(limbs_from_le(std::span(pub).subspan(32))));
  }
}

TEST(Bign, CombinationIsTheSumOfBothMultiples) {
  const EcAffine q = *affine(scalar_mul(g(), {0x1234567, 0x89ABCDEF, 0x42, 0x7}));
  const std::vector<Limbs4> u = random_scalars(6, 3);
  const std::vector<Limbs4> v = random_scalars(6, 4);
  for (size_t i = 0; i < u.size(); ++i) {
    for (const Limbs4& vv : {v[i], Limbs4{v[i][0], v[i][1], 1, 0}}) {
      const EcPfPoint expect = scalar_mul(g(), u[i]) + scalar_mul(EcPfPoint::from_affine(q), vv);
      EXPECT_EQ(affine(bign_combination(u[i], vv, q)), affine(expect)) << i;
    }
  }
  // u·G + v·(-G) with u = v cancels.
  EXPECT_TRUE(bign_combination(u[0], u[0], -curve().g).is_infinity());
}

}  // namespace
}  // namespace tarv::crypto
