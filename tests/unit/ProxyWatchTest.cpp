#include "app/ProxyWatch.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

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

// The tray's Ready records come first in menu order, then the others no worse than the dead proxy, by level and
// delay, untested delays last; never the active one, and at most twenty.
TEST(ProxyWatch, CandidatesComeInTheirOrder) {
    struct Row {
        int32_t m_status;
        int32_t m_level;
        int32_t m_delay;
    };
    struct Case {
        const char* m_name;
        std::vector<Row> m_rows;
        int32_t m_worst;
        std::vector<size_t> m_expected;
    };
    const Case cases[] = {
        {"ready first, then by level and delay",
         {{StatusGood, 2, 100},
          {StatusReady, 3, -1},
          {StatusActive, 2, 50},
          {StatusGood, 1, 900},
          {StatusGood, 2, 40},
          {StatusBad, TimedOut, TimedOut},
          {StatusReady, 1, 10}},
         2,
         {1, 6, 3, 4, 0}},
        {"untested delays last in their level",
         {{StatusActive, 1, 10}, {StatusGood, 1, Untested}, {StatusGood, 1, 300}, {StatusGood, 3, 5}},
         1,
         {2, 1}},
        {"nothing but the active one", {{StatusActive, 1, 10}, {StatusUnknown, Untested, Untested}}, 3, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_name);
        ProxyList list;
        std::vector<ProxyItem*> menu;
        const ProxyItem* active = nullptr;
        for (size_t i = 0; i < c.m_rows.size(); ++i) {
            auto item = std::make_unique<ProxyItem>();
            item->SetAddress("10.0.0." + std::to_string(i) + ":80");
            item->m_status = c.m_rows[i].m_status;
            item->m_anonymity = c.m_rows[i].m_level;
            item->m_delay = c.m_rows[i].m_delay;
            ProxyItem* added = list.Append(std::move(item));
            if (c.m_rows[i].m_status == StatusActive)
                active = added;
            if (c.m_rows[i].m_status == StatusActive || c.m_rows[i].m_status == StatusReady)
                menu.push_back(added);
        }
        std::vector<size_t> order;
        for (const ProxyItem* candidate : ProxyWatch::Candidates(menu, list, active, c.m_worst))
            for (size_t i = 0; i < list.GetSize(); ++i)
                if (list[i] == candidate)
                    order.push_back(i);
        EXPECT_EQ(order, c.m_expected);
    }
    ProxyList many;
    for (int i = 0; i < 30; ++i) {
        auto item = std::make_unique<ProxyItem>();
        item->SetAddress("10.0.1." + std::to_string(i) + ":80");
        item->m_anonymity = 1;
        many.Append(std::move(item));
    }
    EXPECT_EQ(ProxyWatch::Candidates({}, many, nullptr, 3).size(), ProxyWatch::MostCandidates);
}
