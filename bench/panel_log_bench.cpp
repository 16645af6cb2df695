// Prints how long the log pane and the statistics panel take under load (offscreen).
#include "app/LogStore.h"
#include "app/StatusPanel.h"
#include "ui/CColorEdit.h"
#include "ui/CHtmlCtrl.h"

#include <QApplication>
#include <QElapsedTimer>

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

const std::string Line = "127.0.0.1:8080 is tested: Level 1, delay 312 ms\r\n";

double Ms(const QElapsedTimer& timer) {
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

void UiThreadBurst() {
    LogStore log;
    std::unique_ptr<CColorEdit> pane(CColorEdit::CreateLogPane(log, nullptr));
    pane->resize(367, 92);
    pane->show();
    QElapsedTimer timer;
    timer.start();
    constexpr int lines = 20000;
    for (int i = 0; i < lines; ++i) {
        log.AppendLog(Line);
    }
    QCoreApplication::processEvents();
    std::printf("%d appends on the UI thread, then one re-show: %.1f ms\n", lines, Ms(timer));
}

void RefreshAfterEveryAppend() {
    LogStore log;
    std::unique_ptr<CColorEdit> pane(CColorEdit::CreateLogPane(log, nullptr));
    pane->resize(367, 92);
    pane->show();
    constexpr int lines = 5000; // several restarts of the log on the way
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < lines; ++i) {
        log.AppendLog(Line);
        QCoreApplication::processEvents();
    }
    std::printf("%d appends, each shown at once: %.3f ms per append\n", lines, Ms(timer) / lines);
}

void WorkerThreads() {
    LogStore log;
    std::unique_ptr<CColorEdit> pane(CColorEdit::CreateLogPane(log, nullptr));
    pane->resize(367, 92);
    pane->show();
    constexpr int threads = 4;
    constexpr int lines = 5000;
    std::atomic<int> done{0};
    QElapsedTimer timer;
    timer.start();
    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t) {
        writers.emplace_back([&] {
            for (int i = 0; i < lines; ++i) {
                log.AppendLog(Line);
            }
            ++done;
        });
    }
    qint64 longestTurn = 0;
    while (done.load() < threads) {
        QElapsedTimer turn;
        turn.start();
        QCoreApplication::processEvents();
        longestTurn = std::max(longestTurn, turn.nsecsElapsed());
    }
    for (auto& writer : writers) {
        writer.join();
    }
    QCoreApplication::processEvents();
    std::printf("%d threads x %d appends, all shown: %.1f ms; longest event-loop turn %.2f ms\n", threads, lines,
                Ms(timer), static_cast<double>(longestTurn) / 1e6);
}

void PanelUpdates() {
    CHtmlCtrl panel;
    panel.resize(330, 96);
    panel.Navigate(QStringLiteral("res://orv.exe/141"));
    panel.show();
    panel.ApplyPanelUpdates({StatusPanel::TestLine(TestLineMode::Running, "")});
    StatusPanel logic;
    constexpr int ticks = 1000;
    QElapsedTimer timer;
    timer.start();
    for (int i = 1; i <= ticks; ++i) {
        panel.ApplyPanelUpdates(logic.Tick({i, i / 2, i / 3, i / 10, i % 7}));
        QCoreApplication::processEvents();
    }
    std::printf("%d per-second refreshes of the panel (up to 5 elements each): %.3f ms per refresh\n", ticks,
                Ms(timer) / ticks);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    UiThreadBurst();
    RefreshAfterEveryAppend();
    WorkerThreads();
    PanelUpdates();
    return 0;
}
