// Saves and loads a saved list of 1,000,000 records and prints the time and the memory each takes.
#include "settings/SavedList.h"
#include "tests/support/TempDir.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr size_t RecordCount = 1000000;

// Wall-clock and CPU seconds of one step; the CPU time tells what a busy machine adds to the wall time.
class Stopwatch {
public:
    Stopwatch() : m_wall(std::chrono::steady_clock::now()), m_cpu(std::clock()) {}
    double Wall() const { return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_wall).count(); }
    double Cpu() const { return static_cast<double>(std::clock() - m_cpu) / CLOCKS_PER_SEC; }

private:
    std::chrono::steady_clock::time_point m_wall;
    std::clock_t m_cpu;
};

void PrintStep(const char* name, const Stopwatch& watch, double megabytes) {
    const double wall = watch.Wall();
    std::printf("%-16s %.3f s wall (%.3f s CPU)  %.1f MB/s\n", name, wall, watch.Cpu(), megabytes / wall);
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
    std::printf("records          %zu\n", RecordCount);
    std::fflush(stdout);
    // The list is built and saved in a child process: the load then meets a fresh heap, as at start-up.
    const pid_t child = fork();
    if (child == 0) {
        ProxyList list;
        Fill(list);
        const Stopwatch watch;
        SavedList::SaveList(dir.Path(), list, "2026-12-07 10:30:00");
        PrintStep("SaveList", watch,
                  static_cast<double>(std::filesystem::file_size(dir.File(SavedList::FileName))) / 1e6);
        std::fflush(stdout);
        _exit(0);
    }
    waitpid(child, nullptr, 0);
    const double bytes = static_cast<double>(std::filesystem::file_size(dir.File(SavedList::FileName)));
    const double megabytes = bytes / 1e6;
    std::printf("file size        %.0f bytes (%.2f MB)\n", bytes, megabytes);

    const long before = ResidentBytes();
    ProxyList list;
    const Stopwatch watch;
    SavedList::LoadList(dir.Path(), list);
    PrintStep("LoadList", watch, megabytes);
    const long after = ResidentBytes();
    const size_t block = malloc_usable_size(list[0]) + sizeof(size_t);
    std::printf("memory/record    %.1f bytes resident growth over %zu loaded records; counted: %zu "
                "(record %zu in a heap block of %zu, array slot %zu)\n",
                static_cast<double>(after - before) / static_cast<double>(list.GetSize()), list.GetSize(),
                block + sizeof(ProxyItem*), sizeof(ProxyItem), block, sizeof(ProxyItem*));
    return 0;
}
