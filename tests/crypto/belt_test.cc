#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "crypto/belt/block.h"
#include "crypto/belt/hash.h"
#include "crypto/belt/utils/sigma.h"
#include "tests/crypto/hex.h"
#include "tests/crypto/published_vectors.h"

namespace tarv::crypto {
namespace {

using test::from_hex;
using test::to_hex;
namespace tv = test_vectors;

TEST(BeltTable, IsAPermutationStartingWithTheHashInitialValue) {
  std::array<bool, 256> seen{};
  for (uint8_t b : kBeltH) seen[b] = true;
  for (size_t v = 0; v < 256; ++v) EXPECT_TRUE(seen[v]) << v;
  EXPECT_EQ(to_hex(std::span(kBeltH).first(32)),
            "b194bac80a08f53b366d008e584a5de48504fa9d1bb6c7ac252e72c202fdce0d");
}

TEST(BeltBlock, EncryptsTheTableA1Example) {
  const auto x = from_hex(tv::kBlockIn);
  const auto key = from_hex(tv::kBlockKey);
  EXPECT_EQ(to_hex(belt_block(std::span<const uint8_t, 16>(x.data(), 16),
                              std::span<const uint8_t, 32>(key.data(), 32))),
            tv::kBlockOut);
}

TEST(BeltBlock, WordAndByteFormsAgree) {
  // The words are little-endian: the byte form must load and store them so.
  const auto x = from_hex(tv::kBlockIn);
  const auto key = from_hex(tv::kBlockKey);
  const BeltBlock words = belt_encrypt(load_words<4>(x.data()), load_words<8>(key.data()));
  EXPECT_EQ(words[0], 0xC9A1CC69u);
  EXPECT_EQ(to_hex(store_words(words)), tv::kBlockOut);
}

TEST(BeltSigma, CompressesTheTableA8Example) {
  const auto u = from_hex(tv::kSigmaIn);
  const std::span<const uint8_t, 64> in(u.data(), 64);
  EXPECT_EQ(to_hex(sigma1(in)), tv::kSigma1);
  EXPECT_EQ(to_hex(sigma2(in)), tv::kSigma2);
}

TEST(BeltHash, MatchesEveryTableA23Example) {
  for (const tv::HashExample& e : tv::kHashes) {
    EXPECT_EQ(to_hex(belt_hash(from_hex(e.message))), e.hash) << e.name;
  }
}

TEST(BeltHash, EmptyMessageIsTheLengthStepAlone) {
  // σ2(length block 0 ∥ s = 0 ∥ h = initial value).
  std::array<uint8_t, 64> u{};
  std::copy_n(kBeltH.begin(), 32, u.begin() + 32);
  EXPECT_EQ(belt_hash({}), sigma2(u));
}

TEST(BeltHash, ZeroPaddingIsTakenApartByTheLength) {
  // One byte is padded to the same block as that byte and 31 zeros: only the
  // length block tells them apart.
  std::vector<uint8_t> one{0x5A};
  std::vector<uint8_t> padded(32, 0);
  padded[0] = 0x5A;
  EXPECT_NE(belt_hash(one), belt_hash(padded));
  EXPECT_NE(belt_hash(std::vector<uint8_t>(1, 0)), belt_hash({}));
  EXPECT_NE(belt_hash(std::vector<uint8_t>(32, 0)), belt_hash(std::vector<uint8_t>(64, 0)));
}

TEST(BeltHash, EveryByteAndEveryLengthCounts) {
  // Around the block boundaries a change of any byte, or one byte more or less,
  // changes the hash: no byte is dropped or read twice.
  for (size_t len : {1u, 31u, 32u, 33u, 63u, 64u, 65u, 200u}) {
    std::vector<uint8_t> m(len);
    for (size_t i = 0; i < len; ++i) m[i] = static_cast<uint8_t>(i * 7 + 1);
    const auto base = belt_hash(m);
    for (size_t i = 0; i < len; ++i) {
      std::vector<uint8_t> changed = m;
      changed[i] ^= 0x80;
      EXPECT_NE(belt_hash(changed), base) << "length " << len << " byte " << i;
    }
    EXPECT_NE(belt_hash(std::span(m).first(len - 1)), base) << len;
  }
}

TEST(BeltHash, ReadsOnlyTheGivenBytes) {
  // A message that ends inside a block must hash the same wherever it lies.
  const std::vector<uint8_t> m = from_hex(tv::kHashes[0].message);
  std::vector<uint8_t> buffer(64, 0xEE);
  std::copy(m.begin(), m.end(), buffer.begin() + 7);
  EXPECT_EQ(to_hex(belt_hash(std::span(buffer).subspan(7, m.size()))), tv::kHashes[0].hash);
}

}  // namespace
}  // namespace tarv::crypto
