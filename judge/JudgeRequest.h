#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// One request to the judge server, read from the bytes a connection sent: the request line and the
// header fields, with folded lines joined.
struct JudgeRequest {
    enum class State {
        Incomplete, // the head has not ended yet and is within its cap
        Complete,
        TooLarge, // the head is longer than its cap
        Malformed,
    };

    State state = State::Incomplete;
    std::string method;
    std::string uri;
    std::string protocol;
    std::vector<std::pair<std::string, std::string>> headers; // in the order sent, names as sent

    // Reads the head at the start of received (the body, if any, is ignored); a head of more than maxHead
    // bytes is TooLarge even when it has not ended.
    static JudgeRequest Parse(std::string_view received, size_t maxHead);

    // The page the judge shows: the request's CGI variables, NAME=value one a line, as a CGI script that
    // prints its environment shows them.
    std::string CgiVariables(std::string_view peerAddress, uint16_t peerPort) const;

    // The whole reply: 200 with the variables, or 400 for a request that is not Complete. Either closes.
    std::string Reply(std::string_view peerAddress, uint16_t peerPort) const;
};
