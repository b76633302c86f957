// The header and shift checks that every document passes before its own:
// the header is there, the cashier's name fits, the currency is accepted, the
// shift is open and the document's time lies in its first 24 hours.
#ifndef TARV_SRC_CHECKS_SHIFT_CHECKS_H_
#define TARV_SRC_CHECKS_SHIFT_CHECKS_H_

#include <optional>
#include <string_view>

#include "base/calendar/date_time.h"
#include "converter/records.h"
#include "src/errors.h"
#include "src/messages.h"

namespace tarv::checks {

// What the checks yield: the shift opening and document times (UTC),
// whether the document lies more than 24 hours after the opening, and the
// document's local date-time for the binary document.
struct ShiftTimes {
  calendar::UtcTime opened_at;
  calendar::UtcTime at;
  bool too_old = false;
  converter::DateTime local;
};

// Which of the common checks a calculator runs. The cash operations, sale
// and refund run them all; the order skips the cashier length and names its
// own currency; the rollback skips both; only the withdraw lets a shift older
// than 24 hours through (as `too_old`).
struct HeaderRules {
  bool check_cashier = true;
  bool check_currency = true;
  bool allow_too_old = false;
};

// The checks in their fixed order: header present, cashier length, currency
// listed in the context, shift open, document time present, not before the
// opening, at most 24 hours after it. Timestamps that do not convert to a
// calendar date-time are malformed input.
CalcResult<ShiftTimes> validate_header_and_shift(const msg::Context& context,
                                                 const std::optional<msg::Header>& header,
                                                 HeaderRules rules = {});

// The same checks on their parts, for headers of other shapes (the order's).
// `currency` is compared only when given.
CalcResult<ShiftTimes> validate_header_and_shift(const msg::Context& context, bool header_present,
                                                 std::string_view cashier,
                                                 std::optional<std::string_view> currency,
                                                 const std::optional<msg::Timestamp>& at,
                                                 HeaderRules rules);

// The UTC time of a request timestamp, or nothing when it does not convert.
std::optional<calendar::UtcTime> to_utc(const msg::Timestamp& ts);

}  // namespace tarv::checks

#endif  // TARV_SRC_CHECKS_SHIFT_CHECKS_H_
