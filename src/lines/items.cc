#include "src/lines/items.h"

#include <cmath>

#include "base/text/utf8.h"
#include "base/try.h"
#include "src/limits.h"

namespace tarv::lines {
namespace {

void cut_modifier(std::optional<msg::Modifier>& modifier) {
  if (!modifier) return;
  if (modifier->name) text::utf8::cut_chars(*modifier->name, limits::kModifierNameChars);
  if (modifier->group) text::utf8::cut_chars(*modifier->group, limits::kModifierGroupChars);
}

bool known_rate(uint32_t rate) { return rate == 0 || rate == 10 || rate == 20 || rate == 25; }

// round(rate × 100 × value / (rate × 100 + 10000)) in double precision,
// halves away from zero, saturating to the unsigned range.
uint64_t vat_of(uint64_t value, uint32_t rate) {
  const double percent = static_cast<double>(rate) * 100.0;
  const double vat = std::round(percent * static_cast<double>(value) / (percent + 10000.0));
  if (!(vat > 0)) return 0;
  if (vat >= 18446744073709551616.0) return UINT64_MAX;
  return static_cast<uint64_t>(vat);
}

}  // namespace

CalcResult<LineResult> check_line(msg::Item& item, LineRules rules) {
  text::utf8::cut_chars(item.name, limits::kItemNameChars);
  cut_modifier(item.discount);
  cut_modifier(item.markup);
  if (item.section && item.section->name) {
    text::utf8::cut_chars(*item.section->name, limits::kSectionNameChars);
  }

  if (item.name.empty()) return std::unexpected(err::kNameEmpty);
  if (item.price > limits::kMaxSum) return std::unexpected(err::kSumOverflow);
  if (item.quantity > limits::kMaxQuantity) return std::unexpected(err::kQuantityOverflow);
  if (item.quantity == 0) return std::unexpected(err::kQuantityZero);
  LineResult line;
  line.discount = item.discount ? item.discount->modifier : 0;
  line.markup = item.markup ? item.markup->modifier : 0;
  if (line.discount > limits::kMaxSum || line.markup > limits::kMaxSum) {
    return std::unexpected(err::kSumOverflow);
  }

  // Price in kopecks times quantity in thousandths, rounded half up to
  // whole kopecks on its hundreds digit.
  uint64_t product;
  if (__builtin_mul_overflow(item.price, uint64_t{item.quantity}, &product)) {
    return std::unexpected(err::kItemsArithmetic);
  }
  const uint64_t hundreds = (product / 100) % 10;
  if (hundreds >= 5 && __builtin_add_overflow(product, (10 - hundreds) * 100, &product)) {
    return std::unexpected(err::kSumOverflow);
  }
  if (product > limits::kMaxSum * 1000 + 999) return std::unexpected(err::kSumOverflow);
  line.base = product / 1000;

  if (line.base + line.markup < line.discount) return std::unexpected(err::kItemsArithmetic);
  line.total = line.base + line.markup - line.discount;
  if (line.total > limits::kMaxSum) return std::unexpected(err::kSumOverflow);

  auto code = normalise_code(item.code);
  TARV_TRY(code);
  line.code = std::move(*code);
  if (line.code.has_marking() && item.quantity != limits::kMarkedQuantity) {
    return std::unexpected(err::kQuantityMarking);
  }
  if (rules.check_tax_rate && item.tax_rate && !known_rate(*item.tax_rate)) {
    return std::unexpected(err::kTaxRateUnknown);
  }
  if (item.section && (item.section->code < limits::kMinSectionCode ||
                       item.section->code > limits::kMaxSectionCode)) {
    item.section.reset();
  }
  line.section = item.section ? static_cast<uint8_t>(item.section->code) : 0;
  line.quantity = item.quantity;

  if (rules.check_tax_rate && item.tax_rate) {
    line.vat = line_vat(line.total, line.quantity, *item.tax_rate);
  }
  item.calculations =
      msg::ItemCalculations{line.total, line.discount, line.markup,
                            line.vat ? line.vat->tax1 : std::nullopt, line.code.has_marking()};
  return line;
}

LineVat line_vat(uint64_t total, uint32_t quantity, uint32_t rate) {
  LineVat result;
  if (rate != 0) {
    // The unit price after modifiers, rounded half up.
    const uint64_t x = total * 10000 / quantity;
    const uint64_t unit = x / 10 + (x % 10 >= 5 ? 1 : 0);
    result.tax1 = vat_of(unit, rate);
  }
  result.vat = vat_of(total, rate);
  return result;
}

CalcResult<void> ItemsTotals::add(const LineResult& line) {
  if (__builtin_add_overflow(sum, line.total, &sum) ||
      __builtin_add_overflow(discounts, line.discount, &discounts) ||
      __builtin_add_overflow(markups, line.markup, &markups)) {
    return std::unexpected(err::kItemsArithmetic);
  }
  return {};
}

CalcResult<void> ItemsTotals::check_limits() const {
  if (sum > limits::kMaxSum || discounts > limits::kMaxSum || markups > limits::kMaxSum) {
    return std::unexpected(err::kSumOverflow);
  }
  return {};
}

CalcResult<uint64_t> document_total(uint64_t items_sum, uint64_t markup, uint64_t discount) {
  uint64_t with_markup;
  if (__builtin_add_overflow(items_sum, markup, &with_markup) || with_markup < discount) {
    return std::unexpected(err::kItemsArithmetic);
  }
  const uint64_t total = with_markup - discount;
  if (total > limits::kMaxSum) return std::unexpected(err::kSumOverflow);
  return total;
}

}  // namespace tarv::lines
