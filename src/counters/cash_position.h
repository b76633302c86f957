// The cash position: the cash in the drawer and the shift's income per
// currency (the context's GeneralAttributes), read by the calculators and
// moved by every document that takes or pays out money.
#ifndef TARV_SRC_COUNTERS_CASH_POSITION_H_
#define TARV_SRC_COUNTERS_CASH_POSITION_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "src/errors.h"
#include "src/messages.h"

namespace tarv::counters {

// The cash in the drawer for a currency (0 when it has no entry).
int64_t cash_in(const msg::Context& context, std::string_view currency);

// The change a document makes to the cash position of its currency.
struct CashDelta {
  std::string currency;
  int64_t cash_in = 0;
  int64_t income = 0;
};

// Moves the request's cash position out of its context (an empty one
// without a shift context); the calculators call it once, after their last
// look at the drawer, and merge their delta into it.
msg::UpdatedMap<msg::GeneralAttributes> take_shift_attrs(msg::Context& context);

// Applies a cash delta; the drawer never goes below zero.
CalcResult<msg::UpdatedMap<msg::GeneralAttributes>> merge_general(
    msg::UpdatedMap<msg::GeneralAttributes> current, const CashDelta& delta);

}  // namespace tarv::counters

#endif  // TARV_SRC_COUNTERS_CASH_POSITION_H_
