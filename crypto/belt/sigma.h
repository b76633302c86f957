// The compression functions of belt-hash (STB 34.101.31): σ1 maps 512 bits
// to 128 bits and σ2 maps 512 bits to 256 bits. The input is
// u = u1 ∥ u2 ∥ u3 ∥ u4 in 128-bit parts; belt-hash passes X ∥ h.
#ifndef TARV_CRYPTO_BELT_SIGMA_H_
#define TARV_CRYPTO_BELT_SIGMA_H_

#include <array>
#include <cstdint>
#include <span>

#include "crypto/belt/block.h"

namespace tarv::crypto {

// σ1 and σ2 of one input, σ1 computed once; x = u1 ∥ u2 and h = u3 ∥ u4 as words.
struct SigmaPair {
  BeltBlock sigma1;
  BeltKey sigma2;
};
SigmaPair sigma_pair(const BeltKey& x, const BeltKey& h);

// Byte forms; the fixed extent makes an input of any other size a compile error.
std::array<uint8_t, 16> sigma1(std::span<const uint8_t, 64> u);
std::array<uint8_t, 32> sigma2(std::span<const uint8_t, 64> u);

}  // namespace tarv::crypto

#endif  // TARV_CRYPTO_BELT_SIGMA_H_
