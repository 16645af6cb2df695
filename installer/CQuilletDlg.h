#pragma once

#include "installer/ExtensionInstaller.h"

#include <QDialog>
#include <string>

class QButtonGroup;
class QRadioButton;

// The one window of Quillet: install or uninstall, Go or Cancel. A switch on the command line only
// preselects; nothing happens until Go.
class CQuilletDlg : public QDialog {
    Q_OBJECT
public:
    enum Choice { Install = 0, Uninstall = 1 };

    CQuilletDlg(const std::string& commandLine, ExtensionInstaller& installer, QWidget* parent = nullptr);

    int GetChoice() const;
    void SetChoice(int choice);
    // -1 after a registry failure, else 0.
    int ExitCode() const { return m_exitCode; }

    QRadioButton* InstallRadio() const { return m_install; }
    QRadioButton* UninstallRadio() const { return m_uninstall; }

private:
    void OnGo();
    void BringToFront();

    ExtensionInstaller& m_installer;
    QButtonGroup* m_choice;
    QRadioButton* m_install;
    QRadioButton* m_uninstall;
    int m_exitCode = 0;
};
