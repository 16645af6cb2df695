#pragma once

#include "app/TesterPageLogic.h"

#include <QWidget>

class QCheckBox;
class QLineEdit;

// The settings sheet's "Tester" page: the judge address, the thread and timeout limits, the test mode
// and the seven test items. The rules live in TesterPageLogic; the page only moves values in and out.
class CSettingTesterDlg : public QWidget {
    Q_OBJECT
public:
    CSettingTesterDlg(SettingsStore& store, platform::MessageBox& messages, QWidget* parent = nullptr);

    void OnDefault();
    // The sheet's OK; false after a message, with the page still open.
    bool Validate();

    QLineEdit* ProxyJudgeEdit() const { return m_proxyJudge; }
    QLineEdit* MaxThreadEdit() const { return m_maxThread; }
    QLineEdit* TimeoutEdit() const { return m_timeout; }
    QCheckBox* StrictModeBox() const { return m_strictMode; }
    QCheckBox* SimulateBrowserBox() const { return m_simulateBrowser; }
    QCheckBox* AllBox() const { return m_all; }
    QCheckBox* ItemBox(TesterPageLogic::TestItem item) const { return m_items[static_cast<int>(item)]; }

private:
    static constexpr int ItemCount = 7;

    TesterPageControls Controls() const;
    void Show(const TesterPageControls& controls);
    void OnItemClicked(TesterPageLogic::TestItem item);

    TesterPageLogic m_logic;
    QLineEdit* m_proxyJudge;
    QLineEdit* m_maxThread;
    QLineEdit* m_timeout;
    QCheckBox* m_strictMode;
    QCheckBox* m_simulateBrowser;
    QCheckBox* m_all;
    QCheckBox* m_items[ItemCount];
};
