// The SOCKS answers on any bytes: no crash, a connect answer's length never shorter than what was
// read to learn it, and a refusal for any version byte that is not the protocol's.
#include "tester/SocksTunnel.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    bool password = false;
    const bool offered = size > 0 && (data[0] & 1) != 0;
    const auto method = SocksTunnel::Socks5MethodReply(bytes.substr(0, 2), offered, password);
    if ((password && !offered) || (method != SocksTunnel::Outcome::Refused && (size < 2 || data[0] != 5)))
        std::abort();
    const auto four = SocksTunnel::Socks4Reply(bytes.substr(0, 8));
    if (four != SocksTunnel::Outcome::Refused && (size < 8 || data[0] != 0))
        std::abort();
    SocksTunnel::Socks5PasswordReply(bytes.substr(0, 2));
    if (const auto length = SocksTunnel::Socks5ConnectReplyLength(bytes.substr(0, 5)); length && *length < 5)
        std::abort();
    return 0;
}
