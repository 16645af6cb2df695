#pragma once

#include <string>
#include <vector>

namespace platform {

// Plain message boxes. The window shows them with Qt; tests script the answers and read the texts.
class MessageBox {
public:
    // OkInformation: an OK button beside the information icon, for a notice that all is well.
    enum Buttons { Ok, YesNo, OkCancel, OkInformation };
    enum Answer { AnswerOk = 1, AnswerCancel = 2, AnswerYes = 6, AnswerNo = 7 };

    virtual ~MessageBox() = default;
    // The answer of a box closed without a choice, or of a question nobody can answer: No, Cancel or OK.
    static Answer Declined(Buttons buttons) {
        return buttons == YesNo ? AnswerNo : (buttons == OkCancel ? AnswerCancel : AnswerOk);
    }
    virtual Answer Show(const std::string& text, Buttons buttons = Ok) = 0;
    // A box with a caption of its own (Quillet's); orv's boxes all carry the program's name.
    virtual Answer ShowWithCaption(const std::string& text, const std::string& caption, Buttons buttons) {
        (void)caption;
        return Show(text, buttons);
    }
};

// Records every text and its buttons and gives the scripted answers in turn (AnswerOk / AnswerYes when the
// script runs out).
class ScriptedMessageBox : public MessageBox {
public:
    std::vector<std::string> m_shown;
    std::vector<Buttons> m_buttons;
    std::vector<std::string> m_captions;
    std::vector<Answer> m_answers;

    Answer Show(const std::string& text, Buttons buttons = Ok) override {
        m_shown.push_back(text);
        m_buttons.push_back(buttons);
        if (m_next < m_answers.size())
            return m_answers[m_next++];
        return buttons == YesNo ? AnswerYes : AnswerOk;
    }

    Answer ShowWithCaption(const std::string& text, const std::string& caption, Buttons buttons) override {
        m_captions.push_back(caption);
        return Show(text, buttons);
    }

private:
    size_t m_next = 0;
};

} // namespace platform
