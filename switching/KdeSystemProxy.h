#pragma once

#include "platform/SystemProxy.h"

#include <string>

// KDE's proxy, kept in kioslaverc in the user's configuration folder. The file is edited as text and
// replaced atomically, so the user's other settings in it survive; then the running KDE programs are
// told on the session bus to read it again (skipped without a session bus).
class KdeSystemProxy : public platform::SystemProxy {
public:
    // ProxyType 1 with the local addresses added to the user's NoProxyFor. An HTTP proxy: the same
    // "http://HOST PORT" for http, https and ftp. A SOCKS proxy: "socks://HOST PORT" for socksProxy, the
    // others emptied (KDE speaks SOCKS5 only).
    bool SetIEProxyAll(const platform::ProxyTarget& target) override;
    // ProxyType 0 only: the proxies stay for the next switch in the desktop's own settings.
    bool SetIEDirectAll() override;
    std::string Desktop() const override { return "kde"; }
    // The [Proxy Settings] lines of every key SetIEProxyAll edits, whole (options such as [$e]
    // included), one value per key with its lines separated by '\n'.
    std::optional<platform::ProxyValues> ReadUserValues() override;
    bool RestoreUserValues(const platform::ProxyValues& values) override;
};
