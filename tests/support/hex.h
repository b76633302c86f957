// Hexadecimal test data: "0B 01ff" and "0b01ff" both read as three bytes.
#ifndef TARV_TESTS_SUPPORT_HEX_H_
#define TARV_TESTS_SUPPORT_HEX_H_

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarv::testing {

// Pairs of hex digits, either case; spaces between the pairs are ignored.
std::vector<uint8_t> from_hex(std::string_view hex);

// Lower-case, two digits a byte, no separators.
std::string to_hex(std::span<const uint8_t> bytes);
std::string to_hex(std::string_view bytes);

}  // namespace tarv::testing

#endif  // TARV_TESTS_SUPPORT_HEX_H_
