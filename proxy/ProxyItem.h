#pragma once

#include "proxy/ProxyKind.h"
#include "proxy/RelaxedInt32.h"
#include "proxy/TestItems.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class BinaryArchive;

// Result values shared by every result field.
constexpr int32_t Untested = -2;
constexpr int32_t TimedOut = -1;

enum ProxyStatus : int32_t {
    StatusUnknown = 0,
    StatusActive = 1,
    StatusReady = 2,
    StatusGood = 3,
    StatusBad = 4,
};

// One proxy: its address and port as they were read, and the results of its last test.
// Workers write the result fields while the window paints them (see RelaxedInt32).
class ProxyItem {
public:
    static constexpr size_t MaxIpLength = 15;
    static constexpr size_t MaxPortLength = 5;

    uint32_t m_index = 0;
    char m_ip[MaxIpLength + 1] = {};
    char m_port[MaxPortLength + 1] = {};
    RelaxedInt32 m_country = Untested;
    RelaxedInt32 m_delay = Untested;
    RelaxedInt32 m_anonymity = Untested;
    RelaxedInt32 m_https = Untested;
    RelaxedInt32 m_gateway = Untested;
    RelaxedInt32 m_danger = Untested;
    RelaxedInt32 m_codeen = Untested;
    RelaxedInt32 m_status = StatusUnknown;
    // A ProxyKind; a worker that detects the kind writes it while the window paints.
    RelaxedInt32 m_kind = static_cast<int32_t>(ProxyKind::Http);
    // Shared, never changed once set: a copy of the record or a worker may hold it.
    std::shared_ptr<const ProxyCredentials> m_credentials;

    ProxyKind Kind() const { return static_cast<ProxyKind>(m_kind.load()); }
    void SetKind(ProxyKind kind) { m_kind = static_cast<int32_t>(kind); }
    void SetCredentials(std::string user, std::string password);
    // Whether the record needs the saved list's longer record: another kind or credentials.
    bool HasExtras() const { return Kind() != ProxyKind::Http || m_credentials != nullptr; }
    // "socks5://" or "socks4://" for those kinds, then "user:password@" when asked for and given, then
    // "address:port". An HTTP record without credentials gives ProxyAddressText.
    std::string UrlText(bool withCredentials) const;

    // "address:port": splits at the first colon. Without a colon nothing changes. The caller keeps
    // the parts within 15 and 5 characters.
    void SetAddress(std::string_view text);
    // Like SetAddress, but refuses (returns false, changes nothing) a text without a colon or with
    // an address or port longer than the fields hold. For producers other than the parser.
    bool SetAddressChecked(std::string_view text);
    std::string ProxyAddressText() const;

    // How reading one record of the saved list ended.
    enum class RecordRead {
        Complete, // every field read
        Partial,  // address and port read, the data ended among the results: those read keep their values
        Missing,  // the data ended before the address and port were read: nothing changed
        Refused,  // the address or the port is longer than its field: nothing changed, the record's bytes
                  // were skipped so that the next record can be read
    };
    // extended: the record goes on with the kind and the credentials (the saved list's version 101).
    // A kind that is none of ours or credentials the protocols cannot carry refuse the record.
    RecordRead ReadRecord(BinaryArchive& archive, bool extended = false);

    // Writes or reads one record of the saved list. Returns 1 on success, 0 when the archive failed
    // (the fields read before the failure keep their new values) or the record was refused.
    int Serialize(BinaryArchive& archive, bool storing, bool extended = false);

    void ResetForTest(const TestItems& items);
    void DeriveStatus(const TestItems& items);

private:
    // The kind and the credentials of an extended record; false when they are not ours to hold.
    bool ReadExtras(BinaryArchive& archive);
};
