#pragma once

#include "platform/SystemProxy.h"

#include <memory>
#include <string>
#include <string_view>

enum class SystemProxyKind { None, Gnome, Kde };

// The kind for the desktop: forced ("gnome", "kde" or "none", from ORV_SYSTEM_PROXY) when given, else
// from desktops (XDG_CURRENT_DESKTOP, names separated by ':', the first known one decides). A forced
// value that is none of these is ignored, and warning then holds a line that says so.
SystemProxyKind ChooseSystemProxy(std::string_view desktops, std::string_view forced, std::string& warning);

// The backend for this session's desktop; the warning of ChooseSystemProxy goes to stderr.
std::unique_ptr<platform::SystemProxy> MakeSystemProxy();
