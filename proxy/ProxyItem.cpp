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

std::string ProxyItem::ProxyAddressText() const {
    std::string text(m_ip);
    text += ':';
    text += m_port;
    return text;
}

ProxyItem::RecordRead ProxyItem::ReadRecord(BinaryArchive& archive) {
    std::string_view ip;
    std::string_view port;
    try {
        ip = archive.ReadStringView();
        port = archive.ReadStringView();
    } catch (const ArchiveError&) {
        return RecordRead::Missing;
    }
    if (ip.size() > MaxIpLength || port.size() > MaxPortLength) {
        try {
            for (size_t i = 0; i < ResultFields(*this).size(); ++i)
                archive.ReadInt32();
        } catch (const ArchiveError&) {
        }
        return RecordRead::Refused;
    }
    CopyField(m_ip, ip);
    CopyField(m_port, port);
    try {
        for (RelaxedInt32* field : ResultFields(*this))
            *field = archive.ReadInt32();
    } catch (const ArchiveError&) {
        return RecordRead::Partial;
    }
    return RecordRead::Complete;
}

int ProxyItem::Serialize(BinaryArchive& archive, bool storing) {
    if (!storing)
        return ReadRecord(archive) == RecordRead::Complete ? 1 : 0;
    archive.WriteString(m_ip);
    archive.WriteString(m_port);
    for (const RelaxedInt32* field : ResultFields(*this))
        archive.WriteInt32(*field);
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
