#pragma once

#include "settings/SettingsStore.h"

#include <string>

namespace platform {
class MessageBox;
}

// What the "Tester" page's controls hold; the page widget copies them in and out.
struct TesterPageControls {
    std::string m_proxyJudge;
    // The texts of the "Max thread" and "Timeouts" edits, converted when the sheet is confirmed.
    std::string m_maxThread;
    std::string m_timeout;
    bool m_strictMode = false;
    bool m_simulateBrowser = false;
    bool m_all = false;
    bool m_delay = false;
    bool m_anonymity = false;
    bool m_gateway = false;
    bool m_danger = false;
    bool m_country = false;
    bool m_https = false;
    bool m_codeen = false;
};

// The rules of the settings sheet's "Tester" page, without the widgets.
class TesterPageLogic {
public:
    enum class TestItem { Delay, Anonymity, Gateway, Danger, Country, Https, Codeen };

    TesterPageLogic(SettingsStore& store, platform::MessageBox& messages) : m_store(store), m_messages(messages) {}

    // The controls as the page opens; a new opening may warn about strict mode again.
    TesterPageControls Initialise();
    // Call after the box has changed its state; these adjust the boxes that depend on it.
    void OnAllClicked(TesterPageControls& controls) const;
    void OnItemClicked(TesterPageControls& controls, TestItem item) const;
    void OnStrictModeClicked(const TesterPageControls& controls);
    void OnDefault(TesterPageControls& controls) const;
    // The sheet's OK: checks the values in order, telling the user about the first bad one.
    // Max thread, Timeout and the judge address are taken as soon as they pass, even when a later
    // check fails. On success everything is taken and the settings are saved.
    bool Validate(const TesterPageControls& controls);

private:
    SettingsStore& m_store;
    platform::MessageBox& m_messages;
    bool m_strictWarningShown = false;
};
