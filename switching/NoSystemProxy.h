#pragma once

#include "platform/SystemProxy.h"

// For desktops without a system proxy this program knows: nothing is written, and every call says so.
class NoSystemProxy : public platform::SystemProxy {
public:
    bool SetIEProxyAll(const platform::ProxyTarget&) override { return false; }
    bool SetIEDirectAll() override { return false; }
    std::string Desktop() const override { return {}; }
    std::optional<platform::ProxyValues> ReadUserValues() override { return std::nullopt; }
    bool RestoreUserValues(const platform::ProxyValues&) override { return false; }
};
