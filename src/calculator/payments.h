// The split of a receipt's payments into cash, card and other with the
// change, shared by sale and refund.
#ifndef TARV_SRC_CALCULATOR_PAYMENTS_H_
#define TARV_SRC_CALCULATOR_PAYMENTS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "src/errors.h"
#include "src/messages.h"

namespace tarv::calc {

struct PaymentSplit {
  uint64_t cash = 0;  // the part of the total settled in cash (tendered less change)
  uint64_t card = 0;
  uint64_t other = 0;
  uint64_t cash_change = 0;
  // What the paid payments left in the request take in a response, keys
  // aside (wire::write_left).
  size_t left_bytes = 0;

  uint64_t cashless() const { return card + other; }
};

// Splits `payments` over `total`: the change map must be empty; payments
// name no currency; at most one cash payment; card and other never exceed
// the total; cash covers the rest, the surplus being change that the drawer
// (`drawer`, the cash in it) must hold. Adds the payment counters to
// `delta.payments[currency]`.
CalcResult<PaymentSplit> split_payments(const msg::Repeated<msg::Payment>& payments,
                                        const msg::RequestMap<uint64_t>& change, uint64_t total,
                                        int64_t drawer, const std::string& currency,
                                        msg::DocumentAttributes& delta);

// Leaves out of the response the payments whose sum is 0 (the split passed
// them over): the held ones are dropped, those left in the request written
// without them. `number` is the payments' field in the document.
void show_paid(msg::Repeated<msg::Payment>& payments, uint32_t number, const PaymentSplit& split);

}  // namespace tarv::calc

#endif  // TARV_SRC_CALCULATOR_PAYMENTS_H_
