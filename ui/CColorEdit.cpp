#include "ui/CColorEdit.h"

#include "app/LogStore.h"

#include <QScrollBar>

#include <mutex>

// Carries the store's change notices to the pane. It outlives the pane when a notice is under way on another
// thread, so the pane detaches under its lock instead of being reached after its death.
struct CColorEdit::Relay {
    std::mutex lock;
    CColorEdit* pane = nullptr;
    bool scheduled = false;

    void Notify() {
        std::lock_guard guard(lock);
        if (pane != nullptr && !scheduled) {
            scheduled = true;
            QMetaObject::invokeMethod(pane, &CColorEdit::Refresh, Qt::QueuedConnection);
        }
    }
};

CColorEdit::CColorEdit(QWidget* parent) : QPlainTextEdit(parent) {}

CColorEdit::~CColorEdit() {
    if (m_relay) {
        std::lock_guard guard(m_relay->lock);
        m_relay->pane = nullptr;
    }
}

CColorEdit* CColorEdit::CreateLogPane(LogStore& store, QWidget* parent) {
    auto* pane = new CColorEdit(parent);
    pane->setReadOnly(true);
    pane->setUndoRedoEnabled(false); // appends would otherwise pile up undo steps for the whole run
    pane->setFrameShape(QFrame::NoFrame);
    pane->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Long lines wrap: a sideways scroll bar would take a third of the short pane and hide line ends.
    pane->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    pane->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    pane->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    pane->setFont(LogFont());
    pane->SetTextColor(Qt::white);
    pane->SetBackgroundColor(QColor(100, 100, 100));
    pane->Attach(store);
    return pane;
}

QFont CColorEdit::LogFont() {
    QFont font(QStringLiteral("Tahoma"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(12); // a 14-pixel cell height
    font.setWeight(QFont::Medium);
    return font;
}

void CColorEdit::SetTextColor(const QColor& color) {
    m_textColor = color;
    ApplyColors();
}

void CColorEdit::SetBackgroundColor(const QColor& color) {
    m_backgroundColor = color;
    ApplyColors();
}

void CColorEdit::ApplyColors() {
    QPalette palette = this->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        if (m_textColor.isValid()) {
            palette.setColor(group, QPalette::Text, m_textColor);
        }
        if (m_backgroundColor.isValid()) {
            palette.setColor(group, QPalette::Base, m_backgroundColor);
        }
    }
    setPalette(palette);
    viewport()->update();
}

void CColorEdit::Attach(LogStore& store) {
    if (m_relay) {
        std::lock_guard guard(m_relay->lock);
        m_relay->pane = nullptr;
    }
    m_relay = std::make_shared<Relay>();
    m_relay->pane = this;
    m_store = &store;
    m_generation = 0;
    m_length = 0;
    store.SetListener([relay = m_relay] { relay->Notify(); });
    Refresh();
}

void CColorEdit::Refresh() {
    if (m_store == nullptr) {
        return;
    }
    {
        std::lock_guard guard(m_relay->lock);
        m_relay->scheduled = false;
    }
    LogStore::Change change = m_store->ReadSince(m_generation, m_length);
    m_generation = change.generation;
    m_length = change.length;
    // Lines end in CR LF; the pane wants LF alone.
    QString text = QString::fromUtf8(change.text.data(), static_cast<qsizetype>(change.text.size()));
    text.remove(QLatin1Char('\r'));
    if (change.restarted) {
        setPlainText(text);
    } else if (!text.isEmpty()) {
        QTextCursor cursor(document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(text);
    }
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}
