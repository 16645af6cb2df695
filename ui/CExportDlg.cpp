#include "ui/CExportDlg.h"

#include "ui/CSettingSheet.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

struct OptionBoxSpec {
    const char* m_text;
    bool ExportOptions::*m_field;
    bool m_changesLines; // "country" and "speed" change every line; the rest only choose sections
};

constexpr OptionBoxSpec OptionBoxes[CExportDlg::BoxCount] = {
    {"level 1", &ExportOptions::m_level1, false},      {"level 2", &ExportOptions::m_level2, false},
    {"level 3", &ExportOptions::m_level3, false},      {"ssl list", &ExportOptions::m_ssl, false},
    {"unchecked", &ExportOptions::m_unchecked, false}, {"timeout", &ExportOptions::m_timeout, false},
    {"country", &ExportOptions::m_country, true},      {"speed", &ExportOptions::m_speed, true},
    {"no title", &ExportOptions::m_noTitle, false},    {"Include passwords", &ExportOptions::m_includePasswords, true},
};

// The preview shows lines; the file keeps the CR LF endings the export composes.
QString ToPreview(const std::string& text) {
    QString shown = QString::fromStdString(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return shown;
}

std::string FromPreview(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return text.toStdString();
}

} // namespace

CExportDlg::CExportDlg(SettingsStore& store, ExportDialogLogic::Services services, std::vector<ProxyItem*> exportSet,
                       std::string lastTestedText, QWidget* parent)
    : QDialog(parent), m_logic(store, services, std::move(exportSet), std::move(lastTestedText)),
      m_path(new QLineEdit(this)), m_browse(new QPushButton(QStringLiteral("Browse"), this)),
      m_preview(new QPlainTextEdit(this)), m_total(new QLineEdit(this)),
      m_save(new QPushButton(QStringLiteral("Save"), this)), m_exit(new QPushButton(QStringLiteral("Exit"), this)) {
    setWindowTitle(QStringLiteral("Export Lists"));
    setFont(CSettingSheet::DialogFont());
    m_path->setObjectName(QStringLiteral("path"));
    m_preview->setObjectName(QStringLiteral("preview"));
    m_total->setObjectName(QStringLiteral("total"));
    m_total->setReadOnly(true);
    m_total->setFixedWidth(70);
    // Address, country and delay are separated by tabs: a fixed-pitch font keeps the columns straight.
    QFont previewFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    previewFont.setPointSize(9);
    m_preview->setFont(previewFont);
    m_preview->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_preview->setTabStopDistance(QFontMetricsF(previewFont).horizontalAdvance(QLatin1Char(' ')) * 8);
    m_save->setDefault(true);

    auto* options = new QVBoxLayout;
    for (int i = 0; i < BoxCount; ++i) {
        m_boxes[i] = new QCheckBox(QLatin1String(OptionBoxes[i].m_text), this);
        m_boxes[i]->setObjectName(QLatin1String(OptionBoxes[i].m_text).toString().remove(QLatin1Char(' ')));
        // A gap between the sections and the line options.
        if (i == Country)
            options->addSpacing(10);
        options->addWidget(m_boxes[i]);
        connect(m_boxes[i], &QCheckBox::clicked, this,
                OptionBoxes[i].m_changesLines ? &CExportDlg::OnLineOption : &CExportDlg::OnSectionOption);
    }
    options->addSpacing(10);
    auto* total = new QHBoxLayout;
    total->addWidget(new QLabel(QStringLiteral("Total:"), this));
    total->addWidget(m_total);
    total->addStretch(1);
    options->addLayout(total);
    options->addStretch(1);
    options->addWidget(m_save);
    options->addWidget(m_exit);

    auto* layout = new QGridLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Save as"), this), 0, 0);
    layout->addWidget(m_path, 0, 1);
    layout->addWidget(m_browse, 0, 2);
    layout->addWidget(m_preview, 1, 0, 1, 2);
    layout->addLayout(options, 1, 2);
    layout->setColumnStretch(1, 1);
    layout->setRowStretch(1, 1);

    connect(m_browse, &QPushButton::clicked, this, &CExportDlg::OnBrowse);
    connect(m_save, &QPushButton::clicked, this, &CExportDlg::OnSave);
    connect(m_exit, &QPushButton::clicked, this, &CExportDlg::reject);
    // Ctrl+A selects the preview from anywhere but a field the user types in.
    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);

    resize(640, 440);
    Show(m_logic.Initialise());
}

void CExportDlg::reject() {
    m_logic.OnExit(Controls());
    QDialog::reject();
}

bool CExportDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
        // A field the user types in keeps its own Ctrl+A: moving the focus would send the typing that
        // follows into the preview, and Save would write it.
        const auto* field = qobject_cast<const QLineEdit*>(watched);
        if (field != nullptr && !field->isReadOnly())
            return QDialog::eventFilter(watched, event);
        if (static_cast<QKeyEvent*>(event)->matches(QKeySequence::SelectAll)) {
            if (event->type() == QEvent::KeyPress) {
                m_preview->setFocus(Qt::ShortcutFocusReason);
                m_preview->selectAll();
            }
            event->accept();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

ExportDialogControls CExportDlg::Controls() const {
    ExportDialogControls c;
    for (int i = 0; i < BoxCount; ++i)
        c.m_options.*OptionBoxes[i].m_field = m_boxes[i]->isChecked();
    c.m_path = m_path->text().toStdString();
    c.m_text = FromPreview(m_preview->toPlainText());
    c.m_total = m_total->text().toInt();
    return c;
}

void CExportDlg::Show(const ExportDialogControls& c) {
    for (int i = 0; i < BoxCount; ++i)
        m_boxes[i]->setChecked(c.m_options.*OptionBoxes[i].m_field);
    m_path->setText(QString::fromStdString(c.m_path));
    m_preview->setPlainText(ToPreview(c.m_text));
    m_total->setText(QString::number(c.m_total));
}

void CExportDlg::OnLineOption() {
    ExportDialogControls c = Controls();
    m_logic.OnLineOptionClicked(c);
    Show(c);
}

void CExportDlg::OnSectionOption() {
    ExportDialogControls c = Controls();
    m_logic.OnSectionOptionClicked(c);
    Show(c);
}

void CExportDlg::OnBrowse() {
    ExportDialogControls c = Controls();
    m_logic.OnBrowse(c);
    m_path->setText(QString::fromStdString(c.m_path));
}

void CExportDlg::OnSave() {
    m_logic.OnSave(Controls());
}
