// bign signature verification (STB 34.101.45, bign-curve256v1, belt-hash).
// The library verifies only: it never signs and holds no key.
#pragma once

#include <cstdint>
#include <span>

namespace tarv::crypto {

// Whether signature (48 bytes: s0 ∥ s1, little-endian) is a valid bign
// signature of message under public_key (x ∥ y, little-endian; y is read
// from every byte after the first 32). A key shorter than 32 bytes, or one
// whose point (x mod p, y mod p) is not on the curve, is invalid.
bool bign_verify(std::span<const uint8_t> message, std::span<const uint8_t> signature,
                 std::span<const uint8_t> public_key);

}  // namespace tarv::crypto
