#include <gtest/gtest.h>

#include <string>

#include "log/trace_line.h"

namespace {

TraceClock Clock(unsigned year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                 unsigned second, unsigned milliseconds) {
    TraceClock clock;
    clock.year = static_cast<std::uint16_t>(year);
    clock.month = static_cast<std::uint16_t>(month);
    clock.day = static_cast<std::uint16_t>(day);
    clock.hour = static_cast<std::uint16_t>(hour);
    clock.minute = static_cast<std::uint16_t>(minute);
    clock.second = static_cast<std::uint16_t>(second);
    clock.milliseconds = static_cast<std::uint16_t>(milliseconds);
    return clock;
}

TEST(TraceLine, HeaderPadsEveryField) {
    struct Case {
        TraceClock clock;
        std::uint32_t processId;
        std::uint32_t threadId;
        const char* header;
    };
    const Case cases[] = {
        {Clock(2019, 9, 16, 9, 5, 3, 7), 4242, 5120,
         "[2019-09-16 09:05:03.007][Velmora_Setup.exe(4242), T:5120]"},
        {Clock(0, 0, 0, 0, 0, 0, 0), 0, 0, "[0000-00-00 00:00:00.000][Velmora_Setup.exe(0), T:0]"},
        {Clock(2024, 12, 31, 23, 59, 58, 999), 1, 2,
         "[2024-12-31 23:59:58.999][Velmora_Setup.exe(1), T:2]"},
        // A field wider than its place comes out whole.
        {Clock(65535, 100, 65535, 123, 60, 61, 1000), 4294967295u, 4294967295u,
         "[65535-100-65535 123:60:61.1000][Velmora_Setup.exe(4294967295), T:4294967295]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.header);
        EXPECT_EQ(TraceHeaderText(c.clock, "Velmora_Setup.exe", c.processId, c.threadId), c.header);
    }
}

TEST(TraceLine, HeaderTakesTheNameAsItStands) {
    TraceClock clock = Clock(2024, 1, 2, 0, 0, 0, 0);
    std::string longName(600, 'n');
    EXPECT_EQ(TraceHeaderText(clock, longName, 7, 9),
              "[2024-01-02 00:00:00.000][" + longName + "(7), T:9]");
    std::string korean = "\xC7\xD1\xB1\xDB.exe";
    EXPECT_EQ(TraceHeaderText(clock, korean, 7, 9),
              "[2024-01-02 00:00:00.000][" + korean + "(7), T:9]");
    EXPECT_EQ(TraceHeaderText(clock, "", 7, 9), "[2024-01-02 00:00:00.000][(7), T:9]");
}

}  // namespace
