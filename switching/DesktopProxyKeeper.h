#pragma once

#include "platform/SystemProxy.h"

#include <optional>
#include <string>

// Switches the desktop's proxy without losing the user's own settings. Before this program first changes
// them it keeps the values the change may touch in a file in DataFolder; a direct connection puts them
// back and removes the file. A file that outlives its run (the process was killed, the power went) holds
// the user's values still, and is given back at the next start.
class DesktopProxyKeeper {
public:
    DesktopProxyKeeper(platform::SystemProxy& desktop, std::string dataFolder);

    // Keeps the user's values unless they are kept already, then sets the proxy. A failed read or write of
    // the values does not stop the switch: the direct connection then changes only the mode.
    bool SetProxy(const platform::ProxyTarget& target);
    // Gives the kept values back. Without any, a desktop this run changed goes to mode 'none' only, and a
    // desktop it never changed stays as the user has it.
    bool SetDirect();
    // Gives back values that an earlier run kept; true when there were some and they are back.
    bool RestoreKept();

    // "desktop-proxy-gnome.txt" and the like: values kept for one desktop are never put into another.
    std::string RecordPath() const;

private:
    std::optional<platform::ProxyValues> LoadRecord() const;
    // Puts the values back and, once they are, drops the record.
    bool Restore(const platform::ProxyValues& values);

    platform::SystemProxy& m_desktop;
    const std::string m_dataFolder;
    // The desktop holds our proxy and no kept values say what it held before.
    bool m_changedUnkept = false;
};
