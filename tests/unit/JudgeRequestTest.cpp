#include "judge/JudgeRequest.h"

#include <gtest/gtest.h>

#include <string>

// Each case: what arrived, what it reads as, and for a complete head the CGI lines of its fields; every
// head that is read to its end gets a reply that closes, 200 with the lines (no body for HEAD) or 400.
TEST(JudgeRequest, ReadsHeadsAndRefusesWhatIsNotOne) {
    using State = JudgeRequest::State;
    constexpr size_t Cap = 96;
    const std::string fill(Cap - 23, 'a'); // makes "GET / HTTP/1.0\r\nX: <fill>\r\n\r\n" Cap bytes long
    const struct {
        const char* what;
        std::string received;
        State state;
        std::string fields;
    } cases[] = {
        {"a proxied request", "GET http://j/ HTTP/1.0\r\nVia: 1.1 p\r\nX-Forwarded-For: 10.0.0.9\r\n\r\n",
         State::Complete, "HTTP_VIA=1.1 p\nHTTP_X_FORWARDED_FOR=10.0.0.9\n"},
        {"LF only, an empty line first", "\nHEAD / HTTP/1.1\nHost: j\n\n", State::Complete, "HTTP_HOST=j\n"},
        {"a body after the head", "POST / HTTP/1.1\r\nA: 3\r\n\r\nabc", State::Complete, "HTTP_A=3\n"},
        {"a folded field", "GET / HTTP/1.1\r\nX-A:  one \r\n \t two\r\n\r\n", State::Complete, "HTTP_X_A=one two\n"},
        {"odd name, empty value", "GET / HTTP/1.1\r\nClient.IP~x:\r\n\r\n", State::Complete, "HTTP_CLIENT_IP_X=\n"},
        {"a head just at the cap", "GET / HTTP/1.0\r\nX: " + fill + "\r\n\r\n", State::Complete,
         "HTTP_X=" + fill + "\n"},
        {"a head not ended yet", "GET / HTTP/1.1\r\nHost: j\r\n", State::Incomplete, ""},
        {"a head one byte over", "GET / HTTP/1.0\r\nX: a" + fill + "\r\n\r\n", State::TooLarge, ""},
        {"an endless line", std::string(Cap + 1, 'G'), State::TooLarge, ""},
        {"no version", "GET /\r\n\r\n", State::Malformed, ""},
        {"a bad version", "GET / HTTP/1\r\n\r\n", State::Malformed, ""},
        {"two spaces", "GET  / HTTP/1.1\r\n\r\n", State::Malformed, ""},
        {"a control byte in the address", "GET /\x01 HTTP/1.1\r\n\r\n", State::Malformed, ""},
        {"a blank before the colon", "GET / HTTP/1.1\r\nHost : j\r\n\r\n", State::Malformed, ""},
        {"a field without a colon", "GET / HTTP/1.1\r\nHost\r\n\r\n", State::Malformed, ""},
        {"a fold before any field", "GET / HTTP/1.1\r\n folded\r\n\r\n", State::Malformed, ""},
        {"a NUL in a value", std::string("GET / HTTP/1.1\r\nX: a\0b\r\n\r\n", 27), State::Malformed, ""},
    };
    for (const auto& c : cases) {
        const JudgeRequest request = JudgeRequest::Parse(c.received, Cap);
        EXPECT_EQ(request.state, c.state) << c.what;
        const std::string reply = request.Reply("10.1.2.3", 4321);
        EXPECT_NE(reply.find("\r\nConnection: close\r\n"), std::string::npos) << c.what;
        if (c.state != State::Complete) {
            EXPECT_TRUE(reply.starts_with("HTTP/1.1 400 Bad Request\r\n")) << c.what;
            continue;
        }
        const std::string lines = "REMOTE_ADDR=10.1.2.3\nREMOTE_PORT=4321\nREQUEST_METHOD=" + request.method +
                                  "\nREQUEST_URI=" + request.uri + "\nSERVER_PROTOCOL=" + request.protocol + "\n" +
                                  c.fields;
        EXPECT_EQ(request.CgiVariables("10.1.2.3", 4321), lines) << c.what;
        EXPECT_TRUE(reply.starts_with("HTTP/1.1 200 OK\r\n")) << c.what;
        EXPECT_EQ(reply.ends_with("\r\n\r\n" + lines), request.method != "HEAD") << c.what;
    }
}
