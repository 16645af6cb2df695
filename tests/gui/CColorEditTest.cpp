#include "ui/CColorEdit.h"
#include "app/LogStore.h"
#include "tests/support/QtApp.h"

#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

namespace {

QString Shown(const LogStore& log) {
    QString text = QString::fromStdString(log.Text());
    return text.remove(QLatin1Char('\r'));
}

} // namespace

TEST(CColorEdit, LogPaneIsReadOnlyWhiteOnGrey) {
    QtApp();
    LogStore log;
    std::unique_ptr<CColorEdit> pane(CColorEdit::CreateLogPane(log, nullptr));
    EXPECT_TRUE(pane->isReadOnly());
    EXPECT_EQ(pane->palette().color(QPalette::Text), QColor(Qt::white));
    EXPECT_EQ(pane->palette().color(QPalette::Base), QColor(100, 100, 100));
}

TEST(CColorEdit, FollowsTheEndOfTheLogThroughGrowthAndRestarts) {
    QtApp();
    LogStore log;
    std::unique_ptr<CColorEdit> pane(CColorEdit::CreateLogPane(log, nullptr));
    pane->resize(367, 92);
    pane->show();
    for (int i = 0; i < 200; ++i) {
        log.AppendLog("Line " + std::to_string(i) + "\r\n");
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(pane->toPlainText(), Shown(log));
    QScrollBar* bar = pane->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());

    log.AppendLog("fresh\r\n", LogMode::Clear);
    QCoreApplication::processEvents();
    EXPECT_EQ(pane->toPlainText(), QStringLiteral("fresh\n"));

    log.AppendLog(std::string(LogStore::ResetLength, 'x') + "\r\n");
    log.AppendLog("after\r\n");
    QCoreApplication::processEvents();
    EXPECT_EQ(pane->toPlainText(), QStringLiteral("Reset log text.\nafter\n"));
    EXPECT_EQ(bar->value(), bar->maximum());
}

TEST(CColorEdit, ShowsEveryLineAppendedFromOtherThreads) {
    QtApp();
    LogStore log;
    std::unique_ptr<CColorEdit> pane(CColorEdit::CreateLogPane(log, nullptr));
    std::vector<std::thread> writers;
    for (int t = 0; t < 3; ++t) {
        writers.emplace_back([&log, t] {
            for (int i = 0; i < 300; ++i) {
                log.AppendLog("worker " + std::to_string(t) + " line " + std::to_string(i) + "\r\n");
            }
        });
    }
    while (writers.size() > 0) {
        QCoreApplication::processEvents();
        writers.back().join();
        writers.pop_back();
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(pane->toPlainText(), Shown(log));
}

TEST(CColorEdit, APaneDestroyedWhileThreadsAppendStopsListening) {
    QtApp();
    LogStore log;
    auto pane = std::make_unique<CColorEdit>();
    pane->Attach(log);
    std::thread writer([&log] {
        for (int i = 0; i < 2000; ++i) {
            log.AppendLog("x\r\n");
        }
    });
    pane.reset();
    writer.join();
    QCoreApplication::processEvents(); // no queued refresh may reach the dead pane
    EXPECT_EQ(log.Text().size(), 6000u);
}
