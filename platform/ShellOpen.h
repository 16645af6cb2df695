#pragma once

#include <string>
#include <vector>

namespace platform {

// Opens a file or a web address with the desktop's default program.
class ShellOpen {
public:
    virtual ~ShellOpen() = default;
    virtual bool Open(const std::string& fileOrUrl) = 0;
};

class RecordingShellOpen : public ShellOpen {
public:
    std::vector<std::string> m_opened;

    bool Open(const std::string& fileOrUrl) override {
        m_opened.push_back(fileOrUrl);
        return true;
    }
};

} // namespace platform
