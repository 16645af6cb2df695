#pragma once

#include "platform/ShellOpen.h"

namespace platform {

// Opens files and web addresses with the desktop's default program (xdg-open underneath).
class QtShellOpen : public ShellOpen {
public:
    bool Open(const std::string& fileOrUrl) override;
};

} // namespace platform
