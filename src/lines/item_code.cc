#include "src/lines/item_code.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

#include "base/text/utf8.h"
#include "base/try.h"
#include "src/limits.h"

namespace tarv::lines {
namespace {

using msg::ItemCode;
using msg::Scan;

CalcResult<void> check_digits(std::string_view text, size_t max_digits) {
  if (!std::ranges::all_of(text, [](char c) { return c >= '0' && c <= '9'; })) {
    return std::unexpected(err::kCodeChars);
  }
  if (text.size() > max_digits) return std::unexpected(err::kCodeLength);
  return {};
}

// A GTIN alone: plain kind 1 up to 13 digits, the GTIN form with 14.
ItemCodeRecord gtin_record(std::string_view gtin) {
  const auto digits = converter::Text::view_of(gtin);
  if (gtin.size() <= limits::kCodeDigits) return {converter::PlainCode{1, digits}};
  return {converter::GtinCode{std::nullopt, std::nullopt, digits}};
}

CalcResult<ItemCodeRecord> from_scans(const msg::ScanList& list) {
  // The scans' texts are views into the request: they outlive the walk and
  // the document's writing.
  std::optional<std::string_view> a, b, g;
  // The last two mark_c scans (c1 the last) and how many there were.
  std::optional<std::string_view> c1, c2;
  size_t mark_c = 0;
  bool repeated = false;
  list.scans.for_each([&](const Scan& scan) {
    std::optional<std::string_view>* single = nullptr;
    switch (scan.scan) {
      case Scan::Case::kNone:
        return true;
      case Scan::Case::kMarkA:
        single = &a;
        break;
      case Scan::Case::kMarkB:
        single = &b;
        break;
      case Scan::Case::kGtin:
        single = &g;
        break;
      case Scan::Case::kMarkC:
        c2 = c1;
        c1 = scan.value;
        ++mark_c;
        return true;
    }
    if (single->has_value()) return !(repeated = true);
    *single = scan.value;
    return true;
  });
  if (repeated) return std::unexpected(err::kCodeMultipleAssignments);
  auto at = [](const std::optional<std::string_view>& v) { return v ? &*v : nullptr; };
  const std::string_view* mark_a = at(a);
  const std::string_view* mark_b = at(b);
  const std::string_view* gtin = at(g);
  const std::string_view* m1 = at(c1);
  const std::string_view* m2 = at(c2);

  if (mark_c + (mark_a ? 1 : 0) + (mark_b ? 1 : 0) > 2) {
    return std::unexpected(err::kMarkingCodesCount);
  }

  // The long code and the short code.
  const std::string_view* long_code = nullptr;
  const std::string_view* short_code = nullptr;
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
  auto too_long = [](const std::string_view* mark, size_t limit) {
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

  const auto view = converter::Text::view_of;
  auto maybe = [&](const std::string_view* s) -> std::optional<converter::Text> {
    return s ? std::optional<converter::Text>(view(*s)) : std::nullopt;
  };
  if (mark_b) {
    return ItemCodeRecord{converter::GtinCode{maybe(long_code), view(*short_code), view(*gtin)},
                          long_code != nullptr, true};
  }
  if (long_code) {
    return ItemCodeRecord{converter::MarkedCode{view(*long_code), maybe(short_code), view(*gtin)},
                          true, short_code != nullptr};
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
      return ItemCodeRecord{converter::PlainCode{kind, converter::Text::view_of(code->text)}};
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
