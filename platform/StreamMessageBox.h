#pragma once

#include "platform/MessageBox.h"

#include <ostream>

namespace platform {

// Message boxes for the command line: each text becomes a line on a stream (standard error);
// nobody can answer a question there, so questions are declined.
class StreamMessageBox : public MessageBox {
public:
    explicit StreamMessageBox(std::ostream& out) : m_out(out) {}

    Answer Show(const std::string& text, Buttons buttons = Ok) override {
        m_out << text << '\n';
        m_out.flush();
        switch (buttons) {
        case YesNo:
            return AnswerNo;
        case OkCancel:
            return AnswerCancel;
        default:
            return AnswerOk;
        }
    }

private:
    std::ostream& m_out;
};

} // namespace platform
