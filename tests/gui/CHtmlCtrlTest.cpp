#include "ui/CHtmlCtrl.h"
#include "app/StatusPanel.h"
#include "tests/support/QtApp.h"

#include <QAbstractTextDocumentLayout>
#include <QPixmap>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextTable>
#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

class CHtmlCtrlTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_ctrl.Navigate("res://orv.exe/141")); }

    std::string Inner(const char* id) const { return m_ctrl.Page().InnerHtml(id).value_or("<missing>"); }

    QApplication& m_app = QtApp(); // before the control
    CHtmlCtrl m_ctrl;
};

} // namespace

TEST_F(CHtmlCtrlTest, PanelPageStartsWithItsInitialTexts) {
    EXPECT_EQ(Inner("total"), "0");
    EXPECT_EQ(Inner("ready"), "0");
    EXPECT_EQ(Inner("test"), "Initializing the ORV statistics panel...");
    EXPECT_EQ(Inner("activeproxy"), "loading...");
    const QString shown = m_ctrl.toPlainText();
    for (const char* text : {"Total", "Level 1", "Level 2", "Level 3", "Tray", "Current Active Proxy:"}) {
        EXPECT_TRUE(shown.contains(QLatin1String(text))) << text;
    }
    EXPECT_FALSE(m_ctrl.Navigate("res://orv.exe/999"));
    EXPECT_EQ(Inner("total"), "0");
}

TEST_F(CHtmlCtrlTest, HeaderCellsCarryTheirToolTips) {
    const std::pair<const char*, const char*> tips[] = {{"Total", "Total Proxies"},
                                                        {"Level 1", "High Anonymous Proxies"},
                                                        {"Level 2", "Anonymous Proxies"},
                                                        {"Level 3", "Transparent Proxies"},
                                                        {"Tray", "Proxies in System Tray for Quick Switch"}};
    for (const auto& [header, tip] : tips) {
        QTextCursor cursor = m_ctrl.document()->find(QString::fromLatin1(header));
        ASSERT_FALSE(cursor.isNull()) << header;
        EXPECT_EQ(cursor.charFormat().toolTip(), QString::fromLatin1(tip));
    }
}

TEST_F(CHtmlCtrlTest, SetPanelHtmlChangesOnlyThatElementAndShowsIt) {
    std::string before = m_ctrl.Page().Text();
    m_ctrl.SetPanelHtml("level2", "1234");
    std::string after = m_ctrl.Page().Text();
    size_t at = before.find("<td id=\"level2\" align=\"center\">0</td>");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(after, before.substr(0, at) + "<td id=\"level2\" align=\"center\">1234</td>" +
                         before.substr(at + std::string("<td id=\"level2\" align=\"center\">0</td>").size()));
    EXPECT_TRUE(m_ctrl.toPlainText().contains(QLatin1String("1234")));

    m_ctrl.SetPanelHtml("nosuchid", "x"); // skipped silently
    EXPECT_EQ(m_ctrl.Page().Text(), after);
}

TEST_F(CHtmlCtrlTest, UpdatesBeforeAPageIsLoadedDoNothing) {
    CHtmlCtrl empty;
    empty.SetPanelHtml("total", "5");
    EXPECT_EQ(empty.Page().Text(), "");
}

TEST_F(CHtmlCtrlTest, FullRefreshShowsTheListAndTheActiveProxy) {
    PanelSnapshot snapshot{12, 3, 4, 5, 2, false, "2026-12-07 10:11:12", std::string("10.0.0.1:8080")};
    m_ctrl.ApplyPanelUpdates(StatusPanel::FullRefresh(snapshot).updates);
    EXPECT_EQ(Inner("total"), "12");
    EXPECT_EQ(Inner("date"), "2026-12-07 10:11:12");
    EXPECT_EQ(Inner("activeproxy"), "10.0.0.1:8080");
    const QString shown = m_ctrl.toPlainText();
    EXPECT_TRUE(shown.contains(QLatin1String("The proxies were last tested at:")));
    EXPECT_TRUE(shown.contains(QLatin1String("10.0.0.1:8080")));
}

TEST_F(CHtmlCtrlTest, TestLinePlaysTheAnimatedImageWhileATestRuns) {
    const QUrl image(QStringLiteral("res://orv.exe/143"));
    m_ctrl.ApplyPanelUpdates({StatusPanel::TestLine(TestLineMode::Running, "")});
    EXPECT_EQ(Inner("progress"), "0");
    m_ctrl.ApplyPanelUpdates({{"progress", "37"}});
    EXPECT_TRUE(m_ctrl.toPlainText().contains(QLatin1String("37%")));

    QPixmap first = m_ctrl.document()->resource(QTextDocument::ImageResource, image).value<QPixmap>();
    ASSERT_FALSE(first.isNull());
    EXPECT_EQ(first.size(), QSize(16, 16));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            QPixmap now = m_ctrl.document()->resource(QTextDocument::ImageResource, image).value<QPixmap>();
            return now.toImage() != first.toImage();
        },
        10000));

    m_ctrl.ApplyPanelUpdates({StatusPanel::TestLine(TestLineMode::LastTested, "")});
    EXPECT_EQ(Inner("date"), "(not tested yet)");
    EXPECT_FALSE(m_ctrl.Page().InnerHtml("progress").has_value());
}

TEST_F(CHtmlCtrlTest, AppLinksBecomeCommandsAndNeverNavigate) {
    QSignalSpy commands(&m_ctrl, &CHtmlCtrl::appCommand);
    const std::string page = m_ctrl.Page().Text();
    for (const char* link : {"app:yes", "APP:YES", "app:Ok", "app:no", "app:exit", "App:Cancel", "app:maybe", "app:"}) {
        emit m_ctrl.anchorClicked(QUrl(QString::fromLatin1(link)));
    }
    ASSERT_EQ(commands.size(), 6);
    const int expected[] = {CHtmlCtrl::IdOk,     CHtmlCtrl::IdOk,     CHtmlCtrl::IdOk,
                            CHtmlCtrl::IdCancel, CHtmlCtrl::IdCancel, CHtmlCtrl::IdCancel};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(commands[i][0].toInt(), expected[i]) << i;
    }
    EXPECT_EQ(m_ctrl.Page().Text(), page);
}

TEST_F(CHtmlCtrlTest, APostedUpdateReplacesTheOneStillPending) {
    m_ctrl.PostPanelHtml("total", "1");
    m_ctrl.PostPanelHtml("level1", "2"); // replaces the first before it is handled
    EXPECT_EQ(Inner("level1"), "0");     // nothing happens until the event loop runs
    QCoreApplication::processEvents();
    EXPECT_EQ(Inner("total"), "0");
    EXPECT_EQ(Inner("level1"), "2");

    std::thread worker([this] { m_ctrl.PostPanelHtml("level3", "9"); });
    worker.join();
    QCoreApplication::processEvents();
    EXPECT_EQ(Inner("level3"), "9");
}

// The count columns keep their places when the numbers grow and the test line changes, as after a run.
TEST_F(CHtmlCtrlTest, PanelColumnsStayWhereTheyAreWhenTheNumbersChange) {
    m_ctrl.resize(330, 96);
    m_ctrl.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_ctrl));
    // Where each header's fixed text starts: it moves only when its column does.
    const auto columnStarts = [this] {
        std::vector<int> starts;
        for (QTextFrame* frame : m_ctrl.document()->rootFrame()->childFrames())
            if (auto* table = qobject_cast<QTextTable*>(frame); table != nullptr && starts.empty())
                for (int column = 0; column < table->columns(); ++column)
                    starts.push_back(m_ctrl.cursorRect(table->cellAt(0, column).firstCursorPosition()).x());
        return starts;
    };
    const std::vector<int> before = columnStarts();
    ASSERT_EQ(before.size(), 5u);
    const std::vector<PanelUpdate> run[] = {
        {StatusPanel::TestLine(TestLineMode::Running, "45"),
         {"total", "123456"},
         {"level1", "98765"},
         {"level3", "55555"}},
        {StatusPanel::TestLine(TestLineMode::LastTested, "2026-12-08 13:45:00"),
         {"ready", "12"},
         {"activeproxy", "10.0.0.1:8080"}},
    };
    for (const auto& updates : run) {
        m_ctrl.ApplyPanelUpdates(updates);
        EXPECT_EQ(columnStarts(), before);
    }
}
