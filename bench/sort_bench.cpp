// Sorts lists of 1,000,000 records by every column and prints the milliseconds of each sort:
// once with random values everywhere, once as real lists look (a handful of ports, most delays
// untested or timed out), which is where the quicksort meets long runs of equal keys.
#include "proxy/ProxyList.h"
#include "proxy/ProxySorter.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>
#include <string>

namespace {

constexpr size_t RecordCount = 1000000;

int32_t Pick(std::mt19937& random, std::initializer_list<int32_t> values) {
    return *(values.begin() + random() % values.size());
}

void Fill(ProxyList& list, bool realistic) {
    std::mt19937 random(2024);
    list.RemoveAll();
    for (size_t i = 0; i < RecordCount; ++i) {
        auto item = std::make_unique<ProxyItem>();
        const std::string ip = std::to_string(random() % 256) + "." + std::to_string(random() % 256) + "." +
                               std::to_string(random() % 256) + "." + std::to_string(random() % 256);
        const int32_t port =
            realistic ? Pick(random, {80, 8080, 3128, 8000, 1080, 8888}) : int32_t(random() % 65535 + 1);
        item->SetAddress(ip + ":" + std::to_string(port));
        const uint32_t roll = random() % 10;
        if (realistic)
            item->m_delay = roll < 5 ? Untested : roll < 8 ? TimedOut : int32_t(random() % 5000 + 1);
        else
            item->m_delay = roll == 0 ? Untested : roll == 1 ? TimedOut : int32_t(random() % 30000 + 1);
        item->m_anonymity = Pick(random, {1, 2, 3, TimedOut, Untested});
        item->m_country = int32_t(random() % 241) - 2;
        item->m_https = Pick(random, {1, 0, TimedOut, Untested});
        item->m_gateway = Pick(random, {1, 0, TimedOut, Untested});
        item->m_danger = Pick(random, {1, 0, Untested});
        item->m_codeen = Pick(random, {1, 0, TimedOut, Untested});
        item->m_status = int32_t(random() % 5);
        list.Append(std::move(item));
    }
}

struct Timed {
    double wall;
    double cpu; // this process only: on a busy machine the wall time also counts other programs
};

template <typename Work> Timed Time(Work work) {
    const auto start = std::chrono::steady_clock::now();
    const std::clock_t cpuStart = std::clock();
    work();
    const std::chrono::duration<double, std::milli> wall = std::chrono::steady_clock::now() - start;
    return {wall.count(), double(std::clock() - cpuStart) * 1000.0 / CLOCKS_PER_SEC};
}

void Run(const char* title, bool realistic) {
    ProxyList list;
    std::printf("%s, %zu records\n", title, RecordCount);
    const char* names[] = {"Status",  "Proxy", "Port",    "Delay",  "Anonymity",
                           "Country", "Https", "Gateway", "Danger", "CoDeeN"};
    for (int32_t column = 0; column < 10; ++column) {
        Fill(list, realistic);
        const Timed first = Time([&] { ProxySorter::SortByColumn(list, column); });
        // Sorting an already sorted list is the second click on the same header.
        const Timed again = Time([&] { ProxySorter::SortByColumn(list, column); });
        std::printf("  %-10s %8.1f ms (CPU %7.1f ms)   again %8.1f ms (CPU %7.1f ms)\n", names[column], first.wall,
                    first.cpu, again.wall, again.cpu);
    }
}

} // namespace

int main() {
    Run("random values", false);
    Run("few ports, mostly untested or timed out", true);
    return 0;
}
