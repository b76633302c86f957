// Calendar arithmetic that the exports cannot reach: dates before 2000
// (documents cannot carry them) and the edges of the calendar range.
#include "base/calendar/date_time.h"

#include <gtest/gtest.h>

#include <limits>
#include <tuple>
#include <vector>

namespace tarv::calendar {
namespace {

TEST(DateTime, CivilDays) {
  struct Case {
    int64_t days;
    int64_t year;
    uint32_t month, day;
  };
  const std::vector<Case> cases = {
      {-1, 1969, 12, 31},         {0, 1970, 1, 1},
      {11016, 2000, 2, 29},       {47540, 2100, 2, 28},
      {47541, 2100, 3, 1},        {-25509, 1900, 2, 28},
      {-25508, 1900, 3, 1},       {-135081, 1600, 2, 29},
      {-719162, 1, 1, 1},         {-719468, 0, 3, 1},
      {-96465292, -262143, 1, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.days);
    EXPECT_EQ(days_from_civil(c.year, c.month, c.day), c.days);
    const DateTime d = civil_from_days(c.days, 5);
    EXPECT_EQ(std::tie(d.year, d.month, d.day, d.second_of_day),
              std::make_tuple(static_cast<int32_t>(c.year), c.month, c.day, 5u));
  }
}

TEST(DateTime, UtcTimeFloorsAndRange) {
  // Negative seconds belong to the day before, with a non-negative second.
  auto t = utc_time(-1, 0);
  ASSERT_TRUE(t);
  EXPECT_EQ(std::tie(t->day, t->second_of_day), std::make_tuple(int64_t{-1}, 86399u));
  t = utc_time(-86400, 0);
  ASSERT_TRUE(t);
  EXPECT_EQ(std::tie(t->day, t->second_of_day), std::make_tuple(int64_t{-1}, 0u));
  ASSERT_TRUE(utc_time(-61, 1999999999));  // 23:58:59, a leap second
  EXPECT_FALSE(utc_time(-60, 1000000000));

  // -262143-01-01 to 262142-12-31.
  const int64_t first = -96465292 * kSecondsPerDay;
  const int64_t last = (95026236 + 1) * kSecondsPerDay - 1;
  EXPECT_TRUE(utc_time(first, 0));
  EXPECT_FALSE(utc_time(first - 1, 0));
  EXPECT_TRUE(utc_time(last, 0));
  EXPECT_FALSE(utc_time(last + 1, 0));
  EXPECT_FALSE(utc_time(std::numeric_limits<int64_t>::min(), 0));
  EXPECT_FALSE(utc_time(std::numeric_limits<int64_t>::max(), 0));
}

}  // namespace
}  // namespace tarv::calendar
