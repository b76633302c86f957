// Timestamps and calendar date-times.
//
// A protobuf Timestamp (seconds since the epoch, nanos) becomes a UTC time:
// a day number (floor division by 86400), a second of the day and the nanos.
// Nanos of 1000000000 or more are a leap second and are accepted only in the
// last second of a minute. Documents carry local time: UTC plus exactly
// 10800 seconds, with no zone or daylight-saving rule, and without the
// sub-second part.
#ifndef TARV_BASE_CALENDAR_DATE_TIME_H_
#define TARV_BASE_CALENDAR_DATE_TIME_H_

#include <compare>
#include <cstdint>
#include <optional>

namespace tarv::calendar {

// A calendar date (proleptic Gregorian) and a second of the day, 0..86399.
struct DateTime {
  int32_t year = 2000;
  uint32_t month = 1;  // 1..12
  uint32_t day = 1;    // 1..31
  uint32_t second_of_day = 0;

  friend bool operator==(const DateTime&, const DateTime&) = default;
};

inline constexpr int64_t kSecondsPerDay = 86400;
inline constexpr int64_t kLocalOffsetSeconds = 10800;

struct UtcTime {
  int64_t day = 0;  // days since 1970-01-01
  uint32_t second_of_day = 0;
  uint32_t nanos = 0;  // 0..1999999999; 1e9 and above only in a leap second

  friend auto operator<=>(const UtcTime&, const UtcTime&) = default;
};

// A signed span of time: whole seconds and nanoseconds in 0..999999999.
struct Span {
  int64_t seconds = 0;
  uint32_t nanos = 0;
};

// The UTC time of a timestamp, or nothing when it does not convert (nanos
// out of range, a leap second outside the last second of a minute, or a date
// outside the calendar range).
std::optional<UtcTime> utc_time(int64_t seconds, int32_t nanos);

// later − earlier, where a leap second counts as the second it extends.
Span span_between(const UtcTime& earlier, const UtcTime& later);

// The local date-time (UTC + 10800 s) without its sub-second part, or
// nothing when it leaves the calendar range.
std::optional<DateTime> local_date_time(const UtcTime& time);

// Calendar conversions (proleptic Gregorian).
int64_t days_from_civil(int64_t year, uint32_t month, uint32_t day);
DateTime civil_from_days(int64_t days, uint32_t second_of_day);

}  // namespace tarv::calendar

#endif  // TARV_BASE_CALENDAR_DATE_TIME_H_
