#pragma once

#include <QDialog>

class AutostartEntry;
class CSettingSwitcherDlg;
class CSettingTesterDlg;
class QPushButton;
class QTabWidget;
class SettingsStore;

namespace platform {
class MessageBox;
}

// "ORV Settings": the "Tester" and "Switcher" pages, OK and Cancel, and "Default" for the page shown.
// OK saves through both pages and closes only when both accept their values.
class CSettingSheet : public QDialog {
    Q_OBJECT
public:
    // autostart: the desktop's entry that the Switcher page's "Start with the desktop" writes and removes.
    CSettingSheet(SettingsStore& store, platform::MessageBox& messages, const AutostartEntry& autostart,
                  QWidget* parent = nullptr);

    // Tahoma 9 pt where the system has it, a sans-serif of that size where not.
    static QFont DialogFont();

    QTabWidget* Tabs() const { return m_tabs; }
    CSettingTesterDlg* TesterPage() const { return m_tester; }
    CSettingSwitcherDlg* SwitcherPage() const { return m_switcher; }
    QPushButton* DefaultButton() const { return m_default; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }

    void accept() override;

private:
    void OnDefault();

    QTabWidget* m_tabs;
    CSettingTesterDlg* m_tester;
    CSettingSwitcherDlg* m_switcher;
    QPushButton* m_default;
    QPushButton* m_ok;
    QPushButton* m_cancel;
};
