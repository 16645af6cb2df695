#pragma once

#include <cstdint>

// The system's version record, as the version query fills it. Tests make up the Windows ones.
struct OsVersionRecord {
    static constexpr uint32_t RecordSize = 148;
    enum Platform : uint32_t { Other = 0, Windows9x = 1, WindowsNT = 2, WindowsCE = 3 };

    uint32_t size = RecordSize;
    uint32_t majorVersion = 0;
    uint32_t minorVersion = 0;
    uint32_t buildNumber = 0;
    uint32_t platformId = Other;
};

class OsVersion {
public:
    static constexpr int WindowsXP = 104;
    static constexpr int WindowsVista = 106;

    // The release code of the record; 0 for every combination the table does not name.
    static int GetOSVersionCode(const OsVersionRecord& record);
    // The running system's record: on Linux no Windows platform, so its code is 0.
    static OsVersionRecord RunningSystem();
};
