// A receipt as plain UTF-8 text for a roll of paper: 32 columns (58 mm),
// 44 or 48 (80 mm). No line is wider than the width: a row whose two sides
// do not fit puts its left side on lines of its own.
#ifndef TARV_HOST_RECEIPT_TEXT_H_
#define TARV_HOST_RECEIPT_TEXT_H_

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/receipt/receipt.h"

namespace tarv::host {

inline constexpr std::array<size_t, 3> kReceiptWidths = {32, 44, 48};
inline constexpr size_t kDefaultReceiptWidth = 44;

// "32", "44" or "48" as a width; nullopt for anything else.
std::optional<size_t> receipt_width(std::string_view text);

// The lines one row takes at `width` columns, each without its newline.
std::vector<std::string> receipt_lines(const ReceiptRow& row, size_t width);

// The whole receipt, each line ended by a newline.
std::string receipt_text(const Receipt& receipt, size_t width = kDefaultReceiptWidth);

}  // namespace tarv::host

#endif  // TARV_HOST_RECEIPT_TEXT_H_
