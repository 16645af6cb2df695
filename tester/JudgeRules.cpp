// The anonymity half of CInternetThread: the judge request, the reading of the judge's reply and
// the rules that turn it into a level.
#include "proxy/ProxyList.h"
#include "settings/AppSettings.h"
#include "tester/CInternetThread.h"
#include "tester/TestContext.h"
#include "tester/TextUtil.h"

int32_t CInternetThread::TestAnonymity() {
    const int32_t level = JudgeLevel();
    if (LevelCounter* counter = m_context.m_list.CounterOf(level))
        UnlessKilled([&] { counter->Increment(); });
    return level;
}

int32_t CInternetThread::JudgeLevel() {
    const TestContext& context = m_context;
    std::string request = "GET " + context.JudgeUrl + " HTTP/1.0\r\nAccept: */*\r\nHost: " + context.JudgeHost + "\r\n";
    request += context.m_settings.SimulateBrowser ? "Proxy-Connection: Keep-Alive\r\n\r\n" : "\r\n";
    FetchViaProxy(std::move(request));
    const int32_t level = ClassifyReply();
    return level >= 1 && level <= 3 ? level : -1;
}

void CInternetThread::ParseJudgeReply() {
    ToUpperInPlace(m_reply);
    for (size_t row = 0; row < JudgeVariableCount; ++row) {
        const std::string_view name = JudgeVariables[row];
        std::string value;
        const size_t found = m_reply.find(name);
        if (found != std::string::npos) {
            const size_t start = found + name.size();
            const size_t end = m_reply.find('\n', start);
            if (end != std::string::npos && end > start) {
                value = m_reply.substr(start, end - start);
                RemoveAll(value, "<BR>");
                RemoveChars(value, ":= ");
                value = ToLower(std::move(value));
            }
            // A shorter name later in the table must not find this one.
            RemoveAll(m_reply, name);
        }
        m_judgeValues[row] = std::move(value);
    }
}

bool CInternetThread::HasAny(std::initializer_list<JudgeVariable> rows) const {
    for (JudgeVariable row : rows)
        if (!m_judgeValues[row].empty())
            return true;
    return false;
}

int32_t CInternetThread::ClassifyReply() {
    if (m_reply.empty())
        return 0;
    ParseJudgeReply();
    const std::string& remote = m_judgeValues[RemoteAddr];
    if (remote.empty())
        return 0;
    const AppSettings& settings = m_context.m_settings;
    if (settings.TestGateway)
        m_gatewayFlag = m_proxyAddress.find(remote) != std::string::npos ? 0 : 1;

    const std::string& own = m_context.OwnAddress;
    if (!own.empty() && m_reply.find(own) != std::string::npos)
        return 3;
    const std::string& forwardedFor = m_judgeValues[HttpXForwardedFor];
    if ((!forwardedFor.empty() && forwardedFor != remote) ||
        HasAny({HttpPcRemoteAddr, HttpXFwdIpAddr, HttpForwarded, Forwarded, HttpClientIp, HttpFrom}))
        return 3;
    if (settings.StrictTest && m_judgeValues[HttpConnection].find("keep-alive") == std::string::npos)
        return 2;
    if (HasAny({HttpCacheControl, HttpVia, HttpPragma, HttpXBluecoatVia, HttpXHost, HttpXReferer, HttpXServerHostname,
                HttpProxyConnection, HttpMaxForwards, HttpProxy4, HttpProxy11, ProxyHost, ProxyPort, ProxyRequest}) ||
        m_judgeValues[HttpUserAgent].find("via") != std::string::npos)
        return 2;
    const std::string& remoteHost = m_judgeValues[RemoteHost];
    if (settings.StrictTest && !remoteHost.empty() && remoteHost != remote)
        return 2;
    return 1;
}
