#pragma once

#include "proxy/ProxyList.h"

#include <optional>
#include <string>
#include <string_view>

class BinaryArchive;

// The saved list, DataFolder + "list.dat": the whole proxy list with its results, the level
// counters and the time of the last test, so that a restart shows the list as it was.
class SavedList {
public:
    static constexpr const char* FileName = "list.dat";
    static constexpr const char* ListTitle = "ORV Proxy List";
    // Version 100 while every record is HTTP without credentials, byte for byte as it always was;
    // a list with any other record is written as 101, whose records end with the kind and the credentials.
    static constexpr int32_t Version = 100;
    static constexpr int32_t VersionWithKinds = 101;

    // What LoadList found, for the frame to apply once its window exists.
    struct LoadResult {
        // False for a missing or unreadable file, a wrong title, a newer version or a cut header:
        // then nothing else was touched.
        bool m_loaded = false;
        // Why a file that exists could not be read whole, in words for the log; empty when it could
        // (or does not exist). The records read before the damage are loaded all the same.
        std::string m_damage;
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
    // error, when given, gets the errno of a failed save.
    static bool SaveList(const std::string& dataFolder, const ProxyList& list, std::string_view lastTestedText,
                         int* error = nullptr);
    // Reads no more than the header says the records can take: a file that is no saved list is
    // refused at its title, however large it is.
    static LoadResult LoadList(const std::string& dataFolder, ProxyList& list);
    // Renames a damaged file to "list.dat." + stamp (another "-N" when that name is taken), so that the
    // next save cannot replace it. The new path, or nothing with error set.
    static std::optional<std::string> MoveAside(const std::string& dataFolder, const std::string& stamp, int& error);

private:
    static void StoreHeader(BinaryArchive& archive, const ProxyList& list, std::string_view lastTestedText,
                            int32_t version);
};
