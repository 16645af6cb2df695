// The window with a million proxies, offscreen: start-up with the saved list, a sort by every column,
// select all, reverse the selection, delete duplicates and scroll a page. Prints the time of each step
// and the peak memory of the process.
#include "app/CommandIds.h"
#include "settings/SavedList.h"
#include "tests/support/ScriptedDesktop.h"
#include "tests/support/TempDir.h"
#include "ui/CCellListCtrl.h"
#include "ui/CMainFrame.h"
#include "ui/OrvResources.h"

#include <QApplication>
#include <QScrollBar>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <random>
#include <sys/resource.h>

namespace {

constexpr size_t RecordCount = 1000000;

// Varied records: every result column has all its values, and one record in twenty repeats an
// address and port met before.
void WriteList(const std::string& folder) {
    std::mt19937 random(406);
    ProxyList list;
    list.Reserve(RecordCount);
    for (size_t i = 0; i < RecordCount; ++i) {
        auto item = std::make_unique<ProxyItem>();
        if (i % 20 == 19) {
            const ProxyItem& earlier = *list[i / 2];
            std::memcpy(item->m_ip, earlier.m_ip, sizeof item->m_ip);
            std::memcpy(item->m_port, earlier.m_port, sizeof item->m_port);
        } else {
            const uint32_t address = static_cast<uint32_t>(random());
            std::snprintf(item->m_ip, sizeof item->m_ip, "%u.%u.%u.%u", address >> 24, (address >> 16) & 255,
                          (address >> 8) & 255, address & 255);
            std::snprintf(item->m_port, sizeof item->m_port, "%u", static_cast<unsigned>(80 + random() % 9000));
        }
        const auto pick = [&](int32_t low, int32_t high) {
            return static_cast<int32_t>(low + static_cast<int32_t>(random() % static_cast<uint32_t>(high - low + 1)));
        };
        item->m_status = pick(0, 4);
        item->m_delay = pick(-2, 5000);
        item->m_anonymity = pick(-2, 3);
        item->m_country = pick(-2, 238);
        item->m_https = pick(-2, 1);
        item->m_gateway = pick(-2, 1);
        item->m_danger = pick(-2, 1);
        item->m_codeen = pick(-2, 1);
        list.Append(std::move(item));
    }
    std::ofstream(folder + SavedList::FileName, std::ios::binary) << SavedList::ToBytes(list, "2026-12-07 10:00:00");
}

double Seconds(const std::chrono::steady_clock::time_point& start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The processor time of this process: on a machine shared with others the wall time also holds waits.
double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Times one user action and the repaint it causes: "wall s (cpu s)".
template <typename Action> std::string Time(CMainFrame& frame, Action action) {
    const auto start = std::chrono::steady_clock::now();
    const double cpu = CpuSeconds();
    action();
    frame.ListView()->viewport()->repaint();
    QApplication::processEvents();
    char text[64];
    std::snprintf(text, sizeof text, "%7.3f s (cpu %.3f s)", Seconds(start), CpuSeconds() - cpu);
    return text;
}

long PeakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TempDir dir;
    WriteList(dir.Path());
    std::printf("list.dat with %zu records written (peak memory so far %ld MB)\n", RecordCount, PeakMegabytes());

    QApplication application(argc, argv);
    InitOrvResources();
    ScriptedDesktop desktop;

    const auto start = std::chrono::steady_clock::now();
    const double startCpu = CpuSeconds();
    CMainFrame frame(desktop.Services(), dir.Path(), dir.Path(), FirefoxChannel::Ports{1, 0});
    if (!frame.Create())
        return 1;
    frame.show();
    frame.repaint();
    QApplication::processEvents();
    std::printf("start-up with the list:     %7.3f s (cpu %.3f s)  %zu rows\n", Seconds(start), CpuSeconds() - startCpu,
                static_cast<size_t>(frame.ListView()->model()->rowCount()));

    const char* names[] = {"Status",  "Proxy", "Port",    "Delay",  "Anonymity",
                           "Country", "Https", "Gateway", "Danger", "CoDeeN"};
    for (int column = 0; column < 10; ++column)
        std::printf("sort by %-10s          %s\n", names[column],
                    Time(frame, [&] { frame.Model().OnHeaderClick(column); }).c_str());
    std::printf("select all:                 %s\n", Time(frame, [&] { frame.OnCommand(cmd::SelectAll); }).c_str());
    std::printf("reverse selection:          %s\n",
                Time(frame, [&] { frame.OnCommand(cmd::ReverseSelection); }).c_str());
    frame.ListView()->clearSelection();
    const std::string deleting = Time(frame, [&] { frame.OnCommand(cmd::DeleteDuplicates); });
    std::printf("delete duplicates:          %s  %zu rows left\n", deleting.c_str(), frame.Model().List().GetSize());
    QScrollBar* scroll = frame.ListView()->verticalScrollBar();
    scroll->setValue(scroll->maximum() / 2);
    QApplication::processEvents();
    const int pages = 50;
    const auto scrolling = std::chrono::steady_clock::now();
    for (int page = 0; page < pages; ++page) {
        scroll->setValue(scroll->value() + scroll->pageStep());
        frame.ListView()->viewport()->repaint();
    }
    std::printf("scroll one page:            %7.3f ms (mean of %d)\n", Seconds(scrolling) * 1000 / pages, pages);
    std::printf("peak memory:                %7ld MB\n", PeakMegabytes());
    return 0;
}
