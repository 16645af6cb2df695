#include "tester/CInternetThread.h"

#include "platform/Clock.h"
#include "platform/PortNumber.h"
#include "proxy/ProxyItem.h"
#include "proxy/ProxyList.h"
#include "settings/AppSettings.h"
#include "tester/ProxyRequest.h"
#include "tester/SocketIo.h"
#include "tester/TestContext.h"
#include "tester/TestRunHost.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

CInternetThread::CInternetThread(TestContext& context, size_t stackSize) : CThread(stackSize), m_context(context) {
    ++m_context.LiveWorkerCount;
}

CInternetThread::~CInternetThread() {
    EndThread();
    CloseSocket();
    --m_context.LiveWorkerCount;
}

int32_t CInternetThread::Run() {
    const AppSettings& settings = m_context.m_settings;
    // The address alone answers these two: they need no network.
    const std::string_view host = std::string_view(m_proxyAddress).substr(0, m_proxyAddress.find(':'));
    if (settings.TestCountry && m_context.Countries.IsLoaded())
        WriteResult(&ProxyItem::m_country, m_context.Countries.CountryOf(host));
    if (settings.TestDanger && m_context.DangerousLoaded)
        WriteResult(&ProxyItem::m_danger, m_context.Dangerous.IsDangerousAddress(host) > 0 ? 1 : 0);
    bool failed = false;
    if (m_kind == ProxyKind::Detect) {
        const int32_t delay = DetectKind();
        if (settings.TestDelay)
            WriteResult(&ProxyItem::m_delay, delay);
        failed = m_kind == ProxyKind::Detect || (settings.TestDelay && delay == TimedOut);
    } else if (settings.TestDelay) {
        const int32_t delay = MeasureDelay();
        WriteResult(&ProxyItem::m_delay, delay);
        failed = delay == TimedOut;
    }
    // Wrong credentials stay wrong: the other tests would only be turned down again.
    failed = failed || m_authRefused;
    if (settings.TestAnon) {
        WriteResult(&ProxyItem::m_anonymity, failed ? TimedOut : TestAnonymity());
        if (settings.TestGateway)
            WriteResult(&ProxyItem::m_gateway, m_gatewayFlag);
    }
    if (settings.TestSSL && m_context.Tls.IsReady())
        WriteResult(&ProxyItem::m_https, failed ? TimedOut : TestHttps());
    const bool written = UnlessKilled([&] {
        ProxyList& list = m_context.m_list;
        if (m_itemIndex < 0 || static_cast<size_t>(m_itemIndex) >= list.GetSize())
            return;
        ProxyItem& item = *list[static_cast<size_t>(m_itemIndex)];
        if (item.m_status != StatusActive)
            item.DeriveStatus(settings.Items());
    });
    if (written)
        m_context.m_host.RedrawRows(m_itemIndex, m_itemIndex);
    return 0;
}

int32_t CInternetThread::MeasureDelay() {
    platform::Clock& clock = m_context.m_clock;
    const int32_t t1 = clock.LocalTimeOfDayMs();
    FetchViaProxy(m_context.TestPageRequest());
    const int32_t t2 = clock.LocalTimeOfDayMs();
    if (m_reply.find(m_context.TestPageMarker) == std::string::npos)
        return TimedOut;
    int32_t delay = t2 - t1;
    if (delay < 0)
        delay += 86'400'000; // the page arrived after midnight
    return delay;
}

int32_t CInternetThread::DetectKind() {
    for (const ProxyKind kind : {ProxyKind::Http, ProxyKind::Socks5, ProxyKind::Socks4}) {
        m_kind = kind;
        const int32_t delay = MeasureDelay();
        if (m_reply.starts_with("HTTP/") || m_authRefused) {
            WriteResult(&ProxyItem::m_kind, static_cast<int32_t>(kind));
            return delay;
        }
        if (IsKilled())
            break;
    }
    m_kind = ProxyKind::Detect;
    return TimedOut;
}

void CInternetThread::WriteResult(RelaxedInt32 ProxyItem::*field, int32_t value) {
    UnlessKilled([&] {
        ProxyList& list = m_context.m_list;
        if (m_itemIndex >= 0 && static_cast<size_t>(m_itemIndex) < list.GetSize())
            list[static_cast<size_t>(m_itemIndex)]->*field = value;
    });
}

void CInternetThread::OnKill() {
    {
        std::lock_guard<std::mutex> hold(m_socketLock);
        if (m_socket.Valid())
            shutdown(m_socket.Get(), SHUT_RDWR);
    }
    CThread::OnKill();
}

bool CInternetThread::AdoptSocket(platform::FileDescriptor socket) {
    std::lock_guard<std::mutex> hold(m_socketLock);
    // A Kill that came before the socket existed could not shut it down: the socket closes here.
    if (IsKilled())
        return false;
    m_socket = std::move(socket);
    return true;
}

void CInternetThread::CloseSocket() {
    std::lock_guard<std::mutex> hold(m_socketLock);
    m_socket.Reset();
}

int CInternetThread::ConnectToProxy() {
    const size_t colon = m_proxyAddress.find(':');
    const std::string host = m_proxyAddress.substr(0, colon);
    const std::string port = colon == std::string::npos ? "80" : m_proxyAddress.substr(colon + 1);
    if (host.size() > 255 || port.size() > 5)
        return -1;
    // The HTTP test has always folded the port into 16 bits; a SOCKS record with a port out of range is Bad.
    if (IsSocks() && !ParsePort(port))
        return -1;

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(FoldPort(port));
    // Dotted addresses only: anything else becomes the "none" address and the connection fails.
    address.sin_addr.s_addr = inet_addr(host.c_str());

    platform::FileDescriptor socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
    const int fd = socket.Get();
    if (!socket.Valid() || !AdoptSocket(std::move(socket)))
        return -1;
    int on = 1;
    ioctl(fd, FIONBIO, &on);
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    const std::chrono::milliseconds limit = std::chrono::seconds(m_context.m_settings.Timeout);
    if (!socketio::ConnectWithin(fd, address, limit) || IsKilled()) {
        CloseSocket();
        return -1;
    }
    return fd;
}

int CInternetThread::ConnectThrough(const std::string& host, uint16_t port, socketio::Clock::time_point& deadline,
                                    SocksTunnel::Outcome& outcome) {
    outcome = SocksTunnel::Outcome::Silent;
    const int fd = ConnectToProxy();
    if (fd < 0)
        return -1;
    const std::chrono::milliseconds limit = std::chrono::seconds(m_context.m_settings.Timeout);
    deadline = socketio::Clock::now() + socketio::ExchangeLimitFactor * limit;
    if (!IsSocks())
        return fd;
    outcome =
        SocksTunnel(m_kind, m_credentials.get()).Open(fd, host, port, {limit, deadline, [this] { return IsKilled(); }});
    if (outcome == SocksTunnel::Outcome::Open)
        return fd;
    if (outcome == SocksTunnel::Outcome::AuthRefused)
        m_authRefused = true;
    CloseSocket();
    return -1;
}

void CInternetThread::FetchViaProxy(std::string request) {
    m_reply.clear();
    std::string host;
    uint16_t port = 0;
    if (IsSocks()) {
        std::optional<ProxyRequest::Tunnelled> tunnelled = ProxyRequest::ForTunnel(request);
        if (!tunnelled)
            return;
        host = std::move(tunnelled->host);
        port = tunnelled->port;
        request = std::move(tunnelled->text);
    } else if (m_credentials) {
        request = ProxyRequest::WithBasicAuth(request, *m_credentials);
    }
    socketio::Clock::time_point deadline;
    SocksTunnel::Outcome outcome;
    const int fd = ConnectThrough(host, port, deadline, outcome);
    if (fd < 0)
        return;
    const std::chrono::milliseconds limit = std::chrono::seconds(m_context.m_settings.Timeout);
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    socketio::ReceiveReply(fd, m_reply, 1400, limit, deadline, [this] { return IsKilled(); });
    CloseSocket();
    // 407: the HTTP proxy wants credentials, or others than ours; some proxies answer wrong ones with 401.
    const bool refused =
        m_reply.size() > 12 && m_reply.starts_with("HTTP/") &&
        (m_reply.compare(8, 5, " 407 ") == 0 || (m_credentials && m_reply.compare(8, 5, " 401 ") == 0));
    if (!IsSocks() && refused)
        m_authRefused = true;
}

int32_t CInternetThread::TestHttps() {
    const std::string target = m_context.HttpsTarget();
    const auto hostPort = ProxyRequest::SplitHostPort(target, 443);
    if (!hostPort)
        return 0;
    socketio::Clock::time_point deadline;
    SocksTunnel::Outcome outcome;
    const int fd = ConnectThrough(hostPort->first, hostPort->second, deadline, outcome);
    if (fd < 0)
        return outcome == SocksTunnel::Outcome::Silent ? TimedOut : 0;
    const std::chrono::milliseconds limit = std::chrono::seconds(m_context.m_settings.Timeout);
    const auto killed = [this] { return IsKilled(); };
    if (IsSocks()) {
        const int32_t result = m_context.Tls.Handshake(fd, hostPort->first, limit, deadline, killed);
        CloseSocket();
        return result;
    }
    std::string request = "CONNECT " + target + " HTTP/1.0\r\nHost: " + target + "\r\n\r\n";
    if (m_credentials)
        request = ProxyRequest::WithBasicAuth(request, *m_credentials);
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string head;
    int32_t result = TimedOut;
    if (socketio::ReceiveHead(fd, head, limit, deadline, killed)) {
        // "HTTP/1.x 200 ...": any other answer is a refusal.
        const bool open = head.size() > 12 && head.compare(0, 5, "HTTP/") == 0 && head.compare(8, 4, " 200") == 0 &&
                          (head[12] == ' ' || head[12] == '\r');
        result = open ? m_context.Tls.Handshake(fd, target.substr(0, target.rfind(':')), limit, deadline, killed) : 0;
    } else if (!head.empty()) {
        result = 0; // an answer that is no HTTP head
    }
    CloseSocket();
    return result;
}
