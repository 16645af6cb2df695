#include "proxy/ProxyItem.h"

#include "proxy/BinaryArchive.h"

#include <array>
#include <cstring>

namespace {

template <size_t N> void CopyField(char (&field)[N], std::string_view text) {
    const size_t n = text.size() < N - 1 ? text.size() : N - 1;
    std::memcpy(field, text.data(), n);
    std::memset(field + n, 0, N - n);
}

// The result fields in the order of the saved list.
template <typename Item> auto ResultFields(Item& item) {
    return std::array{&item.m_country, &item.m_delay,  &item.m_anonymity, &item.m_https,
                      &item.m_gateway, &item.m_danger, &item.m_codeen,    &item.m_status};
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

void ProxyItem::SetCredentials(std::string user, std::string password) {
    m_credentials = std::make_shared<const ProxyCredentials>(ProxyCredentials{std::move(user), std::move(password)});
}

std::string ProxyItem::UrlText(bool withCredentials) const {
    std::string text(ProxyKindPrefix(Kind()));
    if (withCredentials && m_credentials)
        text += m_credentials->m_user + ':' + m_credentials->m_password + '@';
    return text + ProxyAddressText();
}

std::string ProxyItem::ProxyAddressText() const {
    std::string text(m_ip);
    text += ':';
    text += m_port;
    return text;
}

bool ProxyItem::ReadExtras(BinaryArchive& archive) {
    const int32_t kind = archive.ReadInt32();
    std::string user = archive.ReadString();
    std::string password = archive.ReadString();
    if (kind < 0 || kind >= ProxyKindCount || !ProxyCredentials::IsAcceptable(user) ||
        !ProxyCredentials::IsAcceptable(password))
        return false;
    SetKind(static_cast<ProxyKind>(kind));
    m_credentials.reset();
    if (!user.empty() || !password.empty())
        SetCredentials(std::move(user), std::move(password));
    return true;
}

ProxyItem::RecordRead ProxyItem::ReadRecord(BinaryArchive& archive, bool extended) {
    std::string_view ip;
    std::string_view port;
    try {
        ip = archive.ReadStringView();
        port = archive.ReadStringView();
    } catch (const ArchiveError&) {
        return RecordRead::Missing;
    }
    const bool fits = ip.size() <= MaxIpLength && port.size() <= MaxPortLength;
    // Read whole before anything is kept: a refused record changes nothing.
    std::array<int32_t, 8> results{};
    size_t read = 0;
    ProxyItem extras;
    bool extrasFit = true;
    bool extrasRead = !extended;
    try {
        for (; read < results.size(); ++read)
            results[read] = archive.ReadInt32();
        if (extended) {
            extrasFit = extras.ReadExtras(archive);
            extrasRead = true;
        }
    } catch (const ArchiveError&) {
    }
    if (!fits || !extrasFit)
        return RecordRead::Refused;
    CopyField(m_ip, ip);
    CopyField(m_port, port);
    for (size_t i = 0; i < read; ++i)
        *ResultFields(*this)[i] = results[i];
    if (read < results.size() || !extrasRead)
        return RecordRead::Partial;
    m_kind = extras.m_kind.load();
    m_credentials = std::move(extras.m_credentials);
    return RecordRead::Complete;
}

int ProxyItem::Serialize(BinaryArchive& archive, bool storing, bool extended) {
    if (!storing)
        return ReadRecord(archive, extended) == RecordRead::Complete ? 1 : 0;
    archive.WriteString(m_ip);
    archive.WriteString(m_port);
    for (const RelaxedInt32* field : ResultFields(*this))
        archive.WriteInt32(*field);
    if (extended) {
        archive.WriteInt32(m_kind);
        archive.WriteString(m_credentials ? m_credentials->m_user : std::string());
        archive.WriteString(m_credentials ? m_credentials->m_password : std::string());
    }
    return 1;
}

void ProxyItem::ResetForTest(const TestItems& items) {
    if (items.delay)
        m_delay = Untested;
    if (items.anonymity)
        m_anonymity = Untested;
    if (items.gateway)
        m_gateway = Untested;
    if (items.https)
        m_https = Untested;
    if (items.danger)
        m_danger = Untested;
    if (items.codeen)
        m_codeen = Untested;
    if (m_status != StatusActive && m_status != StatusReady && (items.delay || items.anonymity))
        m_status = StatusUnknown;
}

void ProxyItem::DeriveStatus(const TestItems& items) {
    m_status = StatusUnknown;
    if (items.anonymity) {
        const int32_t level = m_anonymity;
        if (level >= 1 && level <= 3)
            m_status = StatusGood;
        else if (level == TimedOut)
            m_status = StatusBad;
    } else if (items.delay) {
        m_status = m_delay == TimedOut ? StatusBad : StatusGood;
    }
}
