#pragma once

#include <QColor>
#include <QPlainTextEdit>

#include <cstdint>
#include <memory>

class LogStore;

// A read-only text pane with its own text and background colours. As the log pane it shows a LogStore and
// follows its end: appends from any thread are gathered and shown at the next turn of the event loop, and
// only the new text is added while the log merely grows.
class CColorEdit : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit CColorEdit(QWidget* parent = nullptr);
    ~CColorEdit() override;

    // The log pane: white on RGB(100,100,100), the log font, showing `store`, which must outlive the pane.
    static CColorEdit* CreateLogPane(LogStore& store, QWidget* parent);
    static QFont LogFont();

    void SetTextColor(const QColor& color);
    void SetBackgroundColor(const QColor& color);

    // Shows `store` from now on; the pane stops listening when it is destroyed.
    void Attach(LogStore& store);
    // Shows what the store gained since the last refresh and scrolls to the end. User-interface thread.
    void Refresh();

private:
    struct Relay;

    void ApplyColors();

    QColor m_textColor;
    QColor m_backgroundColor;
    LogStore* m_store = nullptr;
    std::shared_ptr<Relay> m_relay;
    uint64_t m_generation = 0;
    size_t m_length = 0;
};
