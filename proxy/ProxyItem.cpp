#include "proxy/ProxyItem.h"

#include "proxy/BinaryArchive.h"
#include "settings/AppSettings.h"

#include <cstring>

namespace {

template <size_t N> void CopyField(char (&field)[N], std::string_view text) {
    const size_t n = text.size() < N - 1 ? text.size() : N - 1;
    std::memcpy(field, text.data(), n);
    std::memset(field + n, 0, N - n);
}

} // namespace

void ProxyItem::SetAddress(std::string_view text) {
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos)
        return;
    CopyField(m_ip, text.substr(0, colon));
    CopyField(m_port, text.substr(colon + 1));
}

bool ProxyItem::SetAddressChecked(std::string_view text) {
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon > MaxIpLength || text.size() - colon - 1 > MaxPortLength)
        return false;
    SetAddress(text);
    return true;
}

std::string ProxyItem::ProxyAddressText() const {
    std::string text(m_ip);
    text += ':';
    text += m_port;
    return text;
}

int ProxyItem::Serialize(BinaryArchive& archive, bool storing) {
    RelaxedInt32* const results[] = {&m_country, &m_delay,  &m_anonymity, &m_https,
                                     &m_gateway, &m_danger, &m_codeen,    &m_status};
    try {
        if (storing) {
            archive.WriteString(m_ip);
            archive.WriteString(m_port);
            for (RelaxedInt32* field : results)
                archive.WriteInt32(*field);
        } else {
            const std::string ip = archive.ReadString();
            const std::string port = archive.ReadString();
            if (ip.size() > MaxIpLength || port.size() > MaxPortLength)
                return 0;
            CopyField(m_ip, ip);
            CopyField(m_port, port);
            for (RelaxedInt32* field : results)
                *field = archive.ReadInt32();
        }
    } catch (const ArchiveError&) {
        return 0;
    }
    return 1;
}

void ProxyItem::ResetForTest(const AppSettings& settings) {
    if (settings.TestDelay)
        m_delay = Untested;
    if (settings.TestAnon)
        m_anonymity = Untested;
    if (settings.TestGateway)
        m_gateway = Untested;
    if (settings.TestSSL)
        m_https = Untested;
    if (settings.TestDanger)
        m_danger = Untested;
    if (settings.TestCodeen)
        m_codeen = Untested;
    if (m_status != StatusActive && m_status != StatusReady && (settings.TestDelay || settings.TestAnon))
        m_status = StatusUnknown;
}

void ProxyItem::DeriveStatus(const AppSettings& settings) {
    m_status = StatusUnknown;
    if (settings.TestAnon) {
        const int32_t level = m_anonymity;
        if (level >= 1 && level <= 3)
            m_status = StatusGood;
        else if (level == TimedOut)
            m_status = StatusBad;
    } else if (settings.TestDelay) {
        m_status = m_delay == TimedOut ? StatusBad : StatusGood;
    }
}
