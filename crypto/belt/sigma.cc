#include "crypto/belt/sigma.h"

namespace tarv::crypto {
namespace {

BeltBlock xor_block(const BeltBlock& l, const BeltBlock& r) {
  return {l[0] ^ r[0], l[1] ^ r[1], l[2] ^ r[2], l[3] ^ r[3]};
}

BeltKey concat(const BeltBlock& l, const BeltBlock& r) {
  return {l[0], l[1], l[2], l[3], r[0], r[1], r[2], r[3]};
}

BeltBlock half(const BeltKey& k, size_t which) {
  const size_t o = 4 * which;
  return {k[o], k[o + 1], k[o + 2], k[o + 3]};
}

}  // namespace

SigmaPair sigma_pair(const BeltKey& x, const BeltKey& h) {
  const BeltBlock u1 = half(x, 0), u2 = half(x, 1), u3 = half(h, 0), u4 = half(h, 1);
  const BeltBlock u34 = xor_block(u3, u4);
  const BeltBlock s1 = xor_block(belt_encrypt(u34, x), u34);
  const BeltBlock ones{~0u, ~0u, ~0u, ~0u};
  const std::array<BeltBlock, 2> e =
      belt_encrypt2(u1, concat(s1, u4), u2, concat(xor_block(s1, ones), u3));
  return {s1, concat(xor_block(e[0], u1), xor_block(e[1], u2))};
}

std::array<uint8_t, 16> sigma1(std::span<const uint8_t, 64> u) {
  return store_words(sigma_pair(load_words<8>(u.data()), load_words<8>(u.data() + 32)).sigma1);
}

std::array<uint8_t, 32> sigma2(std::span<const uint8_t, 64> u) {
  return store_words(sigma_pair(load_words<8>(u.data()), load_words<8>(u.data() + 32)).sigma2);
}

}  // namespace tarv::crypto
