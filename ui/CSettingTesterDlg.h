#pragma once

#include "app/TesterPageLogic.h"
#include "platform/OwnedThread.h"

#include <QWidget>

class QCheckBox;
class QLineEdit;
class QPushButton;

// The settings sheet's "Tester" page: the judge addresses and the test page (each with a "Check"), the
// thread and timeout limits, the test mode and the seven test items. The rules live in TesterPageLogic;
// the page only moves values in and out. A check fetches on a thread of the page's own and shows its
// answer when it comes; the page goes on answering meanwhile.
class CSettingTesterDlg : public QWidget {
    Q_OBJECT
public:
    CSettingTesterDlg(SettingsStore& store, platform::MessageBox& messages, QWidget* parent = nullptr);

    void OnDefault();
    // The sheet's OK; false after a message, with the page still open.
    bool Validate();

    QLineEdit* ProxyJudgeEdit() const { return m_proxyJudge; }
    QLineEdit* TestPageEdit() const { return m_testPage; }
    QLineEdit* TestPageMarkerEdit() const { return m_testPageMarker; }
    QPushButton* CheckJudgeButton() const { return m_checkJudge; }
    QPushButton* CheckTestPageButton() const { return m_checkTestPage; }
    QLineEdit* MaxThreadEdit() const { return m_maxThread; }
    QLineEdit* TimeoutEdit() const { return m_timeout; }
    QCheckBox* StrictModeBox() const { return m_strictMode; }
    QCheckBox* SimulateBrowserBox() const { return m_simulateBrowser; }
    QCheckBox* AllBox() const { return m_all; }
    QCheckBox* ItemBox(TesterPageLogic::TestItem item) const { return m_items[static_cast<int>(item)]; }

private:
    static constexpr int ItemCount = 7;
    // Seconds that a check waits for each address.
    static constexpr int CheckTimeout = 10;

    TesterPageControls Controls() const;
    void Show(const TesterPageControls& controls);
    void OnItemClicked(TesterPageLogic::TestItem item);
    // Runs check on the check thread; its text comes back as a message on the window's thread.
    void StartCheck(std::function<std::string(std::stop_token)> check);

    TesterPageLogic m_logic;
    platform::MessageBox& m_messages;
    QLineEdit* m_proxyJudge;
    QLineEdit* m_testPage;
    QLineEdit* m_testPageMarker;
    QPushButton* m_checkJudge;
    QPushButton* m_checkTestPage;
    QLineEdit* m_maxThread;
    QLineEdit* m_timeout;
    QCheckBox* m_strictMode;
    QCheckBox* m_simulateBrowser;
    QCheckBox* m_all;
    QCheckBox* m_items[ItemCount];
    // Last: stopped and joined before anything it reaches goes.
    platform::OwnedThread m_checkThread;
};
