// bign signature verification (STB 34.101.45 on bign-curve256v1 with
// belt-hash, security level 128). The library verifies only: it never signs
// and holds no key. curve.h beside it holds the curve: its constants, the
// generated tables of the base point and the point combination.
#ifndef TARV_CRYPTO_BIGN_VERIFY_H_
#define TARV_CRYPTO_BIGN_VERIFY_H_

#include <array>
#include <cstdint>
#include <span>

namespace tarv::crypto {

// DER encoding of the belt-hash object identifier 1.2.112.0.2.0.34.101.31.81,
// hashed in front of x(R) and the message hash.
inline constexpr std::array<uint8_t, 11> kBeltHashOid = {0x06, 0x09, 0x2A, 0x70, 0x00, 0x02,
                                                         0x00, 0x22, 0x65, 0x1F, 0x51};

// Whether signature (48 bytes: s0 ∥ s1, little-endian) is a valid bign
// signature of message under public_key (x ∥ y, little-endian; y is read
// from every byte after the first 32). A key shorter than 32 bytes, or one
// whose point (x mod p, y mod p) is not on the curve, is invalid.
bool bign_verify(std::span<const uint8_t> message, std::span<const uint8_t> signature,
                 std::span<const uint8_t> public_key);

// The first 16 bytes of belt-hash(OID ∥ x ∥ H): the s0 of a signature whose
// point R has the x coordinate x, over a message with the hash H.
std::array<uint8_t, 16> bign_check_value(std::span<const uint8_t, 32> x,
                                         std::span<const uint8_t, 32> h);

}  // namespace tarv::crypto

#endif  // TARV_CRYPTO_BIGN_VERIFY_H_
