#pragma once

#include "proxy/DangerousList.h"
#include "proxy/GeoIpDatabase.h"
#include "settings/AppSettings.h"
#include "tester/HttpGetDirect.h"
#include "tester/TlsProbe.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

class ProxyList;
class TestRunHost;

namespace platform {
class Clock;
}

// What the test workers share with the controller that owns them: the settings, the list whose
// records they fill, the host that redraws the rows, the clock, and the values the controller
// prepares before the first worker starts (workers only read those).
struct TestContext {
    // The host of the settings' default test page.
    static constexpr const char* DefaultTestPageHost = "www.google.com";
    static constexpr const char* DefaultTestPageMarker = AppSettings::DefaultTestPageMarker;

    // Reads ORV_TEST_PAGE_HOST, ORV_TEST_PAGE_MARKER, ORV_GEOIP_DB, ORV_TLS_PAGE and ORV_TLS_CA once;
    // tests set the fields instead.
    TestContext(AppSettings& settings, ProxyList& list, TestRunHost& host, platform::Clock& clock);

    // "GET http://HOST/PATH HTTP/1.0" with Accept and Host: the delay test's request through a proxy.
    std::string TestPageRequest() const;
    // The text that the delay test's reply must contain.
    const std::string& PageMarker() const { return TestPageMarker.empty() ? m_pageMarker : TestPageMarker; }
    // "host:port" of the HTTPS test: TlsPage when set, otherwise the delay test's page host on port 443.
    std::string HttpsTarget() const;
    // Takes the test page and its marker from the settings, for the fields that are not set.
    void PreparePage();
    // Takes the judges' addresses from the settings: Judges in their order, the first one as JudgeUrl.
    void PrepareJudge();
    // Makes url the judge that the workers ask: JudgeUrl, and JudgeHost from it.
    void UseJudge(const std::string& url);
    // After PrepareJudge: reads the judge page without a proxy and learns OwnAddress from it: 0 when known, 1 when
    // the judge gave nothing (OwnAddress then keeps its value) or no address.
    int DetectOwnAddress();
    // The second half of DetectOwnAddress, for a caller that read the judge page itself.
    int LearnOwnAddress(const std::string& judgePage);

    AppSettings& m_settings;
    ProxyList& m_list;
    TestRunHost& m_host;
    platform::Clock& m_clock;

    std::string OwnAddress;
    std::string JudgeHost;
    // The judge URL taken at the start of the run, so that workers never read a setting that
    // the settings dialog may be rewriting.
    std::string JudgeUrl;
    // Every judge of the setting, tried in order until one shows OwnAddress.
    std::vector<std::string> Judges;
    // The delay test's page host and marker when the environment or a test sets them; empty ones come
    // from the settings (PreparePage).
    std::string TestPageHost;
    std::string TestPageMarker;
    // The address database and the dangerous-network list; the owner names the list's file.
    std::string GeoIpPath;
    std::string DangerousListPath;
    // Loaded by the controller before the first worker when their item is on; workers only read them.
    GeoIpDatabase Countries;
    DangerousList Dangerous;
    bool DangerousLoaded = false;
    // The HTTPS test's page and certificates (empty: the system's store), and its TLS set-up.
    std::string TlsPage;
    std::string TlsCaFile;
    TlsProbe Tls;
    // Existing workers, whether their thread runs or not; the controller's progress reads it.
    std::atomic<int32_t> LiveWorkerCount = 0;
    // The process's open-descriptor limit, read when the context is made (after start-up raised it);
    // it bounds the number of workers. Tests set a lower one.
    uint64_t OpenFileLimit;

private:
    // The settings' page, taken at the start of the run, so that workers never read a setting that the
    // settings dialog may be rewriting.
    HttpUrl m_page;
    std::string m_pageMarker;
};

// The addresses of a judge setting: the words between its blanks.
std::vector<std::string> SplitJudges(const std::string& setting);
// Whether text is an "http://" or "https://" URL with a host name, an optional port up to 65535 and
// no blanks or control characters.
bool IsWebAddress(const std::string& text);

// The host part of an "http://" URL, lower case, with its port if it has one.
std::string ComputeJudgeHost(const std::string& url);
// The address that a judge page shows in its REMOTE_ADDR line, upper case and without separators.
std::string ExtractOwnAddress(std::string reply);
