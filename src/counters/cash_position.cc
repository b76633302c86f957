#include "src/counters/cash_position.h"

#include <utility>

namespace tarv::counters {

int64_t cash_in(const msg::Context& context, std::string_view currency) {
  if (!context.shift_ctx) return 0;
  auto it = context.shift_ctx->attrs.find(currency);
  return it == context.shift_ctx->attrs.end() ? 0 : it->second.cash_in;
}

msg::Map<msg::GeneralAttributes> take_shift_attrs(msg::Context& context) {
  return context.shift_ctx ? std::move(context.shift_ctx->attrs)
                           : msg::Map<msg::GeneralAttributes>{};
}

CalcResult<msg::Map<msg::GeneralAttributes>> merge_general(msg::Map<msg::GeneralAttributes> current,
                                                           const CashDelta& delta) {
  auto& entry = current[delta.currency];
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
