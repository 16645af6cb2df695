#include "download/ListDownload.h"
#include "download/CGzipFile.h"
#include "download/ListService.h"
#include "settings/SettingsStore.h"
#include "syscheck/OsVersion.h"
#include "syscheck/SystemCheck.h"
#include "tests/support/ByteServer.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

const std::string ThreeProxies = "1.2.3.4:80\r\n5.6.7.8:8080\r\nsome text 9.10.11.12:3128\r\n";
const std::string FirstLine = "#list#encode#update@45296#\r\n"; // 12:34:56

struct Recorded {
    std::string log;
    std::vector<std::string> messages;
    std::vector<std::string> added;
    ListDownload::Outcome outcome;
};

Recorded RunAgainst(const std::string& url, const TempDir& folder, DownloadLimits limits = {}) {
    Recorded recorded;
    ListDownload::Host host;
    host.appendLog = [&](const std::string& text, LogMode mode) {
        recorded.log = mode == LogMode::Clear ? text : recorded.log + text;
    };
    host.showMessage = [&](const std::string& text) { recorded.messages.push_back(text); };
    host.addRecords = [&](ListDownload::Records records) {
        for (const auto& record : records)
            recorded.added.push_back(record->ProxyAddressText());
    };
    ListDownload download(folder.Path(), url, host);
    download.m_limits = limits;
    download.m_pause = std::chrono::milliseconds(0);
    recorded.outcome = download.Run();
    // The owner logs the failure lines last, as the frame does.
    recorded.log += recorded.outcome.failure;
    return recorded;
}

bool Exists(const TempDir& folder, const char* name) {
    return std::filesystem::exists(folder.File(name));
}

} // namespace

// Every shape of reply, from the service's own example to broken and hostile ones.
TEST(ListDownloadTest, RepliesEndInTheListOrInTheFailurePathWithTheTempFilesAsSaid) {
    const std::string gzipped = ByteServer::Gzip(ThreeProxies);
    std::string corrupt = gzipped;
    corrupt[corrupt.size() / 2] ^= 0x55;
    corrupt[corrupt.size() / 2 + 1] ^= 0x55;
    struct Case {
        const char* name;
        std::string reply;
        int status;
        std::vector<std::string> added;
        const char* logged; // besides the failure lines
        std::vector<std::string> messages;
        bool temp2Stays;
        const char* updateTime;
    };
    const std::vector<std::string> none;
    const std::vector<std::string> three = {"1.2.3.4:80", "5.6.7.8:8080", "9.10.11.12:3128"};
    const Case cases[] = {
        {"example",
         FirstLine + gzipped,
         200,
         three,
         "Downloading the proxy list (updated at 12:34:56 GMT)...\r\nGet 3 proxy from Halvard successfully.\r\n",
         {},
         false,
         "12:34 GMT"},
        {"update without closing sign",
         "#list#encode#update@45296\n" + gzipped,
         200,
         three,
         "Downloading the proxy list (updated at 0:00:00 GMT)...\r\n",
         {},
         false,
         "0:00 GMT"},
        {"no update",
         "#list#encode\n" + gzipped,
         200,
         three,
         "Downloading the proxy list...\r\n",
         {},
         false,
         "12:00 GMT"},
        {"list without encode",
         "#list\n" + ThreeProxies,
         200,
         none,
         "Get 0 proxy from Halvard successfully.\r\n",
         {},
         false,
         "12:00 GMT"},
        {"no list", "#encode\n" + gzipped, 200, none, nullptr, {}, false, nullptr},
        {"empty reply", "", 200, none, nullptr, {}, false, nullptr},
        {"not found", "#list\n" + ThreeProxies, 404, none, nullptr, {}, false, nullptr},
        {"corrupt body", FirstLine + corrupt, 200, none, nullptr, {ListDownload::ReadError}, true, nullptr},
        {"cut body",
         FirstLine + gzipped.substr(0, gzipped.size() - 6),
         200,
         none,
         nullptr,
         {ListDownload::CloseError},
         true,
         nullptr},
        {"plain body marked encoded",
         FirstLine + ThreeProxies,
         200,
         none,
         nullptr,
         {ListDownload::ReadError},
         true,
         nullptr},
        {"only the first line", FirstLine, 200, none, nullptr, {ListDownload::ReadError}, true, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ByteServer server(c.reply, c.status);
        TempDir folder;
        const Recorded got = RunAgainst(server.Url(), folder);
        EXPECT_EQ(got.outcome.failure.empty(), got.outcome.showDialog);
        EXPECT_EQ(got.added, c.added);
        EXPECT_EQ(got.messages, c.messages);
        EXPECT_EQ(got.outcome.showDialog, c.updateTime != nullptr);
        if (c.updateTime) {
            EXPECT_NE(got.log.find(c.logged), std::string::npos) << got.log;
            EXPECT_EQ(got.outcome.updateTime, c.updateTime);
            EXPECT_EQ(got.log.find("failed"), std::string::npos);
        } else {
            EXPECT_EQ(got.log, ListDownload::FailureLines());
        }
        // The early exits keep both files for a look; every other end removes them.
        EXPECT_EQ(Exists(folder, ListDownload::TempFile), c.temp2Stays);
        EXPECT_EQ(Exists(folder, ListDownload::Temp2File), c.temp2Stays);
        EXPECT_EQ(server.LastRequest().rfind("GET /getproxylist.php?v=106 HTTP/1.1\r\n", 0), 0u);
        EXPECT_NE(server.LastRequest().find("User-Agent: ORV/1.02\r\n"), std::string::npos);
    }
}

TEST(ListDownloadTest, HostileServicesEndInTheFailurePathWithBoundedMemoryAndDisk) {
    DownloadLimits quick;
    quick.connectSeconds = 5;
    quick.lowSpeedSeconds = 2;
    struct Case {
        const char* name;
        std::unique_ptr<ByteServer> server;
        std::vector<std::string> messages;
    };
    Case cases[3] = {
        // 1 GiB of zeros in about a megabyte: the unpacking stops at its limit.
        {"gzip bomb",
         std::make_unique<ByteServer>(FirstLine + ByteServer::GzipZeros(uint64_t{1} << 30)),
         {ListDownload::ReadError}},
        {"endless reply", std::make_unique<ByteServer>("", 200, ByteServer::Endless), {}},
        {"silent service", std::make_unique<ByteServer>("", 200, ByteServer::Silent), {}},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir folder;
        const Recorded got = RunAgainst(c.server->Url(), folder, quick);
        EXPECT_EQ(got.messages, c.messages);
        EXPECT_TRUE(got.added.empty());
        EXPECT_FALSE(got.outcome.showDialog);
        EXPECT_EQ(got.log, ListDownload::FailureLines());
        std::error_code error;
        const auto size = std::filesystem::file_size(folder.File(ListDownload::TempFile), error);
        EXPECT_TRUE(error || size <= quick.maxReplyBytes);
    }
}

TEST(ListDownloadTest, NoProxyCarriesTheDownloadAndARefusedServiceFails) {
    ByteServer service(FirstLine + ByteServer::Gzip(ThreeProxies));
    ByteServer deadProxy("", 502);
    const std::string proxy = deadProxy.Url();
    ScopedEnv http("http_proxy", proxy.c_str());
    ScopedEnv httpUpper("HTTP_PROXY", proxy.c_str());
    ScopedEnv all("all_proxy", proxy.c_str());
    TempDir folder;
    EXPECT_EQ(RunAgainst(service.Url(), folder).added.size(), 3u);
    EXPECT_EQ(deadProxy.Requests(), 0);
    EXPECT_EQ(service.Requests(), 1);

    const Recorded refused = RunAgainst("http://127.0.0.1:1", folder);
    EXPECT_EQ(refused.log, ListDownload::FailureLines());
}

TEST(ListDownloadTest, ServiceAddressComesFromTheEnvironmentThenTheSettingsFileThenTheDefault) {
    TempDir folder;
    ScopedEnv unset(ListService::EnvironmentName, nullptr);
    EXPECT_EQ(ListService::ListServiceUrl(folder.Path()), ListService::DefaultUrl);
    folder.Write(SettingsStore::FileName, "[Other]\nA=1\n[Settings]\nListServiceUrl=http://127.0.0.1:9/x/\n");
    EXPECT_EQ(ListService::ListServiceUrl(folder.Path()), "http://127.0.0.1:9/x");
    // Saving the settings keeps the key the sheet does not show.
    AppSettings settings;
    SettingsStore(settings, folder.Path()).SaveSettings();
    EXPECT_EQ(ListService::ListServiceUrl(folder.Path()), "http://127.0.0.1:9/x");
    ScopedEnv set(ListService::EnvironmentName, "http://127.0.0.2:8");
    EXPECT_EQ(ListService::ListServiceUrl(folder.Path()), "http://127.0.0.2:8");
}

TEST(ListDownloadTest, GzipFileRoundTripsAndRefusesWhatIsNoGzipText) {
    TempDir folder;
    CGzipFile out;
    ASSERT_TRUE(out.Open(folder.File("a.gz"), CGzipFile::Write));
    EXPECT_TRUE(out.WriteText("hello ") && out.WriteText("world") && out.Flush());
    EXPECT_TRUE(out.Close());
    CGzipFile in;
    std::string text;
    ASSERT_TRUE(in.Open(folder.File("a.gz"), CGzipFile::Read));
    EXPECT_TRUE(in.ReadAllText(text, 100));
    EXPECT_EQ(text, "hello world");
    EXPECT_TRUE(in.Close());
    // An exact fit is fine; one byte more is over the limit.
    ASSERT_TRUE(in.Open(folder.File("a.gz"), CGzipFile::Read));
    EXPECT_TRUE(in.ReadAllText(text, 11));
    ASSERT_TRUE(in.Open(folder.File("a.gz"), CGzipFile::Read));
    EXPECT_FALSE(in.ReadAllText(text, 10));
    EXPECT_TRUE(text.empty());
    EXPECT_FALSE(in.Open(folder.File("missing.gz"), CGzipFile::Read));
    folder.Write("empty.gz", "");
    EXPECT_FALSE(in.Open(folder.File("empty.gz"), CGzipFile::Read));
    folder.Write("gzip of nothing", ByteServer::Gzip(""));
    ASSERT_TRUE(in.Open(folder.File("gzip of nothing"), CGzipFile::Read));
    EXPECT_FALSE(in.ReadAllText(text, 100));
}

TEST(SystemCheckTest, EveryRowOfTheVersionTableAndTheGapsBetweenThem) {
    using R = OsVersionRecord;
    struct Case {
        uint32_t platform, major, minor, build;
        int code;
    };
    const Case cases[] = {
        {R::Windows9x, 4, 0, 950, 1},
        {R::Windows9x, 4, 0, 949, 0},
        {R::Windows9x, 4, 9, 951, 2},
        {R::Windows9x, 4, 0, 1080, 2},
        {R::Windows9x, 4, 0, 1081, 3},
        {R::Windows9x, 4, 10, 1998, 4},
        {R::Windows9x, 4, 10, 1997, 0},
        {R::Windows9x, 4, 10, 1999, 5},
        {R::Windows9x, 4, 10, 2182, 5},
        {R::Windows9x, 4, 10, 2183, 6},
        {R::Windows9x, 4, 90, 3000, 7},
        {R::Windows9x, 4, 11, 3000, 0},
        {R::Windows9x, 5, 0, 950, 0},
        {R::Windows9x, 4, 10, 0x40A07CE, 4}, // the build's high bits are ignored
        {R::WindowsNT, 3, 51, 1057, 101},
        {R::WindowsNT, 4, 0, 1381, 102},
        {R::WindowsNT, 5, 0, 2195, 103},
        {R::WindowsNT, 5, 1, 2600, 104},
        {R::WindowsNT, 5, 2, 3790, 105},
        {R::WindowsNT, 6, 0, 6002, 106},
        {R::WindowsNT, 6, 1, 7601, 0},
        {R::WindowsNT, 10, 0, 19045, 0},
        {R::WindowsCE, 5, 2, 1, 201},
        {R::Other, 5, 1, 2600, 0},
        {7, 5, 1, 2600, 0},
    };
    for (const Case& c : cases) {
        OsVersionRecord record;
        record.platformId = c.platform;
        record.majorVersion = c.major;
        record.minorVersion = c.minor;
        record.buildNumber = c.build;
        EXPECT_EQ(OsVersion::GetOSVersionCode(record), c.code) << c.platform << " " << c.major << "." << c.minor;
    }
    EXPECT_EQ(OsVersion::GetOSVersionCode(OsVersion::RunningSystem()), 0);
    EXPECT_EQ(SystemCheck::LogMessage(103), "");
    EXPECT_EQ(SystemCheck::LogMessage(106), std::string("System check: You are using Windows Vista.\r\n"
                                                        "It may only support 10 simultaneous connections!\r\n"
                                                        "Please download the connection limit patch here:\r\n") +
                                                SystemCheck::SupportUrl + "\r\n");
}
