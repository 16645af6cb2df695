#include "switching/DesktopProxyKeeper.h"

#include "platform/AtomicFile.h"

#include <cstdio>
#include <system_error>

namespace {

constexpr std::string_view Heading = "# The desktop's own proxy settings while orv's proxy is set. Do not edit.\n";

// One "name=value" line a value; a value's backslashes and line ends are escaped, so that any bytes
// (quotes, commas, brackets, several lines) come back as they were.
std::string Format(const platform::ProxyValues& values) {
    std::string text(Heading);
    for (const auto& [name, value] : values) {
        text.append(name).append("=");
        for (const char c : value) {
            if (c == '\\')
                text += "\\\\";
            else if (c == '\n')
                text += "\\n";
            else if (c == '\r')
                text += "\\r";
            else
                text += c;
        }
        text += '\n';
    }
    return text;
}

std::optional<std::string> Unescape(std::string_view escaped) {
    std::string value;
    for (size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] != '\\') {
            value += escaped[i];
            continue;
        }
        if (++i == escaped.size())
            return std::nullopt;
        const char c = escaped[i];
        if (c != '\\' && c != 'n' && c != 'r')
            return std::nullopt;
        value += c == 'n' ? '\n' : c == 'r' ? '\r' : '\\';
    }
    return value;
}

// Nothing for a damaged record: it is then not given back, and the next switch writes a new one.
std::optional<platform::ProxyValues> Parse(std::string_view text) {
    if (text.substr(0, Heading.size()) != Heading)
        return std::nullopt;
    text.remove_prefix(Heading.size());
    platform::ProxyValues values;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const size_t equals = text.find('=');
        if (end == std::string_view::npos || equals == 0 || equals > end)
            return std::nullopt;
        const auto value = Unescape(text.substr(equals + 1, end - equals - 1));
        if (!value)
            return std::nullopt;
        values.emplace(text.substr(0, equals), *value);
        text.remove_prefix(end + 1);
    }
    return values;
}

} // namespace

DesktopProxyKeeper::DesktopProxyKeeper(platform::SystemProxy& desktop, std::string dataFolder)
    : m_desktop(desktop), m_dataFolder(std::move(dataFolder)) {}

std::string DesktopProxyKeeper::RecordPath() const {
    return m_dataFolder + "desktop-proxy-" + m_desktop.Desktop() + ".txt";
}

std::optional<platform::ProxyValues> DesktopProxyKeeper::LoadRecord() const {
    if (m_desktop.Desktop().empty())
        return std::nullopt;
    try {
        const std::optional<std::string> text = ReadWholeFile(RecordPath());
        return text ? Parse(*text) : std::nullopt;
    } catch (const std::system_error&) {
        return std::nullopt;
    }
}

bool DesktopProxyKeeper::SetProxy(const platform::ProxyTarget& target) {
    // Once our proxy is set without a record, what the desktop holds is ours: never keep that as the user's.
    if (!m_changedUnkept && !LoadRecord()) {
        const auto values = m_desktop.Desktop().empty() ? std::nullopt : m_desktop.ReadUserValues();
        m_changedUnkept = !values || !ReplaceFileAtomically(RecordPath(), Format(*values));
    }
    return m_desktop.SetIEProxyAll(target);
}

bool DesktopProxyKeeper::SetDirect() {
    const std::optional<platform::ProxyValues> values = LoadRecord();
    if (values && Restore(*values))
        return true;
    if (!values && !m_changedUnkept)
        return true;
    // Kept values that would not go back stay for a later try; at least our proxy is off meanwhile.
    m_changedUnkept = false;
    return m_desktop.SetIEDirectAll();
}

bool DesktopProxyKeeper::RestoreKept() {
    const std::optional<platform::ProxyValues> values = LoadRecord();
    return values && Restore(*values);
}

bool DesktopProxyKeeper::Restore(const platform::ProxyValues& values) {
    if (!m_desktop.RestoreUserValues(values))
        return false;
    m_changedUnkept = false;
    std::remove(RecordPath().c_str());
    return true;
}
