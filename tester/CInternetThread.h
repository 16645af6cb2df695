#pragma once

#include "platform/FileDescriptor.h"
#include "proxy/ProxyKind.h"
#include "proxy/RelaxedInt32.h"
#include "tester/CThread.h"
#include "tester/JudgeVariables.h"
#include "tester/SocketIo.h"
#include "tester/SocksTunnel.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

class ProxyItem;
struct TestContext;

// One test worker: tests one proxy of the list (country and danger from its address, then delay,
// anonymity and HTTPS through it) on its own thread and
// writes the results into the proxy's record, which it finds by position in the list.
class CInternetThread : public CThread {
public:
    // A worker's deepest call, the TLS handshake, needs a small part of this; thousands of workers
    // with the system's 8 MiB each would reserve tens of GiB of address space.
    static constexpr size_t DefaultStackSize = 256 * 1024;

    // stackSize 0 is the system's default.
    explicit CInternetThread(TestContext& context, size_t stackSize = DefaultStackSize);
    ~CInternetThread() override;

    // Connects to m_proxyAddress, sends request once and collects the answer in m_reply, which stays
    // empty when the proxy cannot be reached or says nothing in time. Every wait is limited to
    // the Timeout setting and the whole answer to 4 x Timeout and 1 MiB. request is written for an
    // HTTP proxy; a SOCKS proxy gets it in origin-form through its tunnel, and credentials go along.
    void FetchViaProxy(std::string request);
    // 1 when a TLS handshake through the proxy's tunnel to the HTTPS page completed with a verified
    // certificate; 0 when the proxy refused the tunnel or the certificate did not verify (a proxy
    // that intercepts TLS is not one to trust with HTTPS); -1 without an answer in time.
    int32_t TestHttps();
    // Milliseconds until the delay test's page has arrived through the proxy, or -1.
    int32_t MeasureDelay();
    // For a record of kind Detect: the delay test's page through HTTP, then SOCKS5, then SOCKS4. The
    // first kind that answers as a web server does is written into the record and kept for the
    // other tests. Returns the delay as MeasureDelay does; -1 when no kind answered.
    int32_t DetectKind();
    // Level 1 to 3 as the judge sees the proxy, or -1; counts the level in the list's counter.
    int32_t TestAnonymity();
    // TestAnonymity without the count: for a test whose owner keeps the counters itself.
    int32_t JudgeLevel();
    // Reads the judge's variables out of m_reply into m_judgeValues.
    void ParseJudgeReply();
    // 1 to 3 from the judge's reply, 0 when it is no judge page; sets m_gatewayFlag.
    int32_t ClassifyReply();

    int32_t m_itemIndex = -1;
    int32_t m_gatewayFlag = -1;
    std::string m_reply;
    std::string m_proxyAddress;
    ProxyKind m_kind = ProxyKind::Http;
    std::shared_ptr<const ProxyCredentials> m_credentials;
    // Set when the proxy turned the credentials down (or wanted some): the run logs it once the worker ended.
    std::atomic<bool> m_authRefused = false;
    std::array<std::string, JudgeVariableCount> m_judgeValues;

protected:
    int32_t Run() override;
    // Shuts the socket down, so that every wait of the exchange in progress returns at once.
    void OnKill() override;

private:
    // Writes a result into the tested record, unless the worker was killed or the record is gone.
    void WriteResult(RelaxedInt32 ProxyItem::*field, int32_t value);
    // A non-blocking socket connected to m_proxyAddress within Timeout, owned by the worker (m_socket);
    // -1 when none could be made or the worker was killed.
    int ConnectToProxy();
    // ConnectToProxy, then for a SOCKS kind the tunnel to host:port. deadline becomes the end of the
    // whole exchange, counted from the connection. -1 with outcome saying why when there is no way through.
    int ConnectThrough(const std::string& host, uint16_t port, socketio::Clock::time_point& deadline,
                       SocksTunnel::Outcome& outcome);
    bool IsSocks() const { return m_kind == ProxyKind::Socks4 || m_kind == ProxyKind::Socks5; }
    bool AdoptSocket(platform::FileDescriptor socket);
    void CloseSocket();
    bool HasAny(std::initializer_list<JudgeVariable> rows) const;

    TestContext& m_context;
    // Guards m_socket between the worker and a Kill from another thread: the worker alone closes
    // it, Kill only shuts it down, so a descriptor number is never used after its close.
    std::mutex m_socketLock;
    platform::FileDescriptor m_socket;
};
