#include "crypto/ec/field.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tests/crypto/big_int.h"

namespace tarv::crypto {
namespace {

using test::BigInt;

Limbs reference(test::BigOp op, const Limbs& a, const Limbs& b) {
  return test::reference(op, a, b, FieldElement::kP);
}

FieldElement fe(const Limbs& v) { return FieldElement::from_limbs(v); }

TEST(FieldElement, ArithmeticMatchesIntegersModuloP) {
  // Inputs from p up to 2^256 are valid held values: every operation must
  // take them, and every output must come out reduced.
  const std::vector<Limbs> values = test::edge_values(FieldElement::kP, 24);
  for (const Limbs& a : values) {
    const FieldElement x = fe(a);
    EXPECT_EQ(x.canonical(), reference(mpz_add, a, {}));
    EXPECT_EQ(x.is_zero(), reference(mpz_add, a, {}) == Limbs{});
    for (const Limbs& b : values) {
      const FieldElement y = fe(b);
      EXPECT_EQ((x + y).canonical(), reference(mpz_add, a, b));
      EXPECT_EQ((x - y).canonical(), reference(mpz_sub, a, b));
      EXPECT_EQ((x * y).canonical(), reference(mpz_mul, a, b));
      EXPECT_EQ(x == y, reference(mpz_sub, a, b) == Limbs{});
    }
    EXPECT_EQ(x.sqr().canonical(), reference(mpz_mul, a, a));
    EXPECT_EQ((-x).canonical(), reference(mpz_sub, {}, a));
    EXPECT_EQ(x.mul_small(189).canonical(), reference(mpz_mul, a, {189}));
    for (unsigned k = 1; k <= 8; ++k) {
      EXPECT_EQ(x.shl(k).canonical(), reference(mpz_mul, a, {Word{1} << k})) << k;
    }
    EXPECT_EQ(x.inv().canonical(), test::reference_inverse(a, FieldElement::kP));
  }
}

TEST(FieldElement, LongChainsOfHeldValuesStayExact) {
  // Results held unreduced feed the next operation, as in the point formulas.
  std::mt19937_64 rng(99);
  const std::vector<Limbs> seeds = test::edge_values(FieldElement::kP, 8);
  for (const Limbs& seed : seeds) {
    FieldElement x = fe(seed);
    BigInt ref(seed), p(FieldElement::kP);
    for (int step = 0; step < 200; ++step) {
      const Limbs operand = seeds[rng() % seeds.size()];
      const FieldElement y = fe(operand);
      const BigInt b(operand);
      const unsigned k = 1 + rng() % 8;
      switch (rng() % 5) {
        case 0:
          x = x + y;
          mpz_add(ref.get(), ref.get(), b.get());
          break;
        case 1:
          x = x - y;
          mpz_sub(ref.get(), ref.get(), b.get());
          break;
        case 2:
          x = x * y;
          mpz_mul(ref.get(), ref.get(), b.get());
          break;
        case 3:
          x = x.shl(k);
          mpz_mul_2exp(ref.get(), ref.get(), k);
          break;
        default:
          x = x.sqr();
          mpz_mul(ref.get(), ref.get(), ref.get());
      }
      mpz_mod(ref.get(), ref.get(), p.get());
      ASSERT_EQ(x.canonical(), ref.limbs()) << "step " << step;
    }
  }
}

TEST(FieldElement, LittleEndianBytesOfAnyLengthAreReducedModuloP) {
  std::mt19937 rng(7);
  for (size_t len : {0u, 1u, 31u, 32u, 33u, 64u, 65u, 200u}) {
    for (int fill : {-1, 0x00, 0xFF}) {
      std::vector<uint8_t> bytes(len);
      for (uint8_t& b : bytes) b = static_cast<uint8_t>(fill < 0 ? rng() : fill);
      EXPECT_EQ(FieldElement::from_le_bytes(bytes).to_le_bytes(),
                test::reference_le(bytes, FieldElement::kP))
          << len << " " << fill;
    }
  }
}

}  // namespace
}  // namespace tarv::crypto
