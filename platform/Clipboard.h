#pragma once

#include <optional>
#include <string>

namespace platform {

// The desktop clipboard, text only (8-bit text, Latin-1 on the way in and out).
class Clipboard {
public:
    virtual ~Clipboard() = default;
    virtual bool HasText() = 0;
    // The clipboard's text; nothing when it holds none.
    virtual std::optional<std::string> GetText() = 0;
    virtual bool SetText(const std::string& text) = 0;
};

class MemoryClipboard : public Clipboard {
public:
    std::optional<std::string> m_text;

    bool HasText() override { return m_text.has_value(); }
    std::optional<std::string> GetText() override { return m_text; }
    bool SetText(const std::string& text) override {
        m_text = text;
        return true;
    }
};

} // namespace platform
