#pragma once

#include "platform/MessageBox.h"

#include <string>
#include <vector>

namespace platform {

// Opens a file or a web address with the desktop's default program.
class ShellOpen {
public:
    virtual ~ShellOpen() = default;
    // False when the desktop has no program to open it with.
    virtual bool Open(const std::string& fileOrUrl) = 0;
};

// Opens it; where the desktop cannot, says so and names it, so that the user can open it by hand.
inline bool OpenOrExplain(ShellOpen& shell, MessageBox& messages, const std::string& fileOrUrl) {
    if (shell.Open(fileOrUrl))
        return true;
    messages.Show("No program was found on this desktop to open\r\n" + fileOrUrl + "\r\nPlease open it by hand.");
    return false;
}

class RecordingShellOpen : public ShellOpen {
public:
    std::vector<std::string> m_opened;
    // False: a desktop without a browser or a launcher.
    bool m_opens = true;

    bool Open(const std::string& fileOrUrl) override {
        m_opened.push_back(fileOrUrl);
        return m_opens;
    }
};

} // namespace platform
