#include "app/TesterPageLogic.h"

#include "platform/MessageBox.h"
#include "tester/HttpGetDirect.h"
#include "tester/TestContext.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace {

bool* ItemBox(TesterPageControls& c, TesterPageLogic::TestItem item) {
    using Item = TesterPageLogic::TestItem;
    switch (item) {
    case Item::Delay:
        return &c.m_delay;
    case Item::Anonymity:
        return &c.m_anonymity;
    case Item::Gateway:
        return &c.m_gateway;
    case Item::Danger:
        return &c.m_danger;
    case Item::Country:
        return &c.m_country;
    case Item::Https:
        return &c.m_https;
    case Item::Codeen:
        return &c.m_codeen;
    }
    return &c.m_delay;
}

bool AllItems(const TesterPageControls& c) {
    return c.m_delay && c.m_anonymity && c.m_gateway && c.m_danger && c.m_country && c.m_https && c.m_codeen;
}

bool AnyItem(const TesterPageControls& c) {
    return c.m_delay || c.m_anonymity || c.m_gateway || c.m_danger || c.m_country || c.m_https || c.m_codeen;
}

// A number edit's text as the dialog framework converts it: blanks around it, a sign, decimal digits
// and nothing else; values beyond the type's range stick at its limits.
std::optional<int64_t> ParseNumber(std::string_view text, bool allowMinus, int64_t low, int64_t high) {
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || (allowMinus && text.front() == '-'))) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    int64_t value = 0;
    for (char c : text)
        value = std::min<int64_t>(value * 10 + (c - '0'), INT64_MAX / 20);
    value = negative ? -value : value;
    return std::clamp(value, low, high);
}

// The first address of the judge text that is not a web address, or the empty text.
std::string FirstBadAddress(const std::string& judges) {
    for (const std::string& url : SplitJudges(judges))
        if (!IsWebAddress(url))
            return url;
    return {};
}

bool IsHttps(const std::string& url) {
    std::string lower = url.substr(0, 8);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char ch) { return std::tolower(ch); });
    return lower == "https://";
}

} // namespace

TesterPageControls TesterPageLogic::Initialise() {
    const AppSettings& s = m_store.Settings();
    TesterPageControls c;
    c.m_proxyJudge = s.ProxyJudge;
    c.m_testPage = s.TestPage;
    c.m_testPageMarker = s.TestPageMarker;
    c.m_maxThread = std::to_string(static_cast<int32_t>(s.MaxThread));
    c.m_timeout = std::to_string(static_cast<uint32_t>(static_cast<int32_t>(s.Timeout)));
    c.m_strictMode = s.StrictTest != 0;
    c.m_simulateBrowser = s.SimulateBrowser != 0;
    c.m_delay = s.TestDelay != 0;
    c.m_anonymity = s.TestAnon != 0;
    c.m_gateway = s.TestGateway != 0;
    c.m_danger = s.TestDanger != 0;
    c.m_country = s.TestCountry != 0;
    c.m_https = s.TestSSL != 0;
    c.m_codeen = s.TestCodeen != 0;
    c.m_all = AllItems(c);
    m_strictWarningShown = false;
    return c;
}

void TesterPageLogic::OnAllClicked(TesterPageControls& c) const {
    for (TestItem item : {TestItem::Delay, TestItem::Anonymity, TestItem::Gateway, TestItem::Danger, TestItem::Country,
                          TestItem::Https, TestItem::Codeen})
        *ItemBox(c, item) = c.m_all;
}

void TesterPageLogic::OnItemClicked(TesterPageControls& c, TestItem item) const {
    // The gateway test runs on the anonymity test's answer.
    if (item == TestItem::Anonymity && !c.m_anonymity)
        c.m_gateway = false;
    if (item == TestItem::Gateway && c.m_gateway)
        c.m_anonymity = true;
    c.m_all = AllItems(c);
}

void TesterPageLogic::OnStrictModeClicked(const TesterPageControls& c) {
    if (!c.m_strictMode || m_strictWarningShown)
        return;
    m_strictWarningShown = true;
    m_messages.Show("Using strict mode will greatly decrease the number of Level 1 proxies.\n"
                    "It's recommended to use the normal mode.");
}

void TesterPageLogic::OnDefault(TesterPageControls& c) const {
    const AppSettings defaults;
    c.m_maxThread = std::to_string(static_cast<int32_t>(defaults.MaxThread));
    c.m_timeout = std::to_string(static_cast<int32_t>(defaults.Timeout));
    c.m_strictMode = false;
    c.m_simulateBrowser = false;
    c.m_delay = true;
    c.m_anonymity = true;
    c.m_gateway = false;
    c.m_danger = false;
    c.m_country = false;
    c.m_https = false;
    c.m_codeen = false;
    c.m_all = AllItems(c);
}

bool TesterPageLogic::Validate(const TesterPageControls& c) {
    AppSettings& s = m_store.Settings();
    const auto maxThread = ParseNumber(c.m_maxThread, true, INT32_MIN, INT32_MAX);
    if (!maxThread) {
        m_messages.Show("Please enter an integer.");
        return false;
    }
    const auto timeout = ParseNumber(c.m_timeout, false, 0, UINT32_MAX);
    if (!timeout) {
        m_messages.Show("Please enter a positive integer.");
        return false;
    }
    if (*maxThread < 1 || *maxThread > 100) {
        m_messages.Show("Max thread must be between 1 and 100");
        return false;
    }
    s.MaxThread = static_cast<int32_t>(*maxThread);
    if (*timeout < 1 || *timeout > 100) {
        m_messages.Show("Timeout must be between 1 and 100");
        return false;
    }
    s.Timeout = static_cast<int32_t>(*timeout);
    if (c.m_proxyJudge.empty()) {
        m_messages.Show("ProxyJudge address must not be empty");
        return false;
    }
    const std::string judges = JudgeSetting(c.m_proxyJudge);
    if (const std::string bad = FirstBadAddress(judges); !bad.empty()) {
        m_messages.Show("The proxy judge address \"" + bad + "\" is not a valid http or https URL.");
        return false;
    }
    // Proxies are asked for the judge with a plain GET, which an https judge cannot answer.
    for (const std::string& url : SplitJudges(judges))
        if (IsHttps(url)) {
            m_messages.Show("The proxy judge \"" + url + "\" is https: please enter an http address.");
            return false;
        }
    s.ProxyJudge = judges;
    if (!AnyItem(c)) {
        m_messages.Show("You must select at least one Test Item.");
        return false;
    }
    if (!IsWebAddress(c.m_testPage)) {
        m_messages.Show("The test page address is not a valid http or https URL.");
        return false;
    }
    // The delay test asks proxies for the page with a plain GET, which an https page cannot answer.
    if (IsHttps(c.m_testPage)) {
        m_messages.Show("The delay test cannot use an https test page: please enter an http address.");
        return false;
    }
    if (c.m_testPageMarker.empty()) {
        m_messages.Show("The test page marker must not be empty.");
        return false;
    }
    s.TestPage = c.m_testPage;
    s.TestPageMarker = c.m_testPageMarker;
    s.StrictTest = c.m_strictMode;
    s.SimulateBrowser = c.m_simulateBrowser;
    s.TestDelay = c.m_delay;
    s.TestAnon = c.m_anonymity;
    s.TestCountry = c.m_country;
    s.TestSSL = c.m_https;
    s.TestGateway = c.m_gateway;
    s.TestDanger = c.m_danger;
    s.TestCodeen = c.m_codeen;
    m_store.SaveSettings();
    return true;
}

std::string TesterPageLogic::JudgeSetting(const std::string& text) {
    // One address is stored as typed, with "http://" before it when it holds no scheme.
    const auto withScheme = [](const std::string& url) {
        std::string lower = url;
        std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char ch) { return std::tolower(ch); });
        const bool schemed = lower.find("http://") != std::string::npos || lower.find("https://") != std::string::npos;
        return schemed ? url : "http://" + url;
    };
    const std::vector<std::string> judges = SplitJudges(text);
    if (judges.size() <= 1)
        return withScheme(text);
    std::string setting;
    for (const std::string& url : judges)
        setting += (setting.empty() ? "" : " ") + withScheme(url);
    return setting;
}

std::string TesterPageLogic::CheckJudges(const std::string& text, int timeoutSeconds, std::stop_token stop) {
    if (SplitJudges(text).empty())
        return "No proxy judge address to check.\n";
    std::string report;
    for (const std::string& url : SplitJudges(JudgeSetting(text))) {
        const std::string page = IsHttps(url) ? std::string() : HttpGetDirect(url, timeoutSeconds, stop);
        const std::string own = ExtractOwnAddress(page);
        report += url + (IsHttps(url)   ? ": https, which proxies cannot be asked for\n"
                         : page.empty() ? ": no answer\n"
                         : own.empty()  ? ": answered without this PC's address\n"
                                        : ": answered, own address " + own + "\n");
    }
    return report;
}

std::string TesterPageLogic::CheckTestPage(const std::string& page, const std::string& marker, int timeoutSeconds,
                                           std::stop_token stop) {
    if (!IsWebAddress(page) || IsHttps(page))
        return "The test page must be a valid http address.";
    const std::string reply = HttpGetDirect(page, timeoutSeconds, stop);
    if (reply.empty())
        return "The test page did not answer.";
    if (marker.empty() || reply.find(marker) == std::string::npos)
        return "The test page answered, but the marker \"" + marker + "\" is not in it.";
    return "The test page answered and holds the marker \"" + marker + "\".";
}
