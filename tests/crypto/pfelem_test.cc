#include "crypto/math/field/pfelem.h"

#include <gmp.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string_view>
#include <vector>

#include "tests/crypto/big_int.h"

namespace tarv::crypto {
namespace {

using Ref = test::BigInt;

constexpr mp_limb_t kOnes = ~mp_limb_t{0};
const Limbs4 kP = PfElem::kP;

// Values where carries, borrows and the final reduction change course.
const std::vector<Limbs4> kEdges = {
    {0, 0, 0, 0},
    {1, 0, 0, 0},
    {2, 0, 0, 0},
    {188, 0, 0, 0},
    {189, 0, 0, 0},
    {kOnes, 0, 0, 0},
    {0, 1, 0, 0},
    {0, 0, 0, mp_limb_t{1} << 63},
    {kP[0] - 1, kOnes, kOnes, kOnes},  // p - 1
    {kP[0] - 2, kOnes, kOnes, kOnes},  // p - 2
    {kP[0] - 189, kOnes, kOnes, kOnes},
    {kOnes, kOnes, kOnes, kOnes - 1},
    {0, 0, 0, kOnes},
};

std::vector<Limbs4> sample_values() {
  std::vector<Limbs4> values = kEdges;
  std::mt19937_64 rng(20240607);
  for (int i = 0; i < 40; ++i) {
    values.push_back(PfElem::from_limbs({rng(), rng(), rng(), rng()}).limbs());
  }
  return values;
}

using Op = void (*)(mpz_ptr, mpz_srcptr, mpz_srcptr);

Limbs4 reference(Op op, const Limbs4& a, const Limbs4& b) {
  Ref x(a), y(b), p(kP), r;
  op(r.get(), x.get(), y.get());
  mpz_mod(r.get(), r.get(), p.get());
  return r.limbs();
}

TEST(PfElem, ArithmeticMatchesIntegersModuloP) {
  const std::vector<Limbs4> values = sample_values();
  for (const Limbs4& a : values) {
    for (const Limbs4& b : values) {
      const PfElem x = PfElem::from_limbs(a), y = PfElem::from_limbs(b);
      EXPECT_EQ((x + y).limbs(), reference(mpz_add, a, b));
      EXPECT_EQ((x - y).limbs(), reference(mpz_sub, a, b));
      EXPECT_EQ((x * y).limbs(), reference(mpz_mul, a, b));
    }
    const PfElem x = PfElem::from_limbs(a);
    EXPECT_EQ(x.sqr().limbs(), reference(mpz_mul, a, a));
    EXPECT_EQ((-x).limbs(), reference(mpz_sub, {}, a));
    EXPECT_EQ(x.mul_small(PfElem::kFold).limbs(), reference(mpz_mul, a, {189, 0, 0, 0}));
  }
}

TEST(PfElem, InverseMatchesIntegersModuloP) {
  for (const Limbs4& a : sample_values()) {
    const PfElem x = PfElem::from_limbs(a);
    if (x.is_zero()) {
      EXPECT_TRUE(x.inv().is_zero());
      continue;
    }
    Ref ref(a), p(kP), r;
    ASSERT_NE(mpz_invert(r.get(), ref.get(), p.get()), 0);
    EXPECT_EQ(x.inv().limbs(), r.limbs());
    EXPECT_EQ(x * x.inv(), PfElem::from_u64(1));
  }
}

TEST(PfElem, ValuesFromPUpwardAreReduced) {
  const std::vector<std::pair<Limbs4, Limbs4>> cases = {
      {kP, {0, 0, 0, 0}},
      {{kP[0] + 1, kOnes, kOnes, kOnes}, {1, 0, 0, 0}},
      {{kOnes, kOnes, kOnes, kOnes}, {188, 0, 0, 0}},
      {{kP[0] - 1, kOnes, kOnes, kOnes}, {kP[0] - 1, kOnes, kOnes, kOnes}},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(PfElem::from_limbs(in).limbs(), out);
}

TEST(PfElem, LittleEndianBytesOfAnyLengthAreReducedModuloP) {
  std::mt19937 rng(7);
  for (size_t len : {0u, 1u, 31u, 32u, 33u, 63u, 64u, 65u, 100u, 200u}) {
    for (int fill : {-1, 0xFF}) {
      std::vector<uint8_t> bytes(len);
      for (uint8_t& b : bytes) b = static_cast<uint8_t>(fill < 0 ? rng() : fill);
      Ref ref = Ref::from_le(bytes), p(kP);
      mpz_mod(ref.get(), ref.get(), p.get());
      EXPECT_EQ(PfElem::from_le_bytes(bytes).limbs(), ref.limbs()) << len << " " << fill;
    }
  }
}

TEST(PfElem, BytesRoundTrip) {
  const std::vector<uint8_t> bytes = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09};
  const std::array<uint8_t, 32> out = PfElem::from_le_bytes(bytes).to_le_bytes();
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), out.begin()));
  EXPECT_TRUE(std::all_of(out.begin() + 9, out.end(), [](uint8_t b) { return b == 0; }));
}

}  // namespace
}  // namespace tarv::crypto
