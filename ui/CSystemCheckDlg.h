#pragma once

#include <QDialog>

class QCheckBox;
class SettingsStore;
namespace platform {
class MessageBox;
class ShellOpen;
} // namespace platform

// "ORV System Check": offers the support page about the limit of simultaneous connections. The check
// box is CheckSystem and is saved at each click; "Yes" turns the start-up check off and opens the page.
// Modeless: the main window stays usable, and several may be open.
class CSystemCheckDlg : public QDialog {
    Q_OBJECT
public:
    CSystemCheckDlg(SettingsStore& settings, platform::ShellOpen& shell, platform::MessageBox& messages,
                    QWidget* parent = nullptr);

    QCheckBox* CheckBox() const { return m_check; }
    void accept() override;

private:
    SettingsStore& m_settings;
    platform::ShellOpen& m_shell;
    platform::MessageBox& m_messages;
    QCheckBox* m_check;
};
