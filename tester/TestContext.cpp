#include "tester/TestContext.h"

#include "platform/OpenFileLimit.h"
#include "settings/AppSettings.h"
#include "tester/HttpGetDirect.h"
#include "tester/TextUtil.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace {

std::string EnvironmentOr(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value && *value ? value : fallback;
}

} // namespace

TestContext::TestContext(AppSettings& settings, ProxyList& list, TestRunHost& host, platform::Clock& clock)
    : m_settings(settings), m_list(list), m_host(host), m_clock(clock),
      TestPageHost(EnvironmentOr("ORV_TEST_PAGE_HOST", "")), TestPageMarker(EnvironmentOr("ORV_TEST_PAGE_MARKER", "")),
      GeoIpPath(EnvironmentOr("ORV_GEOIP_DB", GeoIpDatabase::DefaultPath)), TlsPage(EnvironmentOr("ORV_TLS_PAGE", "")),
      TlsCaFile(EnvironmentOr("ORV_TLS_CA", "")), OpenFileLimit(platform::OpenFileLimit()),
      m_page(SplitHttpUrl(AppSettings::DefaultTestPage)), m_pageMarker(DefaultTestPageMarker) {}

std::string TestContext::TestPageRequest() const {
    const std::string& host = TestPageHost.empty() ? m_page.host : TestPageHost;
    const std::string& path = TestPageHost.empty() ? m_page.path : "/";
    return "GET http://" + host + path + " HTTP/1.0\r\nAccept: */*\r\nHost: " + host + "\r\n\r\n";
}

std::string TestContext::HttpsTarget() const {
    const std::string& host = TestPageHost.empty() ? m_page.host : TestPageHost;
    return TlsPage.empty() ? host.substr(0, host.find(':')) + ":443" : TlsPage;
}

void TestContext::PreparePage() {
    // The sheet refuses anything but an http page; a file edited by hand falls back to the default.
    const bool http = IsWebAddress(m_settings.TestPage) && ToLower(m_settings.TestPage).starts_with("http://");
    m_page = SplitHttpUrl(http ? m_settings.TestPage : AppSettings::DefaultTestPage);
    m_pageMarker = m_settings.TestPageMarker.empty() ? DefaultTestPageMarker : m_settings.TestPageMarker;
}

void TestContext::PrepareJudge() {
    Judges = SplitJudges(m_settings.ProxyJudge);
    UseJudge(Judges.empty() ? std::string() : Judges.front());
}

void TestContext::UseJudge(const std::string& url) {
    JudgeUrl = url;
    JudgeHost = ComputeJudgeHost(JudgeUrl);
}

int TestContext::DetectOwnAddress() {
    return LearnOwnAddress(HttpGetDirect(JudgeUrl, m_settings.Timeout));
}

int TestContext::LearnOwnAddress(const std::string& judgePage) {
    if (judgePage.empty())
        return 1;
    OwnAddress = ExtractOwnAddress(judgePage);
    return OwnAddress.empty() ? 1 : 0;
}

std::string ComputeJudgeHost(const std::string& url) {
    const std::string rest = url.size() > 7 ? ToLower(url.substr(7)) : std::string();
    return rest.substr(0, rest.find('/'));
}

std::string ExtractOwnAddress(std::string reply) {
    ToUpperInPlace(reply);
    const std::string_view name = "REMOTE_ADDR";
    const size_t found = reply.find(name);
    if (found == std::string::npos)
        return {};
    const size_t start = found + name.size();
    const size_t end = reply.find('\n', start);
    if (end == std::string::npos || end <= start)
        return {};
    std::string address = reply.substr(start, end - start);
    RemoveAll(address, "<BR>");
    RemoveChars(address, ":= \r");
    return address;
}

std::vector<std::string> SplitJudges(const std::string& setting) {
    std::vector<std::string> judges;
    size_t start = 0;
    while ((start = setting.find_first_not_of(" \t", start)) != std::string::npos) {
        const size_t end = setting.find_first_of(" \t", start);
        judges.push_back(setting.substr(start, end - start));
        start = end;
    }
    return judges;
}

bool IsWebAddress(const std::string& text) {
    const std::string lower = ToLower(text);
    const size_t schemeEnd = lower.starts_with("http://") ? 7 : lower.starts_with("https://") ? 8 : 0;
    if (schemeEnd == 0 || std::any_of(text.begin(), text.end(), [](unsigned char c) { return c <= ' ' || c == 127; }))
        return false;
    const std::string host = lower.substr(schemeEnd, lower.find_first_of("/?#", schemeEnd) - schemeEnd);
    const size_t colon = host.find(':');
    const std::string name = host.substr(0, colon);
    const auto nameChar = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-'; };
    if (name.empty() || !std::all_of(name.begin(), name.end(), nameChar))
        return false;
    if (colon == std::string::npos)
        return true;
    const std::string port = host.substr(colon + 1);
    return !port.empty() && port.size() <= 5 && port.find_first_not_of("0123456789") == std::string::npos &&
           std::stoi(port) <= 65535;
}
