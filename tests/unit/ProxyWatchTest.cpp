#include "app/ProxyWatch.h"

#include <gtest/gtest.h>

using std::chrono::milliseconds;

// The test aid replaces the minutes only when it holds whole seconds; anything else leaves the settings' pace.
TEST(ProxyWatch, TheTestAidSetsTheIntervalAndTheRecheck) {
    struct Case {
        const char* m_aid;
        int32_t m_minutes;
        milliseconds m_interval;
        milliseconds m_recheck;
    };
    const Case cases[] = {
        {nullptr, 5, milliseconds(300'000), milliseconds(10'000)},
        {nullptr, 0, milliseconds(60'000), milliseconds(10'000)},
        {nullptr, 9999, milliseconds(86'400'000), milliseconds(10'000)},
        {"3", 5, milliseconds(3000), milliseconds(10'000)},
        {"3,1", 5, milliseconds(3000), milliseconds(1000)},
        {"0,-1", 2, milliseconds(120'000), milliseconds(10'000)},
        {"soon", 1, milliseconds(60'000), milliseconds(10'000)},
        {"2,x", 1, milliseconds(2000), milliseconds(10'000)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_aid == nullptr ? "none" : c.m_aid);
        const ProxyWatch::Timing timing = ProxyWatch::TimingFrom(c.m_aid, c.m_minutes);
        EXPECT_EQ(timing.interval, c.m_interval);
        EXPECT_EQ(timing.recheck, c.m_recheck);
    }
}
