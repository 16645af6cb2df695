#include "app/LogStore.h"

void LogStore::AppendLog(std::string_view text, LogMode mode) {
    std::function<void()> listener;
    {
        std::lock_guard guard(m_lock);
        if (m_text.size() > ResetLength) {
            m_text.assign(ResetLine);
            m_text.append(text);
            ++m_generation;
        } else if (mode == LogMode::Clear) {
            m_text.assign(text);
            ++m_generation;
        } else {
            m_text.append(text);
        }
        listener = m_listener;
    }
    if (listener) {
        listener();
    }
}

std::string LogStore::Text() const {
    std::lock_guard guard(m_lock);
    return m_text;
}

LogStore::Change LogStore::ReadSince(uint64_t generation, size_t length) const {
    std::lock_guard guard(m_lock);
    Change change;
    change.generation = m_generation;
    change.length = m_text.size();
    change.restarted = generation != m_generation || length > m_text.size();
    change.text = change.restarted ? m_text : m_text.substr(length);
    return change;
}

void LogStore::SetListener(std::function<void()> listener) {
    std::lock_guard guard(m_lock);
    m_listener = std::move(listener);
}
