#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstdint>

namespace platform {

// 127.0.0.1 at port, for the loopback channels between the program, the extension's bridge and tests.
inline sockaddr_in LoopbackAddress(uint16_t port) {
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(port);
    where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return where;
}

} // namespace platform
