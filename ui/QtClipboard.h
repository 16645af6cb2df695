#pragma once

#include "platform/Clipboard.h"

namespace platform {

// The desktop clipboard through Qt; text goes in and out as Latin-1.
class QtClipboard : public Clipboard {
public:
    bool HasText() override;
    std::optional<std::string> GetText() override;
    bool SetText(const std::string& text) override;
};

} // namespace platform
