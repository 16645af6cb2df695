#include "tester/TestContext.h"

#include "platform/OpenFileLimit.h"
#include "settings/AppSettings.h"
#include "tester/HttpGetDirect.h"
#include "tester/TextUtil.h"

#include <cstdlib>

namespace {

std::string EnvironmentOr(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value && *value ? value : fallback;
}

} // namespace

TestContext::TestContext(AppSettings& settings, ProxyList& list, TestRunHost& host, platform::Clock& clock)
    : m_settings(settings), m_list(list), m_host(host), m_clock(clock),
      TestPageHost(EnvironmentOr("ORV_TEST_PAGE_HOST", DefaultTestPageHost)),
      TestPageMarker(EnvironmentOr("ORV_TEST_PAGE_MARKER", DefaultTestPageMarker)),
      GeoIpPath(EnvironmentOr("ORV_GEOIP_DB", GeoIpDatabase::DefaultPath)), TlsPage(EnvironmentOr("ORV_TLS_PAGE", "")),
      TlsCaFile(EnvironmentOr("ORV_TLS_CA", "")), OpenFileLimit(platform::OpenFileLimit()) {}

std::string TestContext::TestPageRequest() const {
    return "GET http://" + TestPageHost + "/ HTTP/1.0\r\nAccept: */*\r\nHost: " + TestPageHost + "\r\n\r\n";
}

std::string TestContext::HttpsTarget() const {
    return TlsPage.empty() ? TestPageHost.substr(0, TestPageHost.find(':')) + ":443" : TlsPage;
}

void TestContext::PrepareJudge() {
    JudgeUrl = m_settings.ProxyJudge;
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
