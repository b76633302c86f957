// bign signing (STB 34.101.45, bign-curve256v1, belt-hash) for the tests,
// the benchmarks and the tool's demo. The library itself verifies and never
// signs: this code lives in a test-support library, never in libtarv_core.
#ifndef TARV_TESTS_SUPPORT_BIGN_SIGNER_H_
#define TARV_TESTS_SUPPORT_BIGN_SIGNER_H_

#include <array>
#include <cstdint>
#include <span>

namespace tarv::testing {

// The demo register's private key (little-endian): fixed and published, so
// it must never sign anything but demonstrations.
inline constexpr std::array<uint8_t, 32> kDemoPrivateKey = {
    0x74, 0x61, 0x72, 0x76, 0x2d, 0x64, 0x65, 0x6d, 0x6f, 0x2d, 0x6b, 0x65, 0x79, 0x21, 0x5a, 0x3c,
    0x19, 0xe4, 0x07, 0xb2, 0x8d, 0x61, 0xf0, 0x3a, 0x95, 0x2e, 0xc7, 0x48, 0x0b, 0xd3, 0x66, 0x1f};

// d·G as x ∥ y, 32 little-endian bytes each; d is 32 little-endian bytes,
// 1 ≤ d < q (d = 0 or q gives 64 zero bytes).
std::array<uint8_t, 64> bign_public_key(std::span<const uint8_t, 32> private_key_le);

// The bign signature s0 ∥ s1 (48 bytes) of message under the private key d
// with the one-time key k (32 little-endian bytes, 1 ≤ k < q).
std::array<uint8_t, 48> bign_sign(std::span<const uint8_t> message,
                                  std::span<const uint8_t, 32> private_key_le,
                                  std::span<const uint8_t, 32> k_le);

// The same with k = belt-hash(d ∥ message) mod q (1 when that is 0): the same
// message and key always give the same signature.
std::array<uint8_t, 48> bign_sign_deterministic(std::span<const uint8_t> message,
                                                std::span<const uint8_t, 32> private_key_le);

}  // namespace tarv::testing

#endif  // TARV_TESTS_SUPPORT_BIGN_SIGNER_H_
