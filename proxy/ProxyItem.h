#pragma once

#include "proxy/RelaxedInt32.h"
#include "proxy/TestItems.h"

#include <cstdint>
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
    RecordRead ReadRecord(BinaryArchive& archive);

    // Writes or reads one record of the saved list. Returns 1 on success, 0 when the archive failed
    // (the fields read before the failure keep their new values) or the record was refused.
    int Serialize(BinaryArchive& archive, bool storing);

    void ResetForTest(const TestItems& items);
    void DeriveStatus(const TestItems& items);
};
