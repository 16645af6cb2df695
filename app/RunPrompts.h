#pragma once

#include "platform/MessageBox.h"
#include "tester/TestRun.h"

#include <string>

// The test run's messages and its judge question, shown in a message box: the window's (which waits
// for the window's thread when asked from another), the command line's and the tests'.
inline void ShowRunPromptsIn(platform::MessageBox& box, TestRun::Hooks& hooks) {
    hooks.showMessage = [&box](const std::string& text) { box.Show(text, platform::MessageBox::Ok); };
    hooks.askStopWithoutJudge = [&box] {
        const std::string question = std::string(TestRun::JudgeErrorText) + TestRun::JudgeQuestion;
        return box.Show(question, platform::MessageBox::YesNo) == platform::MessageBox::AnswerYes;
    };
}
