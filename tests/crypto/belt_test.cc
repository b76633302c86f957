#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "crypto/belt/block.h"
#include "crypto/belt/hash.h"
#include "crypto/belt/sigma.h"
#include "tests/crypto/published_vectors.h"
#include "tests/support/hex.h"

namespace tarv::crypto {
namespace {

using ::tarv::testing::from_hex;
using ::tarv::testing::to_hex;
namespace tv = test_vectors;

TEST(Belt, PublishedBlockAndCompressionExamples) {
  const auto x = from_hex(tv::kBlockIn), key = from_hex(tv::kBlockKey), u = from_hex(tv::kSigmaIn);
  EXPECT_EQ(to_hex(belt_block(std::span<const uint8_t, 16>(x.data(), 16),
                              std::span<const uint8_t, 32>(key.data(), 32))),
            tv::kBlockOut);
  const std::span<const uint8_t, 64> in(u.data(), 64);
  EXPECT_EQ(to_hex(sigma1(in)), tv::kSigma1);
  EXPECT_EQ(to_hex(sigma2(in)), tv::kSigma2);
}

TEST(BeltHash, PublishedExamples) {
  for (const tv::HashExample& e : tv::kHashes) {
    EXPECT_EQ(to_hex(belt_hash(from_hex(e.message))), e.hash) << e.name;
  }
}

TEST(BeltHash, EmptyMessageIsTheLengthStepAlone) {
  // σ2(length block 0 ∥ s = 0 ∥ h = the initial value).
  std::array<uint8_t, 64> u{};
  std::copy_n(kBeltH.begin(), 32, u.begin() + 32);
  EXPECT_EQ(belt_hash({}), sigma2(u));
}

TEST(BeltHash, PaddingIsTakenApartByTheLength) {
  // Each pair pads to the same blocks: only the length block differs.
  std::vector<uint8_t> one{0x5A}, padded(32, 0);
  padded[0] = 0x5A;
  EXPECT_NE(belt_hash(one), belt_hash(padded));
  EXPECT_NE(belt_hash(std::vector<uint8_t>(1, 0)), belt_hash({}));
  EXPECT_NE(belt_hash(std::vector<uint8_t>(32, 0)), belt_hash(std::vector<uint8_t>(64, 0)));
}

TEST(BeltHash, EveryByteCountsAroundBlockBoundaries) {
  for (size_t len : {1u, 31u, 32u, 33u, 63u, 64u, 65u, 200u}) {
    std::vector<uint8_t> m(len);
    for (size_t i = 0; i < len; ++i) m[i] = static_cast<uint8_t>(i * 7 + 1);
    const auto base = belt_hash(m);
    for (size_t i = 0; i < len; ++i) {
      std::vector<uint8_t> changed = m;
      changed[i] ^= 0x80;
      EXPECT_NE(belt_hash(changed), base) << "length " << len << " byte " << i;
    }
  }
}

}  // namespace
}  // namespace tarv::crypto
