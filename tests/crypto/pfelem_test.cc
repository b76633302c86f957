#include "crypto/math/field/pfelem.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tests/crypto/big_int.h"

namespace tarv::crypto {
namespace {

using test::BigInt;
constexpr mp_limb_t kOnes = ~mp_limb_t{0};
const Limbs4 kP = PfElem::kP;

// Values where carries, borrows and the final reduction change course, and random ones.
std::vector<Limbs4> sample_values() {
  std::vector<Limbs4> values = {
      {0, 0, 0, 0},
      {1, 0, 0, 0},
      {188, 0, 0, 0},
      {189, 0, 0, 0},
      {kOnes, 0, 0, 0},
      {0, 0, 0, mp_limb_t{1} << 63},
      {kP[0] - 1, kOnes, kOnes, kOnes},  // p - 1
      {kP[0] - 189, kOnes, kOnes, kOnes},
      {kOnes, kOnes, kOnes, kOnes - 1},
  };
  std::mt19937_64 rng(20240607);
  for (int i = 0; i < 30; ++i) values.push_back({rng(), rng(), rng(), rng()});
  return values;
}

Limbs4 reference(void (*op)(mpz_ptr, mpz_srcptr, mpz_srcptr), const Limbs4& a, const Limbs4& b) {
  BigInt x(a), y(b), p(kP), r;
  op(r.get(), x.get(), y.get());
  mpz_mod(r.get(), r.get(), p.get());
  return r.limbs();
}

TEST(PfElem, ArithmeticMatchesIntegersModuloP) {
  const std::vector<Limbs4> values = sample_values();
  for (const Limbs4& a : values) {
    const PfElem x = PfElem::from_limbs(a);
    EXPECT_EQ(x.limbs(), reference(mpz_add, a, {}));
    for (const Limbs4& b : values) {
      const PfElem y = PfElem::from_limbs(b);
      EXPECT_EQ((x + y).limbs(), reference(mpz_add, a, b));
      EXPECT_EQ((x - y).limbs(), reference(mpz_sub, a, b));
      EXPECT_EQ((x * y).limbs(), reference(mpz_mul, a, b));
    }
    EXPECT_EQ(x.sqr().limbs(), reference(mpz_mul, a, a));
    EXPECT_EQ((-x).limbs(), reference(mpz_sub, {}, a));
    EXPECT_EQ(x.mul_small(189).limbs(), reference(mpz_mul, a, {189, 0, 0, 0}));
    if (x.is_zero()) {
      EXPECT_TRUE(x.inv().is_zero());
    } else {
      EXPECT_EQ(x * x.inv(), PfElem::from_u64(1));
    }
  }
}

TEST(PfElem, LittleEndianBytesOfAnyLengthAreReducedModuloP) {
  std::mt19937 rng(7);
  for (size_t len : {0u, 1u, 31u, 32u, 33u, 64u, 65u, 200u}) {
    for (int fill : {-1, 0xFF}) {
      std::vector<uint8_t> bytes(len);
      for (uint8_t& b : bytes) b = static_cast<uint8_t>(fill < 0 ? rng() : fill);
      BigInt ref = BigInt::from_le(bytes), p(kP);
      mpz_mod(ref.get(), ref.get(), p.get());
      EXPECT_EQ(PfElem::from_le_bytes(bytes).limbs(), ref.limbs()) << len << " " << fill;
    }
  }
}

}  // namespace
}  // namespace tarv::crypto
