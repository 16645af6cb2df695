#include "syscheck/OsVersion.h"

#include <cstdio>
#include <sys/utsname.h>

namespace {

int Windows9xCode(uint32_t major, uint32_t minor, uint32_t build) {
    if (major != 4)
        return 0;
    if (minor < 10) {
        if (build == 950)
            return 1;
        if (build > 950 && build <= 1080)
            return 2;
        return build > 1080 ? 3 : 0;
    }
    if (minor == 10) {
        if (build == 1998)
            return 4;
        if (build > 1998 && build < 2183)
            return 5;
        return build >= 2183 ? 6 : 0;
    }
    return minor == 90 ? 7 : 0;
}

int WindowsNTCode(uint32_t major, uint32_t minor) {
    struct Row {
        uint32_t major, minor;
        int code;
    };
    constexpr Row Rows[] = {{3, 51, 101}, {4, 0, 102}, {5, 0, 103}, {5, 1, 104}, {5, 2, 105}, {6, 0, 106}};
    for (const Row& row : Rows)
        if (row.major == major && row.minor == minor)
            return row.code;
    return 0;
}

} // namespace

int OsVersion::GetOSVersionCode(const OsVersionRecord& record) {
    // Only the low 16 bits of the build number count: the 9x family keeps its version in the high ones.
    const uint32_t build = record.buildNumber & 0xFFFF;
    switch (record.platformId) {
    case OsVersionRecord::Windows9x:
        return Windows9xCode(record.majorVersion, record.minorVersion, build);
    case OsVersionRecord::WindowsNT:
        return WindowsNTCode(record.majorVersion, record.minorVersion);
    case OsVersionRecord::WindowsCE:
        return 201;
    default:
        return 0;
    }
}

OsVersionRecord OsVersion::RunningSystem() {
    OsVersionRecord record;
    utsname name{};
    if (uname(&name) == 0) {
        unsigned major = 0, minor = 0, patch = 0;
        std::sscanf(name.release, "%u.%u.%u", &major, &minor, &patch);
        record.majorVersion = major;
        record.minorVersion = minor;
        record.buildNumber = patch;
    }
    return record;
}
