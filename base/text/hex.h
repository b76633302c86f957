// Hexadecimal text of bytes, the one place it is written and read: test data,
// dumps of documents, key and signature files.
#ifndef TARV_BASE_TEXT_HEX_H_
#define TARV_BASE_TEXT_HEX_H_

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarv::text {

// Lower-case, two digits a byte, no separators.
std::string to_hex(std::span<const uint8_t> bytes);
std::string to_hex(std::string_view bytes);

// Pairs of hex digits, either case; whitespace between them is ignored.
// nullopt for any other character or an odd number of digits.
std::optional<std::vector<uint8_t>> from_hex(std::string_view text);

}  // namespace tarv::text

#endif  // TARV_BASE_TEXT_HEX_H_
