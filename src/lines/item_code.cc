#include "src/lines/item_code.h"

#include <algorithm>
#include <string>

#include "base/text/utf8.h"
#include "base/try.h"
#include "src/limits.h"

namespace tarv::lines {
namespace {

using msg::ItemCode;
using msg::Scan;

CalcResult<void> check_digits(const std::string& text, size_t max_digits) {
  if (!std::ranges::all_of(text, [](char c) { return c >= '0' && c <= '9'; })) {
    return std::unexpected(err::kCodeChars);
  }
  if (text.size() > max_digits) return std::unexpected(err::kCodeLength);
  return {};
}

// A GTIN alone: plain kind 1 up to 13 digits, the GTIN form with 14.
ItemCodeRecord gtin_record(const std::string& gtin) {
  if (gtin.size() <= limits::kCodeDigits) return {converter::PlainCode{1, gtin}};
  return {converter::GtinCode{std::nullopt, std::nullopt, gtin}};
}

CalcResult<ItemCodeRecord> from_scans(const msg::ScanList& list) {
  const std::string* mark_a = nullptr;
  const std::string* mark_b = nullptr;
  const std::string* gtin = nullptr;
  // The last two mark_c scans (m1 the last) and how many there were.
  const std::string* m1 = nullptr;
  const std::string* m2 = nullptr;
  size_t mark_c = 0;
  for (const Scan& scan : list.scans) {
    const std::string** single = nullptr;
    switch (scan.scan) {
      case Scan::Case::kNone:
        continue;
      case Scan::Case::kMarkA:
        single = &mark_a;
        break;
      case Scan::Case::kMarkB:
        single = &mark_b;
        break;
      case Scan::Case::kGtin:
        single = &gtin;
        break;
      case Scan::Case::kMarkC:
        m2 = m1;
        m1 = &scan.value;
        ++mark_c;
        continue;
    }
    if (*single != nullptr) return std::unexpected(err::kCodeMultipleAssignments);
    *single = &scan.value;
  }

  if (mark_c + (mark_a ? 1 : 0) + (mark_b ? 1 : 0) > 2) {
    return std::unexpected(err::kMarkingCodesCount);
  }

  // The long code and the short code.
  const std::string* long_code = nullptr;
  const std::string* short_code = nullptr;
  if (mark_a) {
    long_code = mark_a;
    short_code = mark_b ? mark_b : m1;
  } else if (mark_b) {
    long_code = m1;
    short_code = mark_b;
  } else if (m2) {
    const size_t len1 = text::utf8::char_count(*m1);
    const size_t len2 = text::utf8::char_count(*m2);
    if (len1 > limits::kShortMarkingChars && len2 > limits::kShortMarkingChars) {
      return std::unexpected(err::kMarkingCodeLength);
    }
    const bool second_is_long = len2 > len1 && len2 > limits::kShortMarkingChars;
    long_code = second_is_long ? m2 : m1;
    short_code = second_is_long ? m1 : m2;
  } else {
    long_code = m1;
  }
  // A code must also fit its document field, which holds as many bytes as
  // the code may have characters: a code cut there would name other goods.
  auto too_long = [](const std::string* mark, size_t limit) {
    return mark && (text::utf8::char_count(*mark) > limit || mark->size() > limit);
  };
  if (too_long(long_code, limits::kLongMarkingChars) ||
      too_long(short_code, limits::kShortMarkingChars)) {
    return std::unexpected(err::kMarkingCodeLength);
  }
  if ((long_code || short_code) && !gtin) return std::unexpected(err::kMarkingGtinMissing);
  if (gtin) {
    TARV_TRY(check_digits(*gtin, limits::kGtinDigits));
  }

  auto copy = [](const std::string* s) -> std::optional<std::string> {
    return s ? std::optional<std::string>(*s) : std::nullopt;
  };
  if (mark_b) {
    return ItemCodeRecord{converter::GtinCode{copy(long_code), *short_code, *gtin},
                          long_code != nullptr, true};
  }
  if (long_code) {
    return ItemCodeRecord{converter::MarkedCode{*long_code, copy(short_code), *gtin}, true,
                          short_code != nullptr};
  }
  if (gtin) return gtin_record(*gtin);
  return ItemCodeRecord{converter::PlainCode{0, {}}};
}

}  // namespace

CalcResult<ItemCodeRecord> normalise_code(const std::optional<msg::ItemCode>& code) {
  if (!code) return ItemCodeRecord{converter::PlainCode{0, {}}};
  switch (code->item_code) {
    case ItemCode::Case::kNone:
      return ItemCodeRecord{converter::PlainCode{0, {}}};
    case ItemCode::Case::kCodeA:
    case ItemCode::Case::kCodeC:
    case ItemCode::Case::kCodeD: {
      TARV_TRY(check_digits(code->text, limits::kCodeDigits));
      const uint8_t kind = code->item_code == ItemCode::Case::kCodeA   ? 0
                           : code->item_code == ItemCode::Case::kCodeC ? 3
                                                                       : 4;
      return ItemCodeRecord{converter::PlainCode{kind, code->text}};
    }
    case ItemCode::Case::kGtin:
      TARV_TRY(check_digits(code->text, limits::kGtinDigits));
      return gtin_record(code->text);
    case ItemCode::Case::kScanList:
      return from_scans(code->scan_list);
  }
  return ItemCodeRecord{converter::PlainCode{0, {}}};
}

}  // namespace tarv::lines
