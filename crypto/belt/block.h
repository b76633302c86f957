// The belt block cipher (STB 34.101.31): encryption of one 128-bit block
// under a 256-bit key, in 32-bit little-endian words.
#ifndef TARV_CRYPTO_BELT_BLOCK_H_
#define TARV_CRYPTO_BELT_BLOCK_H_

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace tarv::crypto {

// The substitution table H; its first 32 bytes also start belt-hash.
inline constexpr std::array<uint8_t, 256> kBeltH = {
#include "crypto/belt/h_table.inc"
};

using BeltBlock = std::array<uint32_t, 4>;
using BeltKey = std::array<uint32_t, 8>;

inline uint32_t load_le32(const uint8_t* p) {
  uint32_t w;
  std::memcpy(&w, p, sizeof w);
  if constexpr (std::endian::native == std::endian::big) w = std::byteswap(w);
  return w;
}

inline void store_le32(uint8_t* p, uint32_t w) {
  if constexpr (std::endian::native == std::endian::big) w = std::byteswap(w);
  std::memcpy(p, &w, sizeof w);
}

// Reads N little-endian words from 4·N bytes.
template <size_t N>
std::array<uint32_t, N> load_words(const uint8_t* p) {
  std::array<uint32_t, N> w;
  for (size_t i = 0; i < N; ++i) w[i] = load_le32(p + 4 * i);
  return w;
}

template <size_t N>
std::array<uint8_t, 4 * N> store_words(const std::array<uint32_t, N>& w) {
  std::array<uint8_t, 4 * N> out;
  for (size_t i = 0; i < N; ++i) store_le32(out.data() + 4 * i, w[i]);
  return out;
}

// Encrypts the block x under the key (words as the standard numbers them).
BeltBlock belt_encrypt(const BeltBlock& x, const BeltKey& key);

// Two independent encryptions at once: the same results as two calls, faster.
std::array<BeltBlock, 2> belt_encrypt2(const BeltBlock& x1, const BeltKey& key1,
                                       const BeltBlock& x2, const BeltKey& key2);

// The same on bytes: a 16-byte block under a 32-byte key.
std::array<uint8_t, 16> belt_block(std::span<const uint8_t, 16> x,
                                   std::span<const uint8_t, 32> key);

}  // namespace tarv::crypto

#endif  // TARV_CRYPTO_BELT_BLOCK_H_
