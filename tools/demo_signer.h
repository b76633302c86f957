// The demo register's signer. tarv_core only verifies bign signatures; the
// demo needs a signed sale to annul, so it signs with a fixed, published key
// that must never be used for anything else.
#ifndef TARV_TOOLS_DEMO_SIGNER_H_
#define TARV_TOOLS_DEMO_SIGNER_H_

#include <array>
#include <cstdint>
#include <span>

namespace tarv::tool {

// d·G of the demo key as x ∥ y, 32 little-endian bytes each.
std::array<uint8_t, 64> demo_public_key();

// The bign signature s0 ∥ s1 (48 bytes) of `message` under the demo key, with
// the one-time key k derived from belt-hash(d ∥ message): the same message
// always gets the same signature.
std::array<uint8_t, 48> demo_sign(std::span<const uint8_t> message);

}  // namespace tarv::tool

#endif  // TARV_TOOLS_DEMO_SIGNER_H_
