// The judge server reads whatever a client sends: the parse must take anything, and a page it composes
// must keep one variable a line.
#include "judge/JudgeRequest.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t cap = size == 0 ? 0 : data[0] * 64;
    const JudgeRequest request = JudgeRequest::Parse(input, cap);
    if (request.state == JudgeRequest::State::TooLarge && size <= cap)
        __builtin_trap();
    const std::string reply = request.Reply("10.0.0.1", 80);
    if (request.state != JudgeRequest::State::Complete)
        return 0;
    const std::string page = request.CgiVariables("10.0.0.1", 80);
    const auto lines = static_cast<size_t>(std::count(page.begin(), page.end(), '\n'));
    if (lines != 5 + request.headers.size() || page.find('\r') != std::string::npos ||
        (request.method != "HEAD" && !reply.ends_with(page)))
        __builtin_trap();
    return 0;
}
