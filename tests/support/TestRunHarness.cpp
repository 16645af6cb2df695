#include "tests/support/TestRunHarness.h"

#include "app/RunPrompts.h"

#include <ctime>
#include <thread>

void ScriptedClock::Script(std::vector<int32_t> msOfDay) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_script = std::move(msOfDay);
    m_next = 0;
}

int32_t ScriptedClock::LocalTimeOfDayMs() {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_script.empty())
        return m_last = m_system.LocalTimeOfDayMs();
    m_last = m_script[std::min(m_next, m_script.size() - 1)];
    ++m_next;
    return m_last;
}

std::string ScriptedClock::FormatLocalTime(const char* format) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_script.empty())
        return m_system.FormatLocalTime(format);
    std::tm day{};
    day.tm_year = 126;
    day.tm_mon = 11;
    day.tm_mday = 7;
    day.tm_hour = m_last / 3'600'000;
    day.tm_min = m_last / 60'000 % 60;
    day.tm_sec = m_last / 1000 % 60;
    char text[64] = {};
    return std::string(text, std::strftime(text, sizeof text, format, &day));
}

platform::MessageBox::Answer LockedMessageBox::Show(const std::string& text, Buttons buttons) {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_box.Show(text, buttons);
}

std::vector<std::string> LockedMessageBox::Shown() {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_box.m_shown;
}

void LockedMessageBox::Answers(std::vector<Answer> answers) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_box.m_answers = std::move(answers);
}

TestRunHarness::TestRunHarness() {
    settings.Timeout = 1;
    settings.TestDelay = 1;
    settings.TestAnon = 0;
    context.TestPageHost = "www.search.test";
    context.TestPageMarker = "Searchy";
}

TestRun::Hooks TestRunHarness::MakeHooks() {
    TestRun::Hooks hooks;
    hooks.rebuildQuickSwitchSet = [this] { ++quickSwitchRebuilds; };
    hooks.setLastTestedText = [this](const std::string& text) {
        std::lock_guard<std::mutex> hold(m_lock);
        m_lastTested = text;
    };
    hooks.saveList = [this] {
        ++saves;
        if (onSave)
            onSave();
    };
    ShowRunPromptsIn(messageBox, hooks);
    return hooks;
}

ProxyItem& TestRunHarness::AddRecord(const std::string& address) {
    auto item = std::make_unique<ProxyItem>();
    item->SetAddress(address);
    item->m_index = static_cast<uint32_t>(list.GetSize());
    return *list.Append(std::move(item));
}

void TestRunHarness::StartAll() {
    run.TestSet.clear();
    for (size_t i = 0; i < list.GetSize(); ++i)
        run.TestSet.push_back(list[i]);
    run.StartTest();
}

bool TestRunHarness::WaitIdle(std::chrono::milliseconds limit) {
    return run.WaitUntilIdle(limit) && testing == RunState::Idle;
}

std::string TestRunHarness::LastTested() {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_lastTested;
}
