// Saves and loads a saved list of 1,000,000 records and prints the time and the memory each takes.
#include "settings/SavedList.h"
#include "tests/support/TempDir.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <malloc.h>
#include <string>

namespace {

constexpr size_t RecordCount = 1000000;

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Resident memory of this process in bytes.
long ResidentBytes() {
    std::ifstream status("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    status >> pages >> resident;
    return resident * 4096;
}

// A list as a long test run leaves it: every status, timeouts, all three levels.
void Fill(ProxyList& list) {
    list.Reserve(RecordCount);
    for (size_t i = 0; i < RecordCount; ++i) {
        auto item = std::make_unique<ProxyItem>();
        const std::string address = std::to_string(1 + i % 223) + "." + std::to_string(i / 65536 % 256) + "." +
                                    std::to_string(i / 256 % 256) + "." + std::to_string(i % 256) + ":" +
                                    std::to_string(80 + i % 9000);
        item->SetAddress(address);
        const auto kind = static_cast<int32_t>(i % 5);
        item->m_status = kind;
        item->m_delay = kind == StatusBad ? TimedOut : static_cast<int32_t>(50 + i % 5000);
        item->m_anonymity = kind == StatusBad ? TimedOut : 1 + static_cast<int32_t>(i % 3);
        item->m_country = static_cast<int32_t>(i % 239);
        item->m_https = static_cast<int32_t>(i % 2);
        list.Append(std::move(item));
    }
    list.RenumberList();
}

} // namespace

int main() {
    TempDir dir;
    {
        ProxyList list;
        Fill(list);
        const auto start = std::chrono::steady_clock::now();
        SavedList::SaveList(dir.Path(), list, "2026-12-07 10:30:00");
        const double seconds = SecondsSince(start);
        const double megabytes = static_cast<double>(dir.Read(SavedList::FileName).size()) / 1e6;
        std::printf("records          %zu\n", RecordCount);
        std::printf("file size        %.0f bytes (%.2f MB)\n", megabytes * 1e6, megabytes);
        std::printf("SaveList         %.3f s  %.1f MB/s (atomic replace, fsync included)\n", seconds,
                    megabytes / seconds);
    }
    malloc_trim(0);
    const long before = ResidentBytes();
    ProxyList list;
    const auto start = std::chrono::steady_clock::now();
    const auto result = SavedList::LoadList(dir.Path(), list);
    const double seconds = SecondsSince(start);
    const long after = ResidentBytes();
    const double megabytes = static_cast<double>(SavedList::ToBytes(list, result.m_lastTestedText).size()) / 1e6;
    std::printf("LoadList         %.3f s  %.1f MB/s  (%zu records loaded)\n", seconds, megabytes / seconds,
                list.GetSize());
    const size_t counted = sizeof(ProxyItem*) + malloc_usable_size(list[0]) + sizeof(size_t);
    std::printf("memory/record    %.1f bytes resident growth; %zu bytes counted (record %zu, heap block %zu, "
                "array slot %zu)\n",
                static_cast<double>(after - before) / static_cast<double>(list.GetSize()), counted, sizeof(ProxyItem),
                malloc_usable_size(list[0]) + sizeof(size_t), sizeof(ProxyItem*));
    return 0;
}
