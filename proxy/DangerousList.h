#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

class ProxyList;

// The list of dangerous address ranges read from "DangerousIP.dat": loaded for one pass over the
// proxy list and released right after it.
//
// File layout (little-endian): "orv\0", the offset of the index block, the range records (first and
// last address, both included, ascending), then at the index offset a 13-byte descriptor (record
// count, 8 unused bytes, record size 8) and 256 signed entries, one per first octet: 1 + the
// position of the first record whose first address starts with that octet, below 1 for none.
class DangerousList {
public:
    static constexpr const char* FileName = "DangerousIP.dat";

    // Results of LoadDangerousList.
    static constexpr int Loaded = 0;
    static constexpr int CannotOpen = -3;
    static constexpr int BadFormat = -2;

    // 0 when loaded, when already loaded (nothing done) and when the index offset cannot be reached
    // (nothing loaded); -3 when the file cannot be opened; -2 when the magic is wrong or the file
    // does not hold what its header says (nothing loaded). The loaded flag is set at the start and
    // stays set whatever happens, until FreeDangerousList.
    int LoadDangerousList(const std::string& path);
    // 1 when the address lies in a range; 0 when not, when the text is no dotted address, or when no
    // record begins with its first octet; -2 when the octet index names records but none are loaded
    // (after a failed load or a release). Only a result above 0 means dangerous.
    int IsDangerousAddress(std::string_view address) const;
    // Drops the records and clears the loaded flag. The octet index stays as the last load left it.
    void FreeDangerousList();

    // Sets m_danger to 1 for every record in the list found in the file at path; other records keep
    // their value. Returns the number marked.
    int MarkDangerous(ProxyList& list, const std::string& path);
    // Deletes every record whose address is found in the file at path, keeping the order of the
    // others. Returns the number deleted.
    int DeleteDangerousProxies(ProxyList& list, const std::string& path);

private:
    struct Range {
        uint32_t first;
        uint32_t last;
    };

    int ReadFile(std::FILE* file);

    bool m_loaded = false;
    bool m_recordsLoaded = false;
    std::vector<Range> m_records;
    std::array<int32_t, 256> m_octetIndex = {};
};

// The log line of "Delete dangerous proxies".
std::string RemovedDangerousText(int count);
