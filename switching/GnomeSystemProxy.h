#pragma once

#include "platform/SystemProxy.h"

// The GNOME desktop's proxy (also Unity's, Cinnamon's, MATE's, Budgie's), kept in GSettings.
// Every call first checks that the settings can be kept: the schema is installed and, for the usual
// dconf store, a session bus answers. Otherwise it writes nothing and returns false.
class GnomeSystemProxy : public platform::SystemProxy {
public:
    // An HTTP proxy: the same host and port for http, https and ftp with the proxy's own credentials or
    // none (never the user's); the socks proxy is left as it is. A SOCKS proxy: the socks host and port,
    // the others emptied. Either way the local addresses are added to the user's exceptions, mode 'manual'.
    bool SetIEProxyAll(const platform::ProxyTarget& target) override;
    // Mode 'none' only: the hosts and ports stay for the next switch in the desktop's own settings.
    bool SetIEDirectAll() override;
    std::string Desktop() const override { return "gnome"; }
    // The mode, the automatic configuration's address, the exceptions, every protocol's host and port
    // and the http proxy's credentials, each as GVariant text.
    std::optional<platform::ProxyValues> ReadUserValues() override;
    bool RestoreUserValues(const platform::ProxyValues& values) override;
};
