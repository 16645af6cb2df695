#pragma once

#include "platform/SystemProxy.h"

// The GNOME desktop's proxy (also Unity's, Cinnamon's, MATE's, Budgie's), kept in GSettings.
// Every call first checks that the settings can be kept: the schema is installed and, for the usual
// dconf store, a session bus answers. Otherwise it writes nothing and returns false.
class GnomeSystemProxy : public platform::SystemProxy {
public:
    // The same host and port for http, https and ftp, the local addresses bypassed, mode 'manual';
    // the socks proxy is left as it is.
    bool SetIEProxyAll(const std::string& server) override;
    // Mode 'none' only: the hosts and ports stay for the next switch in the desktop's own settings.
    bool SetIEDirectAll() override;
};
