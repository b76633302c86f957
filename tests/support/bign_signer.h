// bign signing for tests only: the library itself verifies and never signs.
// Plain affine arithmetic on GMP integers, independent of the library's
// Jacobian code, so that signing and verifying check each other.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace tarv::testing {

// d·G as x ∥ y, 32 little-endian bytes each; d is 32 little-endian bytes, 1 ≤ d < q.
std::array<uint8_t, 64> bign_public_key(std::span<const uint8_t, 32> private_key_le);

// The bign signature s0 ∥ s1 (48 bytes) of message under private key d with
// the one-time key k (32 little-endian bytes, 1 ≤ k < q).
std::array<uint8_t, 48> bign_sign(std::span<const uint8_t> message,
                                  std::span<const uint8_t, 32> private_key_le,
                                  std::span<const uint8_t, 32> k_le);

}  // namespace tarv::testing
