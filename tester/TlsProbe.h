#pragma once

#include "tester/SocketIo.h"

#include <functional>
#include <string>

struct ssl_ctx_st;

// The TLS side of the HTTPS test: a client set-up made once per run (the system's certificate store,
// or a CA file for tests) and a handshake over a socket that a proxy already tunnels to the page.
// Prepared by one thread, then shared: any number of workers may shake hands at once.
class TlsProbe {
public:
    TlsProbe() = default;
    ~TlsProbe();
    TlsProbe(const TlsProbe&) = delete;
    TlsProbe& operator=(const TlsProbe&) = delete;

    // caFile empty: the system's store. False, with error set, when no certificate could be loaded.
    bool Prepare(const std::string& caFile, std::string& error);
    bool IsReady() const { return m_context != nullptr; }

    // Shakes hands with host over the non-blocking socket fd, the certificate checked for host:
    // 1 verified, 0 refused (no TLS, a bad certificate, a closed tunnel), -1 silence of limit, the
    // deadline or stopped().
    int Handshake(int fd, const std::string& host, std::chrono::milliseconds limit,
                  socketio::Clock::time_point deadline, const std::function<bool()>& stopped) const;

private:
    ssl_ctx_st* m_context = nullptr;
};
