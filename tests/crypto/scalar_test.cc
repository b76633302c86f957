#include "crypto/ec/scalar.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tests/crypto/big_int.h"

namespace tarv::crypto {
namespace {

using test::BigInt;

Limbs reference(test::BigOp op, const Limbs& a, const Limbs& b) {
  return test::reference(op, a, b, Scalar::kQ);
}

TEST(Scalar, ReductionAndArithmeticMatchIntegersModuloQ) {
  const std::vector<Limbs> values = test::edge_values(Scalar::kQ, 24);
  for (const Limbs& a : values) {
    const Scalar x = Scalar::from_limbs(a);
    EXPECT_EQ(x.limbs(), reference(mpz_add, a, {}));
    // Only values below q are canonical.
    const std::optional<Scalar> canonical = Scalar::from_canonical(limbs_to_le(a));
    EXPECT_EQ(canonical.has_value(), limbs_cmp(a, Scalar::kQ) < 0);
    if (canonical) {
      EXPECT_EQ(canonical->limbs(), a);
    }
    for (const Limbs& b : values) {
      const Scalar y = Scalar::from_limbs(b);
      EXPECT_EQ((x + y).limbs(), reference(mpz_add, a, b));
      EXPECT_EQ((x - y).limbs(), reference(mpz_sub, a, b));
      EXPECT_EQ((x * y).limbs(), reference(mpz_mul, a, b));
    }
    EXPECT_EQ((x * x).limbs(), reference(mpz_mul, a, a));
    EXPECT_EQ((-x).limbs(), reference(mpz_sub, {}, a));
    EXPECT_EQ(x.inv().limbs(), test::reference_inverse(a, Scalar::kQ));
  }
}

TEST(Scalar, LittleEndianBytesOfAnyLengthAreReducedModuloQ) {
  std::mt19937 rng(11);
  for (size_t len : {0u, 1u, 16u, 31u, 32u, 33u, 48u, 64u, 65u, 100u}) {
    for (int fill : {-1, 0x00, 0xFF}) {
      std::vector<uint8_t> bytes(len);
      for (uint8_t& b : bytes) b = static_cast<uint8_t>(fill < 0 ? rng() : fill);
      EXPECT_EQ(Scalar::from_le_bytes(bytes).to_le_bytes(), test::reference_le(bytes, Scalar::kQ))
          << len << " " << fill;
      const BigInt q(Scalar::kQ);
      EXPECT_EQ(Scalar::from_canonical(bytes).has_value(),
                len <= 32 && mpz_cmp(BigInt::from_le(bytes).get(), q.get()) < 0)
          << len << " " << fill;
    }
  }
}

}  // namespace
}  // namespace tarv::crypto
