#pragma once

#include "proxy/ProxyList.h"

#include <string>
#include <string_view>

class BinaryArchive;

// The saved list, DataFolder + "list.dat": the whole proxy list with its results, the level
// counters and the time of the last test, so that a restart shows the list as it was.
class SavedList {
public:
    static constexpr const char* FileName = "list.dat";
    static constexpr const char* ListTitle = "ORV Proxy List";
    static constexpr int32_t Version = 100;

    // What LoadList found, for the frame to apply once its window exists.
    struct LoadResult {
        // False for a missing or unreadable file, a wrong title, a newer version or a cut header:
        // then nothing else was touched.
        bool m_loaded = false;
        std::string m_lastTestedText;
        // The last record stored as Active; it is to become the active proxy.
        ProxyItem* m_activeProxy = nullptr;
        // "Loaded ..." and, with an active record, "Set ... as current active proxy.", for one AppendLog.
        std::string m_logText;
    };

    // The file's bytes for a list.
    static std::string ToBytes(const ProxyList& list, std::string_view lastTestedText);
    // Appends the records of a saved list to list (renumbered) and sets its level counters.
    static LoadResult FromBytes(std::string_view bytes, ProxyList& list);

    // dataFolder ends with '/'. Replaces the file atomically; false when it could not be written
    // (the old file then stays as it was).
    static bool SaveList(const std::string& dataFolder, const ProxyList& list, std::string_view lastTestedText);
    static LoadResult LoadList(const std::string& dataFolder, ProxyList& list);

private:
    static void StoreHeader(BinaryArchive& archive, const ProxyList& list, std::string_view lastTestedText);
};
