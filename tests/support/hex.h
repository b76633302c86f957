// Hexadecimal test data: "0B 01ff" and "0b01ff" both read as three bytes
// (base/text/hex.h; data that is not hex fails the test).
#ifndef TARV_TESTS_SUPPORT_HEX_H_
#define TARV_TESTS_SUPPORT_HEX_H_

#include <cstdint>
#include <string_view>
#include <vector>

#include "base/text/hex.h"

namespace tarv::testing {

inline std::vector<uint8_t> from_hex(std::string_view hex) { return text::from_hex(hex).value(); }

using text::to_hex;

}  // namespace tarv::testing

#endif  // TARV_TESTS_SUPPORT_HEX_H_
