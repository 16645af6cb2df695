#include "app/OrvCommandLine.h"
#include "download/ListDownload.h"
#include "download/ListService.h"
#include "tests/support/ByteServer.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

struct Ran {
    int status;
    std::string out;
    std::string err;
};

Ran RunOrv(const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    const int status = OrvCommandLine(out, err).Run(args);
    return {status, out.str(), err.str()};
}

const std::string List = "<td>1.2.3.4</td><td>80</td>\n5.6.7.8:8080\n";

} // namespace

// Pages from the web go through the file reader (plain pairs come before table cells, as in a file); a failed fetch
// names the address and the reason.
TEST(DownloadCommandLineTest, ExtractTakesWebAddressesAndExplainsFailedFetches) {
    ByteServer page(List);
    ByteServer missing("not here", 404);
    TempDir dir;
    dir.Write("a.txt", "9.9.9.9:99\n");
    const std::string refused = "http://127.0.0.1:1/list";
    const Ran ran = RunOrv({"--extract", page.Url() + "/list.html", missing.Url() + "/x", refused, dir.File("a.txt")});
    EXPECT_EQ(ran.status, 1);
    EXPECT_EQ(ran.out, "5.6.7.8:8080\n1.2.3.4:80\n9.9.9.9:99\n");
    EXPECT_NE(ran.err.find("orv: " + missing.Url() + "/x: HTTP status 404\n"), std::string::npos) << ran.err;
    EXPECT_NE(ran.err.find("orv: " + refused + ": "), std::string::npos) << ran.err;
    EXPECT_EQ(page.LastRequest().rfind("GET /list.html HTTP/1.1\r\n", 0), 0u);

    // --test stops at a page it cannot fetch or that holds no proxy, naming the address.
    ByteServer empty("no proxies here");
    for (const auto& [url, message] : {std::pair{missing.Url(), ": HTTP status 404\n"}, std::pair{empty.Url(), ""}}) {
        const Ran test = RunOrv({"--test", url});
        EXPECT_EQ(test.status, 1);
        const std::string expected = *message ? "orv: " + url + message : "orv: no proxies found in " + url + "\n";
        EXPECT_EQ(test.err, expected);
    }
}

TEST(DownloadCommandLineTest, DownloadPrintsTheLogThenTheProxiesOrFails) {
    TempDir dir;
    ScopedEnv data("ORV_DATA_DIR", dir.Path().c_str());
    ByteServer service("#list#encode#update@45296#\r\n" + ByteServer::Gzip(List));
    {
        ScopedEnv url(ListService::EnvironmentName, service.Url().c_str());
        const Ran ran = RunOrv({"--download"});
        EXPECT_EQ(ran.status, 0);
        EXPECT_EQ(ran.out, "Downloading the proxy list (updated at 12:34:56 GMT)...\n"
                           "Get 2 proxy from Halvard successfully.\n"
                           "5.6.7.8:8080\n1.2.3.4:80\n");
        const Ran exported = RunOrv({"--download", "--export", dir.File("out.txt")});
        EXPECT_EQ(exported.status, 0);
        EXPECT_EQ(dir.Read("out.txt"), "5.6.7.8:8080\n1.2.3.4:80\n");
        EXPECT_EQ(RunOrv({"--download", "--export"}).status, 2);
    }
    ScopedEnv url(ListService::EnvironmentName, "http://127.0.0.1:1");
    const Ran failed = RunOrv({"--download"});
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(failed.out, "Downloading proxy list from Halvard failed.\n"
                          "Please try it again or contact support@halvard.example for help.\n"
                          "Thank you.\n");
}
