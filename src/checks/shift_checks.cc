#include "src/checks/shift_checks.h"

#include <algorithm>

#include "base/text/utf8.h"
#include "src/limits.h"

namespace tarv::checks {

std::optional<calendar::UtcTime> to_utc(const msg::Timestamp& ts) {
  return calendar::utc_time(ts.seconds, ts.nanos);
}

CalcResult<ShiftTimes> validate_header_and_shift(const msg::Context& context, bool header_present,
                                                 std::string_view cashier,
                                                 std::optional<std::string_view> currency,
                                                 const std::optional<msg::Timestamp>& at,
                                                 HeaderRules rules) {
  if (!header_present) return std::unexpected(err::kHeaderMissing);
  if (rules.check_cashier && text::utf8::char_count(cashier) > limits::kCashierChars) {
    return std::unexpected(err::kCashierLength);
  }
  if (currency &&
      context.currencies.for_each([&](const std::string& c) { return c != *currency; })) {
    return std::unexpected(err::kCurrency);
  }
  const auto& shift = context.shift_ctx;
  if (!shift || !shift->opened_at || shift->closed_at) return std::unexpected(err::kShiftClosed);
  auto opened_at = to_utc(*shift->opened_at);
  if (!opened_at) return std::unexpected(err::kMalformed);
  if (!at) return std::unexpected(err::kHeaderDateTime);
  auto doc_at = to_utc(*at);
  if (!doc_at) return std::unexpected(err::kMalformed);
  if (*doc_at < *opened_at) return std::unexpected(err::kSystemTime);
  calendar::Span open_for = calendar::span_between(*opened_at, *doc_at);
  bool too_old = open_for.seconds > limits::kShiftSeconds ||
                 (open_for.seconds == limits::kShiftSeconds && open_for.nanos > 0);
  if (too_old && !rules.allow_too_old) return std::unexpected(err::kShift24h);
  auto local = calendar::local_date_time(*doc_at);
  if (!local) return std::unexpected(err::kMalformed);
  return ShiftTimes{*opened_at, *doc_at, too_old, *local};
}

CalcResult<ShiftTimes> validate_header_and_shift(const msg::Context& context,
                                                 const std::optional<msg::Header>& header,
                                                 HeaderRules rules) {
  static const msg::Header kNone;
  const msg::Header& h = header ? *header : kNone;
  std::optional<std::string_view> currency;
  if (rules.check_currency) currency = h.currency;
  return validate_header_and_shift(context, header.has_value(), h.cashier, currency, h.at, rules);
}

}  // namespace tarv::checks
