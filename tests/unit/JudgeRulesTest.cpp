#include "tester/HttpGetDirect.h"
#include "tester/TestContext.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/WorkerHarness.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Variables = std::vector<std::pair<std::string, std::string>>;

std::string JudgePage(JudgeDialect dialect, const Variables& variables) {
    std::string page = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html><body>\n";
    for (const auto& [name, value] : variables) {
        switch (dialect) {
        case JudgeDialect::Equals:
            page += name + " = " + value + "\n";
            break;
        case JudgeDialect::ColonBr:
            page += name + ": " + value + "<br>\n";
            break;
        case JudgeDialect::CrLf:
            page += name + "=" + value + "\r\n";
            break;
        }
    }
    return page + "</body></html>\n";
}

std::string DialectName(const testing::TestParamInfo<JudgeDialect>& info) {
    switch (info.param) {
    case JudgeDialect::Equals:
        return "Equals";
    case JudgeDialect::ColonBr:
        return "ColonBr";
    case JudgeDialect::CrLf:
        return "CrLf";
    }
    return "Unknown";
}

// Classifies judge pages as seen through the proxy 10.0.0.9:3128 from a PC at 192.168.7.7.
class JudgeRules : public testing::TestWithParam<JudgeDialect> {
protected:
    JudgeRules() {
        harness.context.OwnAddress = "192.168.7.7";
        worker.m_proxyAddress = "10.0.0.9:3128";
    }
    int32_t Classify(const Variables& variables) {
        worker.m_reply = JudgePage(GetParam(), variables);
        return worker.ClassifyReply();
    }
    // A clean reply from the proxy's own address plus the given variables.
    int32_t ClassifyWith(Variables more) {
        more.insert(more.begin(), {"REMOTE_ADDR", "10.0.0.9"});
        return Classify(more);
    }

    WorkerHarness harness;
    CInternetThread worker{harness.context};
};

} // namespace

INSTANTIATE_TEST_SUITE_P(Dialects, JudgeRules,
                         testing::Values(JudgeDialect::Equals, JudgeDialect::ColonBr, JudgeDialect::CrLf), DialectName);

TEST_P(JudgeRules, NoReplyOrNoRemoteAddressIsFailure) {
    worker.m_reply.clear();
    EXPECT_EQ(worker.ClassifyReply(), 0);
    EXPECT_EQ(Classify({{"HTTP_VIA", "1.1 cache"}}), 0);
    // The longer name is removed first, so REMOTE_ADDR does not find its value inside it.
    EXPECT_EQ(Classify({{"HTTP_PC_REMOTE_ADDR", "10.0.0.9"}}), 0);
}

TEST_P(JudgeRules, CleanReplyIsLevelOne) {
    EXPECT_EQ(ClassifyWith({{"HTTP_HOST", "judge.test"}, {"HTTP_ACCEPT", "*/*"}}), 1);
    // Read but deciding nothing; outside strict mode neither do the connection and the host name.
    EXPECT_EQ(ClassifyWith({{"KEEP_ALIVE", "300"}, {"MAX_FORWARDS", "5"}}), 1);
    EXPECT_EQ(ClassifyWith({{"HTTP_CONNECTION", "close"}, {"REMOTE_HOST", "cache.isp.test"}}), 1);
}

TEST_P(JudgeRules, OwnAddressAnywhereInTheReplyIsLevelThree) {
    EXPECT_EQ(ClassifyWith({{"HTTP_X_SOMETHING", "192.168.7.7"}}), 3);
    worker.m_reply = JudgePage(GetParam(), {{"REMOTE_ADDR", "10.0.0.9"}}) + "<p>you came from 192.168.7.7</p>\n";
    EXPECT_EQ(worker.ClassifyReply(), 3);
    harness.context.OwnAddress.clear(); // an unknown own address skips the rule
    EXPECT_EQ(ClassifyWith({{"HTTP_X_SOMETHING", "192.168.7.7"}}), 1);
}

TEST_P(JudgeRules, LevelThreeHeaders) {
    for (const char* name :
         {"HTTP_PC_REMOTE_ADDR", "HTTP_X_FWD_IP_ADDR", "HTTP_FORWARDED", "FORWARDED", "HTTP_CLIENT_IP", "HTTP_FROM"})
        EXPECT_EQ(ClassifyWith({{name, "172.16.1.1"}}), 3) << name;
    EXPECT_EQ(ClassifyWith({{"HTTP_X_FORWARDED_FOR", "172.16.1.1"}}), 3);
    // A proxy that forwards its own address hides nothing.
    EXPECT_EQ(ClassifyWith({{"HTTP_X_FORWARDED_FOR", "10.0.0.9"}}), 1);
    EXPECT_EQ(ClassifyWith({{"HTTP_VIA", "1.1 cache"}, {"HTTP_X_FORWARDED_FOR", "192.168.7.7"}}), 3);
}

TEST_P(JudgeRules, LevelTwoHeaders) {
    for (const char* name : {"HTTP_CACHE_CONTROL", "HTTP_VIA", "HTTP_PRAGMA", "HTTP_X_BLUECOAT_VIA", "HTTP_X_HOST",
                             "HTTP_X_REFERER", "HTTP_X_SERVER_HOSTNAME", "HTTP_PROXY_CONNECTION", "HTTP_MAX_FORWARDS",
                             "HTTP_PROXY____", "HTTP_PROXY___________", "PROXY_HOST", "PROXY_PORT", "PROXY_REQUEST"})
        EXPECT_EQ(ClassifyWith({{name, "x"}}), 2) << name;
    EXPECT_EQ(ClassifyWith({{"HTTP_USER_AGENT", "Browser/1.0 (ViA squid)"}}), 2);
    EXPECT_EQ(ClassifyWith({{"HTTP_USER_AGENT", "Browser/1.0"}}), 1);
}

TEST_P(JudgeRules, StrictModeWantsKeepAliveAndNoForeignHostName) {
    harness.settings.StrictTest = 1;
    EXPECT_EQ(ClassifyWith({}), 2);
    EXPECT_EQ(ClassifyWith({{"HTTP_CONNECTION", "Keep-Alive"}}), 1);
    EXPECT_EQ(ClassifyWith({{"HTTP_CONNECTION", "KEEP-ALIVE"}, {"REMOTE_HOST", "cache.isp.test"}}), 2);
    EXPECT_EQ(ClassifyWith({{"HTTP_CONNECTION", "keep-alive"}, {"REMOTE_HOST", "10.0.0.9"}}), 1);
    // The browser's proxy header is not the connection header.
    EXPECT_EQ(ClassifyWith({{"HTTP_PROXY_CONNECTION", "keep-alive"}}), 2);
}

TEST_P(JudgeRules, GatewayFlagComparesTheSeenAddressWithTheProxys) {
    EXPECT_EQ(ClassifyWith({}), 1);
    EXPECT_EQ(worker.m_gatewayFlag, -1); // gateway test off
    harness.settings.TestGateway = 1;
    const bool crLf = GetParam() == JudgeDialect::CrLf;
    EXPECT_EQ(ClassifyWith({}), 1);
    // The carriage return stays in the value, so a CR LF judge never finds it in the proxy's address.
    EXPECT_EQ(worker.m_gatewayFlag, crLf ? 1 : 0);
    EXPECT_EQ(Classify({{"REMOTE_ADDR", "10.0.0.200"}, {"HTTP_CLIENT_IP", "1.1.1.1"}}), 3);
    EXPECT_EQ(worker.m_gatewayFlag, 1);
}

TEST(JudgeRulesParse, ValuesLoseSeparatorsAndTagsAndAreLowerCase) {
    WorkerHarness harness;
    CInternetThread worker(harness.context);
    worker.m_reply = "remote_addr = 10.0.0.9<br>\nHTTP_VIA: 1.1 Cache.Example:3128 <BR>\r\nHTTP_FROM\n";
    worker.ParseJudgeReply();
    EXPECT_EQ(worker.m_judgeValues[RemoteAddr], "10.0.0.9");
    EXPECT_EQ(worker.m_judgeValues[HttpVia], "1.1cache.example3128\r");
    EXPECT_EQ(worker.m_judgeValues[HttpFrom], ""); // the line ends right behind the name
    EXPECT_EQ(worker.m_reply.find("REMOTE_ADDR"), std::string::npos);
}

TEST(JudgeRulesParse, TableHoldsTwentyEightNamesInSearchOrder) {
    EXPECT_EQ(JudgeVariables.size(), 28u);
    EXPECT_EQ(JudgeVariables[HttpProxy11], "HTTP_PROXY" + std::string(11, '_'));
    EXPECT_EQ(JudgeVariables[HttpProxy4], "HTTP_PROXY" + std::string(4, '_'));
    EXPECT_EQ(JudgeVariables[27], "HTTP_ENV_END");
    // A name found inside another is searched after it.
    for (size_t shorter = 0; shorter < JudgeVariableCount; ++shorter) {
        for (size_t longer = 0; longer < JudgeVariableCount; ++longer) {
            if (shorter != longer && JudgeVariables[longer].find(JudgeVariables[shorter]) != std::string_view::npos) {
                EXPECT_LT(longer, shorter) << JudgeVariables[shorter] << " inside " << JudgeVariables[longer];
            }
        }
    }
}

TEST(JudgeAddress, JudgeHostIsTheLowerCaseHostWithItsPort) {
    EXPECT_EQ(ComputeJudgeHost("http://Judge.Example:8080/AZenv/azenv.php"), "judge.example:8080");
    EXPECT_EQ(ComputeJudgeHost("HTTP://JUDGE.EXAMPLE"), "judge.example");
    EXPECT_EQ(ComputeJudgeHost("http:/"), "");
}

TEST(JudgeAddress, OwnAddressIsTheRemoteAddressWithoutSeparators) {
    EXPECT_EQ(ExtractOwnAddress("<p>REMOTE_ADDR = 1.2.3.4<br>\r\n"), "1.2.3.4");
    EXPECT_EQ(ExtractOwnAddress("remote_addr: 1.2.3.4\n"), "1.2.3.4");
    EXPECT_EQ(ExtractOwnAddress("REMOTE_ADDR = 1.2.3.4"), ""); // no line end
    EXPECT_EQ(ExtractOwnAddress("REMOTE_HOST = x\n"), "");
}

TEST(JudgeAddress, DetectOwnAddressAsksTheJudgeDirectly) {
    LoopbackServer server;
    const uint16_t judge = server.AddJudge(JudgeDialect::ColonBr);
    const uint16_t page = server.AddPage(0ms, "no judge here");
    ProxyScript silent;
    silent.mode = ProxyScript::Silent;
    const uint16_t quiet = server.AddProxy(silent);
    server.Start();
    WorkerHarness harness;
    TestContext& context = harness.context;

    harness.settings.ProxyJudge = "http://127.0.0.1:" + std::to_string(judge) + "/AZenv/azenv.php";
    context.PrepareJudge();
    EXPECT_EQ(context.JudgeHost, "127.0.0.1:" + std::to_string(judge));
    EXPECT_EQ(context.DetectOwnAddress(), 0);
    EXPECT_EQ(context.OwnAddress, "127.0.0.1");

    harness.settings.ProxyJudge = "http://127.0.0.1:" + std::to_string(quiet) + "/";
    context.PrepareJudge();
    EXPECT_EQ(context.DetectOwnAddress(), 1);
    EXPECT_EQ(context.OwnAddress, "127.0.0.1"); // no reply at all: kept

    harness.settings.ProxyJudge = "http://127.0.0.1:" + std::to_string(page) + "/";
    context.PrepareJudge();
    EXPECT_EQ(context.DetectOwnAddress(), 1);
    EXPECT_EQ(context.OwnAddress, "");
}

TEST(TestAnonymity, SendsTheAbsoluteUrlWithoutUserAgent) {
    LoopbackServer server;
    ProxyScript silent;
    silent.mode = ProxyScript::Silent;
    const uint16_t proxy = server.AddProxy(silent);
    server.Start();
    WorkerHarness harness;
    harness.settings.ProxyJudge = "http://Judge.Example:81/AZenv/azenv.php";
    harness.context.PrepareJudge();
    CInternetThread worker(harness.context);
    worker.m_proxyAddress = "127.0.0.1:" + std::to_string(proxy);

    EXPECT_EQ(worker.TestAnonymity(), -1);
    EXPECT_EQ(server.LastRequest(proxy), "GET http://Judge.Example:81/AZenv/azenv.php HTTP/1.0\r\nAccept: */*\r\n"
                                         "Host: judge.example:81\r\n\r\n");
    harness.settings.SimulateBrowser = 1;
    EXPECT_EQ(worker.TestAnonymity(), -1);
    EXPECT_EQ(server.LastRequest(proxy), "GET http://Judge.Example:81/AZenv/azenv.php HTTP/1.0\r\nAccept: */*\r\n"
                                         "Host: judge.example:81\r\nProxy-Connection: Keep-Alive\r\n\r\n");
}

TEST(TestAnonymity, CountsEachLevelInItsCounter) {
    LoopbackServer server;
    // On an address of its own: the PC's address in the Host line would make every proxy Level 3.
    const uint16_t judge = server.AddJudge(JudgeDialect::Equals, "", "127.0.0.3");
    ProxyScript elite;
    elite.outgoingAddress = "127.0.0.5";
    ProxyScript via = elite;
    via.setHeaders = {{"Via", "1.1 cache"}};
    ProxyScript transparent = elite;
    transparent.setHeaders = {{"X-Forwarded-For", "127.0.0.1"}};
    const uint16_t ports[] = {server.AddProxy(elite), server.AddProxy(via), server.AddProxy(transparent)};
    server.Start();
    WorkerHarness harness;
    harness.settings.ProxyJudge = "http://127.0.0.3:" + std::to_string(judge) + "/";
    harness.context.PrepareJudge();
    harness.context.OwnAddress = "127.0.0.1";
    for (int level = 1; level <= 3; ++level) {
        CInternetThread worker(harness.context);
        worker.m_proxyAddress = "127.0.0.1:" + std::to_string(ports[level - 1]);
        EXPECT_EQ(worker.TestAnonymity(), level);
    }
    // With the browser's header passed on, the judge shows HTTP_PROXY_CONNECTION.
    harness.settings.SimulateBrowser = 1;
    CInternetThread worker(harness.context);
    worker.m_proxyAddress = "127.0.0.1:" + std::to_string(ports[0]);
    EXPECT_EQ(worker.TestAnonymity(), 2);
    EXPECT_EQ(harness.list.m_level1Count.Get(), 1);
    EXPECT_EQ(harness.list.m_level2Count.Get(), 2);
    EXPECT_EQ(harness.list.m_level3Count.Get(), 1);
}

TEST(JudgeAddress, OwnAddressFromEveryDialectOfTheLoopbackJudge) {
    LoopbackServer server;
    const uint16_t judges[] = {server.AddJudge(JudgeDialect::Equals), server.AddJudge(JudgeDialect::ColonBr),
                               server.AddJudge(JudgeDialect::CrLf)};
    server.Start();
    for (uint16_t judge : judges) {
        const std::string reply = HttpGetDirect("http://127.0.0.1:" + std::to_string(judge) + "/", 2);
        EXPECT_EQ(ExtractOwnAddress(reply), "127.0.0.1") << reply;
        EXPECT_NE(reply.find("HTTP_ACCEPT"), std::string::npos) << reply;
    }
}
