#include <gtest/gtest.h>
#include <time.h>

#include <optional>
#include <string>

#include "platform/core/date_time.h"
#include "platform/core/tests/scoped_env.h"

namespace {

TEST(TimeZoneBiasTest, FollowsTheZoneAndItsDaylightRules) {
    struct Case {
        const char* tz;
        int y, mo, d, h;
        int bias;
    } const cases[] = {
        {"UTC0", 2024, 7, 1, 12, 0},
        {"CET-1CEST,M3.5.0,M10.5.0/3", 2024, 1, 15, 12, -60},
        {"CET-1CEST,M3.5.0,M10.5.0/3", 2024, 7, 1, 12, -120},
        // The day daylight time starts: 01:00 still winter, 04:00 summer.
        {"CET-1CEST,M3.5.0,M10.5.0/3", 2024, 3, 31, 1, -60},
        {"CET-1CEST,M3.5.0,M10.5.0/3", 2024, 3, 31, 4, -120},
        {"EST5EDT,M3.2.0,M11.1.0", 2024, 1, 15, 12, 300},
        {"EST5EDT,M3.2.0,M11.1.0", 2024, 7, 1, 12, 240},
        {"IST-5:30", 2024, 7, 1, 12, -330},
    };
    for (const Case& c : cases) {
        ScopedZone zone(c.tz);
        EXPECT_EQ(TimeZoneBias(EncodeDate(c.y, c.mo, c.d) + EncodeTime(c.h, 0, 0, 0)), c.bias)
            << c.tz << " " << c.y << "-" << c.mo << "-" << c.d << " " << c.h << ":00";
    }
}

TEST(TimeZoneBiasTest, NowMatchesTheBiasAtTheLocalTimeNow) {
    ScopedZone zone("IST-5:30");
    EXPECT_EQ(TimeZoneBias(), -330);
    ScopedZone utc("UTC0");
    EXPECT_EQ(TimeZoneBias(), 0);
}

} // namespace
