// 10,000 switches of the frame (quick-switch entries and direct connection, each telling Firefox and the
// desktop) against three extensions that cannot take them: none listening, one that accepts and never
// reads, one that never accepts. Prints the switch rate and the threads, descriptors and memory before, at
// the peak and after the frame is gone. The extension runs in a child process, so that its own
// connections are not counted here.
#include "app/CommandIds.h"
#include "app/FrameModel.h"
#include "app/NullFrameView.h"
#include "platform/Clipboard.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "platform/ShellOpen.h"
#include "switching/NoSystemProxy.h"
#include "tests/support/ExtensionStub.h"
#include "tests/support/FrameModelTestAccess.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TempDir.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int Switches = 10000;
constexpr int SampleEvery = 100;

struct Usage {
    size_t threads = 0;
    size_t descriptors = 0;
    long hwmKiB = 0;
    long rssKiB = 0;
};

long StatusKiB(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field + ":", 0) == 0)
            return std::stol(line.substr(field.size() + 1));
    return -1;
}

Usage Measure() {
    return {ThreadCount(), OpenDescriptors(), StatusKiB("VmHWM"), StatusKiB("VmRSS")};
}

// The extension in a child process; it ends when the pipe to it closes.
class ChildExtension {
public:
    explicit ChildExtension(std::optional<ExtensionStub::Mode> mode) {
        int toChild[2], fromChild[2];
        if (pipe(toChild) != 0 || pipe(fromChild) != 0)
            throw std::runtime_error("pipe");
        m_pid = fork();
        if (m_pid == 0) {
            close(toChild[1]);
            close(fromChild[0]);
            std::optional<ExtensionStub> stub;
            if (mode)
                stub.emplace(*mode);
            const uint16_t port = stub ? stub->Port() : ClosedPort();
            [[maybe_unused]] ssize_t n = write(fromChild[1], &port, sizeof port);
            char byte;
            n = read(toChild[0], &byte, 1);
            _exit(0);
        }
        close(toChild[0]);
        close(fromChild[1]);
        m_pipe = toChild[1];
        if (read(fromChild[0], &m_port, sizeof m_port) != sizeof m_port)
            throw std::runtime_error("the extension process did not start");
        close(fromChild[0]);
    }
    ~ChildExtension() {
        close(m_pipe);
        waitpid(m_pid, nullptr, 0);
    }
    uint16_t Port() const { return m_port; }

private:
    pid_t m_pid = -1;
    int m_pipe = -1;
    uint16_t m_port = 0;
};

void Run(const char* name, std::optional<ExtensionStub::Mode> mode) {
    ChildExtension extension(mode);
    const Usage before = Measure();
    Usage peak = before;
    double seconds = 0;
    bool drained = false;
    {
        TempDir folder;
        NullFrameView view;
        platform::ScriptedMessageBox messages;
        platform::MemoryClipboard clipboard;
        platform::ScriptedFileDialog files;
        platform::RecordingShellOpen shell;
        NoSystemProxy desktop;
        FrameModel frame(view, {messages, clipboard, files, shell, desktop}, folder.Path(), folder.Path(),
                         {extension.Port(), 0});
        for (const char* address : {"10.1.2.3:8080", "10.1.2.4:3128"}) {
            auto item = std::make_unique<ProxyItem>();
            item->SetAddress(address);
            item->m_status = StatusReady;
            FrameModelTestAccess::List(frame).Append(std::move(item));
        }
        FrameModelTestAccess::List(frame).RenumberList();
        FrameModelTestAccess::RebuildQuickSwitchSet(frame);
        const int commands[] = {cmd::QuickSwitchFirst, cmd::QuickSwitchFirst + 1, cmd::DirectConnection};
        const auto start = Clock::now();
        for (int i = 0; i < Switches; ++i) {
            frame.OnSwitchCommand(commands[i % 3]);
            if (i % SampleEvery == 0) {
                const Usage now = Measure();
                peak.threads = std::max(peak.threads, now.threads);
                peak.descriptors = std::max(peak.descriptors, now.descriptors);
            }
        }
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
        drained = frame.Firefox().WaitForSenders(1s);
    }
    // A joined thread may linger in /proc/self/task for a moment.
    Usage after = Measure();
    for (int i = 0; i < 100 && after.threads != before.threads; ++i) {
        std::this_thread::sleep_for(10ms);
        after = Measure();
    }
    std::printf("%-22s %9.0f switches/s  drained within 1 s: %-3s  threads %zu/%zu/%zu  descriptors %zu/%zu/%zu  "
                "VmHWM %ld -> %ld KiB  VmRSS %ld -> %ld KiB\n",
                name, Switches / seconds, drained ? "yes" : "no", before.threads, peak.threads, after.threads,
                before.descriptors, peak.descriptors, after.descriptors, before.hwmKiB, after.hwmKiB, before.rssKiB,
                after.rssKiB);
}

} // namespace

int main() {
    std::printf("%d switches each; threads and descriptors: before/peak/after\n", Switches);
    Run("nothing listening", std::nullopt);
    Run("accepts, never reads", ExtensionStub::NeverReads);
    Run("never accepts", ExtensionStub::NeverAccepts);
    return 0;
}
