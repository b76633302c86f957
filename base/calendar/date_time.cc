#include "base/calendar/date_time.h"

namespace tarv::calendar {
namespace {

// The calendar range of a date-time: years -262143 to 262142.
constexpr int64_t kMinYear = -262143;
constexpr int64_t kMaxYear = 262142;

bool in_calendar_range(int64_t day) {
  static const int64_t kMinDay = days_from_civil(kMinYear, 1, 1);
  static const int64_t kMaxDay = days_from_civil(kMaxYear, 12, 31);
  return day >= kMinDay && day <= kMaxDay;
}

int64_t floor_div(int64_t a, int64_t b) {
  int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

}  // namespace

// Howard Hinnant's days_from_civil.
int64_t days_from_civil(int64_t year, uint32_t month, uint32_t day) {
  year -= month <= 2;
  const int64_t era = floor_div(year, 400);
  const int64_t yoe = year - era * 400;
  const int64_t mp = (month + 9) % 12;
  const int64_t doy = (153 * mp + 2) / 5 + day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

DateTime civil_from_days(int64_t days, uint32_t second_of_day) {
  days += 719468;
  const int64_t era = floor_div(days, 146097);
  const int64_t doe = days - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const int64_t year = yoe + era * 400 + (month <= 2);
  return DateTime{static_cast<int32_t>(year), static_cast<uint32_t>(month),
                  static_cast<uint32_t>(day), second_of_day};
}

std::optional<UtcTime> utc_time(int64_t seconds, int32_t nanos) {
  if (nanos < 0 || nanos > 1999999999) return std::nullopt;
  const int64_t day = floor_div(seconds, kSecondsPerDay);
  // day * 86400 would overflow for the earliest seconds; the remainder cannot.
  const auto second_of_day =
      static_cast<uint32_t>((seconds % kSecondsPerDay + kSecondsPerDay) % kSecondsPerDay);
  if (nanos >= 1000000000 && second_of_day % 60 != 59) return std::nullopt;
  if (!in_calendar_range(day)) return std::nullopt;
  return UtcTime{day, second_of_day, static_cast<uint32_t>(nanos)};
}

Span span_between(const UtcTime& earlier, const UtcTime& later) {
  // A time inside a leap second is one whole second further on when the
  // other time lies in a later second of the day.
  int64_t adjust = 0;
  if (later.second_of_day > earlier.second_of_day) {
    adjust = earlier.nanos >= 1000000000 ? 1 : 0;
  } else if (later.second_of_day < earlier.second_of_day) {
    adjust = later.nanos >= 1000000000 ? -1 : 0;
  }
  int64_t seconds = (later.day - earlier.day) * kSecondsPerDay +
                    (static_cast<int64_t>(later.second_of_day) - earlier.second_of_day) + adjust;
  int64_t nanos = static_cast<int64_t>(later.nanos) - earlier.nanos;
  seconds += floor_div(nanos, 1000000000);
  nanos -= floor_div(nanos, 1000000000) * 1000000000;
  return Span{seconds, static_cast<uint32_t>(nanos)};
}

std::optional<DateTime> local_date_time(const UtcTime& time) {
  int64_t total = time.second_of_day + kLocalOffsetSeconds;
  int64_t day = time.day + total / kSecondsPerDay;
  if (!in_calendar_range(day)) return std::nullopt;
  return civil_from_days(day, static_cast<uint32_t>(total % kSecondsPerDay));
}

}  // namespace tarv::calendar
