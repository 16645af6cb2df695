#include "judge/JudgeRequest.h"

#include "platform/TextLines.h"

#include <algorithm>
#include <cctype>

namespace {

using State = JudgeRequest::State;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsTokenChar(unsigned char c) {
    return IsDigit(static_cast<char>(c)) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
           std::string_view("!#$%&'*+-.^_`|~").find(static_cast<char>(c)) != std::string_view::npos;
}

bool IsToken(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return IsTokenChar(c); });
}

// Visible characters and the bytes of other encodings; blanks only where the caller allows them.
bool IsFieldChar(unsigned char c) {
    return c == '\t' || (c >= ' ' && c != 0x7f);
}

// Where the head ends (after its empty line) and how long it is without that line; lines end in CR LF
// or a bare LF, as lenient servers read them.
struct HeadEnd {
    size_t head = std::string_view::npos;
    size_t total = std::string_view::npos;
};

HeadEnd FindHeadEnd(std::string_view text) {
    for (size_t lf = text.find('\n'); lf != std::string_view::npos; lf = text.find('\n', lf + 1)) {
        size_t next = lf + 1;
        if (next < text.size() && text[next] == '\r')
            ++next;
        if (next < text.size() && text[next] == '\n')
            return {lf + 1, next + 1};
    }
    return {};
}

bool ParseRequestLine(std::string_view line, JudgeRequest& request) {
    const size_t first = line.find(' ');
    const size_t second = line.find(' ', first + 1);
    if (first == std::string_view::npos || second == std::string_view::npos)
        return false;
    const std::string_view method = line.substr(0, first);
    const std::string_view uri = line.substr(first + 1, second - first - 1);
    const std::string_view protocol = line.substr(second + 1);
    const bool versionOk = protocol.size() == 8 && protocol.starts_with("HTTP/") && IsDigit(protocol[5]) &&
                           protocol[6] == '.' && IsDigit(protocol[7]);
    const bool uriOk =
        !uri.empty() && std::all_of(uri.begin(), uri.end(), [](unsigned char c) { return c > ' ' && c != 0x7f; });
    if (!IsToken(method) || !uriOk || !versionOk)
        return false;
    request.method = method;
    request.uri = uri;
    request.protocol = protocol;
    return true;
}

// A field line, or a folded line that continues the field before it.
bool ParseFieldLine(std::string_view line, JudgeRequest& request) {
    if (!std::all_of(line.begin(), line.end(), [](char c) { return IsFieldChar(static_cast<unsigned char>(c)); }))
        return false;
    if (IsBlank(line.front())) {
        if (request.headers.empty())
            return false;
        std::string& value = request.headers.back().second;
        const std::string_view more = TrimBlanks(line);
        if (!value.empty() && !more.empty())
            value += ' ';
        value += more;
        return true;
    }
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos || !IsToken(line.substr(0, colon)))
        return false;
    request.headers.emplace_back(line.substr(0, colon), TrimBlanks(line.substr(colon + 1)));
    return true;
}

State ParseHead(std::string_view head, JudgeRequest& request) {
    const std::vector<std::string_view> lines = SplitLines(head);
    // Empty lines before the request line are left over from a client's previous request.
    const auto first = std::find_if(lines.begin(), lines.end(), [](std::string_view line) { return !line.empty(); });
    if (first == lines.end() || !ParseRequestLine(*first, request))
        return State::Malformed;
    for (auto line = first + 1; line != lines.end(); ++line)
        if (!ParseFieldLine(*line, request))
            return State::Malformed;
    return State::Complete;
}

std::string CgiName(std::string_view header) {
    std::string name = "HTTP_";
    for (char c : header)
        name += std::isalnum(static_cast<unsigned char>(c)) ? static_cast<char>(std::toupper(c)) : '_';
    return name;
}

std::string Compose(std::string_view status, std::string_view body, bool withBody) {
    std::string reply = "HTTP/1.1 ";
    reply += status;
    reply += "\r\nContent-Type: text/plain; charset=utf-8\r\nX-Content-Type-Options: nosniff\r\n"
             "Cache-Control: no-store\r\nContent-Length: ";
    reply += std::to_string(body.size());
    reply += "\r\nConnection: close\r\n\r\n";
    if (withBody)
        reply += body;
    return reply;
}

} // namespace

JudgeRequest JudgeRequest::Parse(std::string_view received, size_t maxHead) {
    JudgeRequest request;
    const HeadEnd end = FindHeadEnd(received);
    if (end.head == std::string_view::npos) {
        // The empty line that ends the head may still come; more than the cap cannot be a head at all.
        request.state = received.size() > maxHead ? State::TooLarge : State::Incomplete;
        return request;
    }
    if (end.total > maxHead) {
        request.state = State::TooLarge;
        return request;
    }
    request.state = ParseHead(received.substr(0, end.head), request);
    return request;
}

std::string JudgeRequest::CgiVariables(std::string_view peerAddress, uint16_t peerPort) const {
    std::string text;
    const auto add = [&text](std::string_view name, std::string_view value) {
        text.append(name).append("=").append(value).append("\n");
    };
    add("REMOTE_ADDR", peerAddress);
    add("REMOTE_PORT", std::to_string(peerPort));
    add("REQUEST_METHOD", method);
    add("REQUEST_URI", uri);
    add("SERVER_PROTOCOL", protocol);
    for (const auto& [name, value] : headers)
        add(CgiName(name), value);
    return text;
}

std::string JudgeRequest::Reply(std::string_view peerAddress, uint16_t peerPort) const {
    if (state != State::Complete)
        return Compose("400 Bad Request", "Bad request\n", true);
    return Compose("200 OK", CgiVariables(peerAddress, peerPort), method != "HEAD");
}
