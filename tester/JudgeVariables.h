#pragma once

#include <array>
#include <string_view>

// The variables searched for in a judge's reply, in search order: a longer name comes before any
// shorter name it contains, because each found name is removed before the next is searched.
// The last row only marks the end of the table.
inline constexpr std::array<std::string_view, 28> JudgeVariables = {
    "KEEP_ALIVE",
    "HTTP_MAX_FORWARDS",
    "MAX_FORWARDS",
    "HTTP_USER_AGENT",
    "HTTP_PROXY_CONNECTION",
    "HTTP_X_FORWARDED_FOR",
    "HTTP_FORWARDED",
    "FORWARDED",
    "HTTP_VIA",
    "HTTP_X_BLUECOAT_VIA",
    "HTTP_PC_REMOTE_ADDR",
    "REMOTE_ADDR",
    "HTTP_PROXY___________",
    "HTTP_PROXY____",
    "REMOTE_HOST",
    "HTTP_X_FWD_IP_ADDR",
    "HTTP_CONNECTION",
    "HTTP_X_HOST",
    "HTTP_X_REFERER",
    "HTTP_X_SERVER_HOSTNAME",
    "PROXY_HOST",
    "PROXY_PORT",
    "PROXY_REQUEST",
    "HTTP_CLIENT_IP",
    "HTTP_PRAGMA",
    "HTTP_CACHE_CONTROL",
    "HTTP_FROM",
    "HTTP_ENV_END",
};

// Rows of the table that the rules read by position.
enum JudgeVariable : size_t {
    KeepAlive,
    HttpMaxForwards,
    MaxForwards,
    HttpUserAgent,
    HttpProxyConnection,
    HttpXForwardedFor,
    HttpForwarded,
    Forwarded,
    HttpVia,
    HttpXBluecoatVia,
    HttpPcRemoteAddr,
    RemoteAddr,
    HttpProxy11,
    HttpProxy4,
    RemoteHost,
    HttpXFwdIpAddr,
    HttpConnection,
    HttpXHost,
    HttpXReferer,
    HttpXServerHostname,
    ProxyHost,
    ProxyPort,
    ProxyRequest,
    HttpClientIp,
    HttpPragma,
    HttpCacheControl,
    HttpFrom,
    JudgeVariableCount, // 27 searched rows
};
