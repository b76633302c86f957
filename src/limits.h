// The numeric limits of documents and counters, in one place.
#ifndef TARV_SRC_LIMITS_H_
#define TARV_SRC_LIMITS_H_

#include <cstddef>
#include <cstdint>

#include "converter/layout.h"

namespace tarv::limits {

// The largest amount an amount field of a binary document holds (the
// format's, 54975581388799).
inline constexpr uint64_t kMaxAmount = converter::layout::kMaxAmount;
// The largest admissible price, modifier, line total and document total.
inline constexpr uint64_t kMaxSum = kMaxAmount - 1;
// The largest quantity, in thousandths (0xFFFFFE).
inline constexpr uint32_t kMaxQuantity = 16777214;
// Marked goods are sold one piece at a time.
inline constexpr uint32_t kMarkedQuantity = 1000;

// Counter cells after an update (signed sums compare as signed).
inline constexpr int64_t kMaxCounterSum = static_cast<int64_t>(kMaxAmount);
inline constexpr int64_t kMaxBoundedCount = 65535;  // 16-bit report slots
inline constexpr int64_t kMaxWideCount = 16777215;  // 24-bit report slots

// Text limits, in Unicode characters.
inline constexpr size_t kCashierChars = 32;
inline constexpr size_t kItemNameChars = 64;
inline constexpr size_t kModifierNameChars = 48;
inline constexpr size_t kModifierGroupChars = 36;
inline constexpr size_t kSectionNameChars = 32;
inline constexpr size_t kLongMarkingChars = 256;
inline constexpr size_t kShortMarkingChars = 64;

// Digit strings of item codes.
inline constexpr size_t kCodeDigits = 13;
inline constexpr size_t kGtinDigits = 14;

// A shift closes at most this long after it opened.
inline constexpr int64_t kShiftSeconds = 86400;

}  // namespace tarv::limits

#endif  // TARV_SRC_LIMITS_H_
