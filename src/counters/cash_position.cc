#include "src/counters/cash_position.h"

#include <utility>

namespace tarv::counters {

int64_t cash_in(const msg::Context& context, std::string_view currency) {
  if (!context.shift_ctx) return 0;
  const auto entry = context.shift_ctx->attrs.find(currency);
  return entry ? entry->cash_in : 0;
}

msg::UpdatedMap<msg::GeneralAttributes> take_shift_attrs(msg::Context& context) {
  return context.shift_ctx
             ? msg::UpdatedMap<msg::GeneralAttributes>(std::move(context.shift_ctx->attrs))
             : msg::UpdatedMap<msg::GeneralAttributes>{};
}

CalcResult<msg::UpdatedMap<msg::GeneralAttributes>> merge_general(
    msg::UpdatedMap<msg::GeneralAttributes> current, const CashDelta& delta) {
  auto& entry = current.update(delta.currency);
  int64_t drawer;
  int64_t income;
  if (__builtin_add_overflow(entry.cash_in, delta.cash_in, &drawer) ||
      __builtin_add_overflow(entry.income, delta.income, &income)) {
    return std::unexpected(err::kAttrsSum);
  }
  if (drawer < 0) return std::unexpected(err::kAttrsCashInNegative);
  entry.cash_in = drawer;
  entry.income = income;
  return current;
}

}  // namespace tarv::counters
