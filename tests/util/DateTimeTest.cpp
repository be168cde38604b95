#include "util/DateTime.h"

#include <cstdlib>
#include <gtest/gtest.h>

using namespace ocelis;

TEST(DateTime, EncodesCalendarDays) {
    TDateTime dt = -1;
    ASSERT_TRUE(EncodeDateTime(1899, 12, 30, 0, 0, 0, 0, dt));
    EXPECT_DOUBLE_EQ(dt, 0.0);
    ASSERT_TRUE(EncodeDateTime(1970, 1, 1, 12, 0, 0, 0, dt));
    EXPECT_DOUBLE_EQ(dt, 25569.5);
    EXPECT_FALSE(EncodeDateTime(2023, 2, 29, 0, 0, 0, 0, dt));
    EXPECT_TRUE(EncodeDateTime(2024, 2, 29, 0, 0, 0, 0, dt));
    EXPECT_FALSE(EncodeDateTime(2024, 1, 1, 24, 0, 0, 0, dt));
}

TEST(DateTime, UnixRoundTripInLocalTime) {
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_DOUBLE_EQ(UnixToLocalDateTime(0), 25569.0);
    EXPECT_EQ(LocalDateTimeToUnix(UnixToLocalDateTime(1700000000)), 1700000000);
    setenv("TZ", "CET-1", 1);
    tzset();
    EXPECT_DOUBLE_EQ(UnixToLocalDateTime(0), 25569.0 + 1.0 / 24.0);
    EXPECT_EQ(LocalDateTimeToUnix(UnixToLocalDateTime(1700000000)), 1700000000);
    unsetenv("TZ");
    tzset();
}

TEST(DateTime, OffsetFollowsTheInstantAndZeroDateIsFixed) {
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    // Daylight saving ends at 01:00 GMT on 27 October 2024.
    EXPECT_EQ(LocalUtcOffset(1729989000), 7200); // 00:30 GMT
    EXPECT_EQ(LocalUtcOffset(1729991400), 3600); // 01:10 GMT
    // 25569 days before the epoch, whatever the zone.
    EXPECT_EQ(kZeroDateUnix, -25569LL * 86400);
    unsetenv("TZ");
    tzset();
}
