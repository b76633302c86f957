// belt-hash (STB 34.101.31): the 256-bit hash used by bign signatures.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace tarv::crypto {

// The 32-byte belt-hash of a byte string of any length.
std::array<uint8_t, 32> belt_hash(std::span<const uint8_t> message);

}  // namespace tarv::crypto
