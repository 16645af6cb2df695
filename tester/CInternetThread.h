#pragma once

#include "platform/FileDescriptor.h"
#include "proxy/RelaxedInt32.h"
#include "tester/CThread.h"
#include "tester/JudgeVariables.h"

#include <array>
#include <cstdint>
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
    // the Timeout setting and the whole answer to 4 x Timeout and 1 MiB.
    void FetchViaProxy(std::string request);
    // 1 when a TLS handshake through the proxy's tunnel to the HTTPS page completed with a verified
    // certificate; 0 when the proxy refused the tunnel or the certificate did not verify (a proxy
    // that intercepts TLS is not one to trust with HTTPS); -1 without an answer in time.
    int32_t TestHttps();
    // Milliseconds until the delay test's page has arrived through the proxy, or -1.
    int32_t MeasureDelay();
    // Level 1 to 3 as the judge sees the proxy, or -1; counts the level in the list's counter.
    int32_t TestAnonymity();
    // Reads the judge's variables out of m_reply into m_judgeValues.
    void ParseJudgeReply();
    // 1 to 3 from the judge's reply, 0 when it is no judge page; sets m_gatewayFlag.
    int32_t ClassifyReply();

    int32_t m_itemIndex = -1;
    int32_t m_gatewayFlag = -1;
    std::string m_reply;
    std::string m_proxyAddress;
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
    bool AdoptSocket(platform::FileDescriptor socket);
    void CloseSocket();
    bool HasAny(std::initializer_list<JudgeVariable> rows) const;

    TestContext& m_context;
    // Guards m_socket between the worker and a Kill from another thread: the worker alone closes
    // it, Kill only shuts it down, so a descriptor number is never used after its close.
    std::mutex m_socketLock;
    platform::FileDescriptor m_socket;
};
