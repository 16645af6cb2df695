#pragma once

#include "app/ExportDialogLogic.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// "Export Lists": the export text in an editable preview, the sections and line options that compose
// it, the file it goes to, Save (write and open it) and Exit (keep the options). The rules live in
// ExportDialogLogic.
class CExportDlg : public QDialog {
    Q_OBJECT
public:
    CExportDlg(SettingsStore& store, ExportDialogLogic::Services services, std::vector<ProxyItem*> exportSet,
               std::string lastTestedText, QWidget* parent = nullptr);

    // "Include passwords" is never kept: each opening starts without the passwords.
    enum Box { Level1, Level2, Level3, Ssl, Unchecked, Timeout, Country, Speed, NoTitle, IncludePasswords, BoxCount };

    QLineEdit* PathEdit() const { return m_path; }
    QPlainTextEdit* Preview() const { return m_preview; }
    QLineEdit* TotalEdit() const { return m_total; }
    QCheckBox* OptionBox(Box box) const { return m_boxes[box]; }
    QPushButton* BrowseButton() const { return m_browse; }
    QPushButton* SaveButton() const { return m_save; }
    QPushButton* ExitButton() const { return m_exit; }

    // Exit, Escape and the close box all come here: the options are kept, then the dialog closes.
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    ExportDialogControls Controls() const;
    void Show(const ExportDialogControls& controls);
    void OnLineOption();
    void OnSectionOption();
    void OnBrowse();
    void OnSave();

    ExportDialogLogic m_logic;
    QLineEdit* m_path;
    QPushButton* m_browse;
    QPlainTextEdit* m_preview;
    QLineEdit* m_total;
    QCheckBox* m_boxes[BoxCount];
    QPushButton* m_save;
    QPushButton* m_exit;
};
