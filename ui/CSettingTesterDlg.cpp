#include "ui/CSettingTesterDlg.h"

#include "platform/MessageBox.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

using Item = TesterPageLogic::TestItem;

struct TestItemBox {
    Item m_item;
    const char* m_text;
    const char* m_name; // the control's object name, for tests and accessibility
    bool TesterPageControls::*m_field;
};

// In the order the boxes stand on the page, left to right, top to bottom.
constexpr TestItemBox ItemBoxes[] = {
    {Item::Delay, "delay", "delay", &TesterPageControls::m_delay},
    {Item::Anonymity, "anonymity", "anonymity", &TesterPageControls::m_anonymity},
    {Item::Gateway, "gateway", "gateway", &TesterPageControls::m_gateway},
    {Item::Danger, "danger", "danger", &TesterPageControls::m_danger},
    {Item::Country, "country", "country", &TesterPageControls::m_country},
    {Item::Https, "https", "https", &TesterPageControls::m_https},
    {Item::Codeen, "codeen", "codeen", &TesterPageControls::m_codeen},
};

QLineEdit* NumberEdit(QWidget* parent, const char* name) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setMaxLength(10);
    edit->setFixedWidth(60);
    return edit;
}

QPushButton* CheckButton(QWidget* parent, const char* name) {
    auto* button = new QPushButton(QStringLiteral("Check"), parent);
    button->setObjectName(QLatin1String(name));
    return button;
}

} // namespace

CSettingTesterDlg::CSettingTesterDlg(SettingsStore& store, platform::MessageBox& messages, QWidget* parent)
    : QWidget(parent), m_logic(store, messages), m_messages(messages), m_proxyJudge(new QLineEdit(this)),
      m_testPage(new QLineEdit(this)), m_testPageMarker(new QLineEdit(this)),
      m_checkJudge(CheckButton(this, "checkJudge")), m_checkTestPage(CheckButton(this, "checkTestPage")),
      m_maxThread(NumberEdit(this, "maxThread")), m_timeout(NumberEdit(this, "timeout")),
      m_strictMode(new QCheckBox(QStringLiteral("strict mode (PC should not have a host name)"), this)),
      m_simulateBrowser(new QCheckBox(QStringLiteral("simulate browser (send the header Proxy-Connection)"), this)),
      m_all(new QCheckBox(QStringLiteral("all"), this)) {
    m_proxyJudge->setObjectName(QStringLiteral("proxyJudge"));
    m_testPage->setObjectName(QStringLiteral("testPage"));
    m_testPageMarker->setObjectName(QStringLiteral("testPageMarker"));
    m_strictMode->setObjectName(QStringLiteral("strictMode"));
    m_simulateBrowser->setObjectName(QStringLiteral("simulateBrowser"));
    m_all->setObjectName(QStringLiteral("all"));

    auto* basic = new QGroupBox(QStringLiteral("Basic Options"), this);
    auto* basicLayout = new QGridLayout(basic);
    basicLayout->addWidget(new QLabel(QStringLiteral("Proxyjudge"), basic), 0, 0);
    basicLayout->addWidget(m_proxyJudge, 0, 1, 1, 4);
    basicLayout->addWidget(m_checkJudge, 0, 5);
    basicLayout->addWidget(new QLabel(QStringLiteral("Test page"), basic), 1, 0);
    basicLayout->addWidget(m_testPage, 1, 1, 1, 2);
    basicLayout->addWidget(new QLabel(QStringLiteral("Marker"), basic), 1, 3, Qt::AlignRight);
    basicLayout->addWidget(m_testPageMarker, 1, 4);
    basicLayout->addWidget(m_checkTestPage, 1, 5);
    basicLayout->addWidget(new QLabel(QStringLiteral("Max thread"), basic), 2, 0);
    basicLayout->addWidget(m_maxThread, 2, 1);
    basicLayout->addWidget(new QLabel(QStringLiteral("Timeouts"), basic), 2, 2, Qt::AlignRight);
    basicLayout->addWidget(m_timeout, 2, 3);
    basicLayout->addWidget(new QLabel(QStringLiteral("seconds"), basic), 2, 4);
    basicLayout->setColumnStretch(2, 1);
    basicLayout->setColumnStretch(4, 1);

    auto* advanced = new QGroupBox(QStringLiteral("Advanced Options"), this);
    auto* advancedLayout = new QVBoxLayout(advanced);
    advancedLayout->addWidget(m_strictMode);
    advancedLayout->addWidget(m_simulateBrowser);

    auto* items = new QGroupBox(QStringLiteral("Test Items"), this);
    auto* itemsLayout = new QGridLayout(items);
    itemsLayout->addWidget(m_all, 0, 0);
    for (int i = 0; i < ItemCount; ++i) {
        const TestItemBox& box = ItemBoxes[i];
        m_items[static_cast<int>(box.m_item)] = new QCheckBox(QLatin1String(box.m_text), items);
        QCheckBox* check = m_items[static_cast<int>(box.m_item)];
        check->setObjectName(QLatin1String(box.m_name));
        itemsLayout->addWidget(check, 1 + i / 4, i % 4);
        connect(check, &QCheckBox::clicked, this, [this, item = box.m_item] { OnItemClicked(item); });
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(basic);
    layout->addWidget(advanced);
    layout->addWidget(items);
    layout->addStretch(1);

    connect(m_all, &QCheckBox::clicked, this, [this] {
        TesterPageControls c = Controls();
        m_logic.OnAllClicked(c);
        Show(c);
    });
    connect(m_strictMode, &QCheckBox::clicked, this, [this] { m_logic.OnStrictModeClicked(Controls()); });
    connect(m_checkJudge, &QPushButton::clicked, this, [this] {
        StartCheck([judges = m_proxyJudge->text().toStdString()](std::stop_token stop) {
            return TesterPageLogic::CheckJudges(judges, CheckTimeout, stop);
        });
    });
    connect(m_checkTestPage, &QPushButton::clicked, this, [this] {
        StartCheck([page = m_testPage->text().toStdString(),
                    marker = m_testPageMarker->text().toStdString()](std::stop_token stop) {
            return TesterPageLogic::CheckTestPage(page, marker, CheckTimeout, stop);
        });
    });
    Show(m_logic.Initialise());
}

void CSettingTesterDlg::OnItemClicked(TesterPageLogic::TestItem item) {
    TesterPageControls c = Controls();
    m_logic.OnItemClicked(c, item);
    Show(c);
}

void CSettingTesterDlg::StartCheck(std::function<std::string(std::stop_token)> check) {
    m_checkJudge->setEnabled(false);
    m_checkTestPage->setEnabled(false);
    // The answer is queued to the page, which joins this thread before it goes.
    const auto body = [this, check = std::move(check)](std::stop_token stop) {
        const std::string text = check(stop);
        if (stop.stop_requested())
            return;
        QMetaObject::invokeMethod(
            this,
            [this, text] {
                m_checkJudge->setEnabled(true);
                m_checkTestPage->setEnabled(true);
                m_messages.Show(text);
            },
            Qt::QueuedConnection);
    };
    try {
        m_checkThread.Start(body);
    } catch (const std::system_error& error) {
        m_checkJudge->setEnabled(true);
        m_checkTestPage->setEnabled(true);
        m_messages.Show(error.code().message());
    }
}

void CSettingTesterDlg::OnDefault() {
    TesterPageControls c = Controls();
    m_logic.OnDefault(c);
    Show(c);
}

bool CSettingTesterDlg::Validate() {
    return m_logic.Validate(Controls());
}

TesterPageControls CSettingTesterDlg::Controls() const {
    TesterPageControls c;
    c.m_proxyJudge = m_proxyJudge->text().toStdString();
    c.m_testPage = m_testPage->text().toStdString();
    c.m_testPageMarker = m_testPageMarker->text().toStdString();
    c.m_maxThread = m_maxThread->text().toStdString();
    c.m_timeout = m_timeout->text().toStdString();
    c.m_strictMode = m_strictMode->isChecked();
    c.m_simulateBrowser = m_simulateBrowser->isChecked();
    c.m_all = m_all->isChecked();
    for (const TestItemBox& box : ItemBoxes)
        c.*box.m_field = m_items[static_cast<int>(box.m_item)]->isChecked();
    return c;
}

void CSettingTesterDlg::Show(const TesterPageControls& c) {
    m_proxyJudge->setText(QString::fromStdString(c.m_proxyJudge));
    m_testPage->setText(QString::fromStdString(c.m_testPage));
    m_testPageMarker->setText(QString::fromStdString(c.m_testPageMarker));
    m_maxThread->setText(QString::fromStdString(c.m_maxThread));
    m_timeout->setText(QString::fromStdString(c.m_timeout));
    m_strictMode->setChecked(c.m_strictMode);
    m_simulateBrowser->setChecked(c.m_simulateBrowser);
    m_all->setChecked(c.m_all);
    for (const TestItemBox& box : ItemBoxes)
        m_items[static_cast<int>(box.m_item)]->setChecked(c.*box.m_field);
}
