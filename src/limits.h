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

// A cash operation's amount beyond the signed 64-bit range cannot enter a
// counter.
inline constexpr uint64_t kMaxSignedSum = INT64_MAX;

// Counter cells after an update (signed sums compare as signed). The counts
// are the widths of the report slots they end in, whose low bits the report
// keeps.
inline constexpr int64_t kMaxCounterSum = static_cast<int64_t>(kMaxAmount);
inline constexpr int64_t kMaxBoundedCount = 0xFFFF;  // 16-bit report slots
inline constexpr int64_t kMaxWideCount = 0xFFFFFF;   // 24-bit report slots

// Text limits, in Unicode characters.
inline constexpr size_t kCashierChars = 32;
inline constexpr size_t kItemNameChars = 64;
inline constexpr size_t kModifierNameChars = 48;
inline constexpr size_t kModifierGroupChars = 36;
inline constexpr size_t kSectionNameChars = 32;
// Marking codes: the document's fields, in bytes, hold them raw.
inline constexpr size_t kLongMarkingChars = converter::layout::kSiCodeBytes;
inline constexpr size_t kShortMarkingChars = converter::layout::kUkzCodeBytes;

// Digit strings of item codes: a plain code, a GTIN.
inline constexpr size_t kCodeDigits = converter::layout::kShortDigits;
inline constexpr size_t kGtinDigits = converter::layout::kLongDigits;

// Section codes a line keeps (a byte; 0 is a line without a section).
inline constexpr uint32_t kMinSectionCode = 1;
inline constexpr uint32_t kMaxSectionCode = 255;

// Third-party tax numbers have exactly nine decimal digits.
inline constexpr uint32_t kMinTaxNumber = 100000000;
inline constexpr uint32_t kMaxTaxNumber = 999999999;

// A shift closes at most this long after it opened.
inline constexpr int64_t kShiftSeconds = 86400;

}  // namespace tarv::limits

#endif  // TARV_SRC_LIMITS_H_
