#pragma once

#include "platform/MessageBox.h"

#include <ostream>
#include <string>

namespace platform {

// Message boxes for the command line: each text becomes a line on a stream (standard error);
// nobody can answer a question there, so questions are declined.
class StreamMessageBox : public MessageBox {
public:
    explicit StreamMessageBox(std::ostream& out) : m_out(out) {}

    // Put before each text, such as "orv: FILE: " for the file a message is about.
    void SetPrefix(std::string prefix) { m_prefix = std::move(prefix); }

    Answer Show(const std::string& text, Buttons buttons = Ok) override {
        m_out << m_prefix << text << '\n';
        m_out.flush();
        return Declined(buttons);
    }

private:
    std::ostream& m_out;
    std::string m_prefix;
};

} // namespace platform
