#include "judge/JudgeRequest.h"
#include "judge/JudgeServer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using State = JudgeRequest::State;
constexpr size_t Cap = 96;

} // namespace

// Each case: what arrived, what it reads as, and for a complete head the CGI lines of its fields.
TEST(JudgeRequest, ReadsHeadsAndRefusesWhatIsNotOne) {
    const std::string atCap = "GET / HTTP/1.0\r\nX: " + std::string(Cap - 23, 'a') + "\r\n\r\n";
    const struct {
        const char* what;
        std::string received;
        State state;
        std::string fields;
    } cases[] = {
        {"a proxied request", "GET http://j/ HTTP/1.0\r\nVia: 1.1 p\r\nX-Forwarded-For: 10.0.0.9\r\n\r\n",
         State::Complete, "HTTP_VIA=1.1 p\nHTTP_X_FORWARDED_FOR=10.0.0.9\n"},
        {"lines ending in LF only", "GET / HTTP/1.1\nHost: j\n\n", State::Complete, "HTTP_HOST=j\n"},
        {"an empty line first", "\r\nGET / HTTP/1.1\r\nHost: j\r\n\r\n", State::Complete, "HTTP_HOST=j\n"},
        {"a body after the head", "POST / HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc", State::Complete,
         "HTTP_CONTENT_LENGTH=3\n"},
        {"a folded field", "GET / HTTP/1.1\r\nX-A:  one \r\n \t two\r\n\r\n", State::Complete, "HTTP_X_A=one two\n"},
        {"odd name and empty value", "GET / HTTP/1.1\r\nClient.IP~x:\r\n\r\n", State::Complete, "HTTP_CLIENT_IP_X=\n"},
        {"bytes of another encoding", "GET / HTTP/1.1\r\nX: \xc3\xa9\r\n\r\n", State::Complete, "HTTP_X=\xc3\xa9\n"},
        {"a head just at the cap", atCap, State::Complete, "HTTP_X=" + std::string(Cap - 23, 'a') + "\n"},
        {"a head not ended yet", "GET / HTTP/1.1\r\nHost: j\r\n", State::Incomplete, ""},
        {"nothing yet", "", State::Incomplete, ""},
        {"a head one byte over", "GET / HTTP/1.0\r\nX: " + std::string(Cap - 22, 'a') + "\r\n\r\n", State::TooLarge,
         ""},
        {"an endless line", std::string(Cap + 1, 'G'), State::TooLarge, ""},
        {"no version", "GET /\r\n\r\n", State::Malformed, ""},
        {"a bad version", "GET / HTTP/1\r\n\r\n", State::Malformed, ""},
        {"two spaces", "GET  / HTTP/1.1\r\n\r\n", State::Malformed, ""},
        {"a control byte in the address", "GET /\x01 HTTP/1.1\r\n\r\n", State::Malformed, ""},
        {"a blank before the colon", "GET / HTTP/1.1\r\nHost : j\r\n\r\n", State::Malformed, ""},
        {"a field without a colon", "GET / HTTP/1.1\r\nHost\r\n\r\n", State::Malformed, ""},
        {"a fold before any field", "GET / HTTP/1.1\r\n folded\r\n\r\n", State::Malformed, ""},
        {"a NUL in a value", std::string("GET / HTTP/1.1\r\nX: a\0b\r\n\r\n", 27), State::Malformed, ""},
        {"empty lines only", "\r\n\r\n", State::Malformed, ""},
    };
    for (const auto& c : cases) {
        const JudgeRequest request = JudgeRequest::Parse(c.received, Cap);
        EXPECT_EQ(request.state, c.state) << c.what;
        if (c.state != State::Complete)
            continue;
        const std::string lines = request.CgiVariables("10.1.2.3", 4321);
        const std::string start = "REMOTE_ADDR=10.1.2.3\nREMOTE_PORT=4321\nREQUEST_METHOD=" + request.method +
                                  "\nREQUEST_URI=" + request.uri + "\nSERVER_PROTOCOL=" + request.protocol + "\n";
        EXPECT_EQ(lines, start + c.fields) << c.what;
    }
}

TEST(JudgeRequest, RepliesCloseAndHeadGetsNoBody) {
    const struct {
        std::string received;
        std::string status;
        bool body;
    } cases[] = {
        {"GET / HTTP/1.0\r\n\r\n", "HTTP/1.1 200 OK\r\n", true},
        {"HEAD / HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK\r\n", false},
        {"GET\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n", true},
    };
    for (const auto& c : cases) {
        const std::string reply = JudgeRequest::Parse(c.received, Cap).Reply("10.1.2.3", 1);
        const size_t end = reply.find("\r\n\r\n") + 4;
        EXPECT_TRUE(reply.starts_with(c.status)) << reply;
        EXPECT_NE(reply.find("\r\nConnection: close\r\n"), std::string::npos) << reply;
        EXPECT_EQ(reply.size() > end, c.body) << reply;
    }
}

TEST(JudgeServer, EndpointTakesIpv4Ipv6AndPortOnly) {
    const struct {
        const char* text;
        const char* listening; // empty: refused
    } cases[] = {
        {"8080", "127.0.0.1:8080"},
        {"0.0.0.0:80", "0.0.0.0:80"},
        {"[::1]:0", "[::1]:0"},
        {"[::]:8080", "[::]:8080"},
        {"127.0.0.1:65536", ""},
        {"localhost:80", ""},
        {"::1:80", ""},
        {"1.2.3:80", ""},
        {"127.0.0.1:", ""},
        {"[127.0.0.1]:80", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        std::string error;
        const auto endpoint = JudgeServer::Endpoint::Parse(c.text, error);
        EXPECT_EQ(endpoint ? endpoint->Text() : "", c.listening) << c.text;
        EXPECT_EQ(error.empty(), endpoint.has_value()) << c.text;
    }
}
