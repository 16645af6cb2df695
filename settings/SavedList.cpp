#include "settings/SavedList.h"

#include "platform/InputFile.h"
#include "proxy/BinaryArchive.h"
#include "settings/AtomicFile.h"

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>

namespace {

// Two empty strings and eight integers: the smallest a record can be.
constexpr size_t SmallestRecord = 1 + 1 + 8 * 4;
// A record as a test run leaves it: a full address and a 4-digit port.
constexpr size_t TypicalRecord = 1 + 15 + 1 + 4 + 8 * 4;
// The most a record of ours can take: the longest address and port; in version 101 also the kind and
// the longest user name and password (a length of 255 takes three bytes).
constexpr size_t LargestRecord = 1 + ProxyItem::MaxIpLength + 1 + ProxyItem::MaxPortLength + 8 * 4;
constexpr size_t LargestExtras = 4 + 2 * (3 + ProxyCredentials::MaxLength);
// Read first, before the rest of a file is trusted: far more than any header of ours.
constexpr uint64_t HeaderPiece = 65536;
// About ten million records; a file whose header promises more is not read.
constexpr uint64_t MaxListBytes = uint64_t{512} << 20;

struct Header {
    int32_t m_version = SavedList::Version;
    std::string m_lastTestedText;
    int32_t m_count = 0;
    int32_t m_levelCounts[3] = {};
};

// The header of a file this version can read; nothing, with the reason, for a foreign, newer or cut file.
std::optional<Header> ReadHeader(BinaryArchive& archive, std::string& damage) {
    Header header;
    try {
        if (archive.ReadStringView() != SavedList::ListTitle) {
            damage = std::string("its title is not \"") + SavedList::ListTitle + "\"";
            return std::nullopt;
        }
        header.m_version = archive.ReadInt32();
        if (header.m_version > SavedList::VersionWithKinds) {
            damage = "its version " + std::to_string(header.m_version) + " is newer than this program's";
            return std::nullopt;
        }
        header.m_lastTestedText = archive.ReadString();
        header.m_count = archive.ReadInt32();
        for (int32_t& count : header.m_levelCounts)
            count = archive.ReadInt32();
    } catch (const ArchiveError&) {
        damage = "it ends inside its header";
        return std::nullopt;
    }
    return header;
}

bool AnyExtras(const ProxyList& list) {
    for (size_t i = 0; i < list.GetSize(); ++i)
        if (list[i]->HasExtras())
            return true;
    return false;
}

bool AnyCredentials(const ProxyList& list) {
    for (size_t i = 0; i < list.GetSize(); ++i)
        if (list[i]->m_credentials)
            return true;
    return false;
}

SavedList::LoadResult Unreadable(std::string damage) {
    SavedList::LoadResult result;
    result.m_damage = std::move(damage);
    return result;
}

} // namespace

void SavedList::StoreHeader(BinaryArchive& archive, const ProxyList& list, std::string_view lastTestedText,
                            int32_t version) {
    archive.WriteString(ListTitle);
    archive.WriteInt32(version);
    archive.WriteString(lastTestedText);
    archive.WriteInt32(static_cast<int32_t>(list.GetSize()));
    archive.WriteInt32(list.m_level1Count.Get());
    archive.WriteInt32(list.m_level2Count.Get());
    archive.WriteInt32(list.m_level3Count.Get());
}

std::string SavedList::ToBytes(const ProxyList& list, std::string_view lastTestedText) {
    BinaryArchive archive;
    archive.Buffer().reserve(64 + lastTestedText.size() + list.GetSize() * TypicalRecord);
    const bool extended = AnyExtras(list);
    StoreHeader(archive, list, lastTestedText, extended ? VersionWithKinds : Version);
    for (size_t i = 0; i < list.GetSize(); ++i)
        list[i]->Serialize(archive, true, extended);
    return std::move(archive.Buffer());
}

SavedList::LoadResult SavedList::FromBytes(std::string_view bytes, ProxyList& list) {
    LoadResult result;
    BinaryArchive archive(bytes);
    const auto header = ReadHeader(archive, result.m_damage);
    if (!header)
        return result;
    result.m_loaded = true;
    result.m_lastTestedText = header->m_lastTestedText;
    list.m_level1Count.Set(header->m_levelCounts[0]);
    list.m_level2Count.Set(header->m_levelCounts[1]);
    list.m_level3Count.Set(header->m_levelCounts[2]);

    // The count may promise more records than the data holds: never reserve or read beyond the data.
    const size_t promised = header->m_count > 0 ? static_cast<size_t>(header->m_count) : 0;
    list.Reserve(list.GetSize() + std::min(promised, archive.Remaining() / SmallestRecord + 1));
    int32_t loaded = 0;
    size_t refused = 0;
    size_t read = 0; // records whose data was there, whole or not
    for (; read < promised; ++read) {
        auto item = std::make_unique<ProxyItem>();
        const ProxyItem::RecordRead record = item->ReadRecord(archive, header->m_version == VersionWithKinds);
        if (record == ProxyItem::RecordRead::Missing)
            break;
        if (record == ProxyItem::RecordRead::Refused) {
            if (refused++ == 0)
                result.m_damage = "record " + std::to_string(read + 1) + " is damaged";
            continue;
        }
        if (item->m_status == StatusActive)
            result.m_activeProxy = item.get();
        list.Append(std::move(item));
        ++loaded;
        if (record == ProxyItem::RecordRead::Partial)
            break;
    }
    list.RenumberList();
    if (header->m_count < 0)
        result.m_damage = "its count of records is " + std::to_string(header->m_count);
    else if (read < promised)
        result.m_damage = "it ends after " + std::to_string(read) + " of its " + std::to_string(promised) + " records";

    // The number actually loaded: a damaged file's count may promise more.
    result.m_logText = "Loaded " + std::to_string(loaded) + " proxies from the last tested result.\r\n";
    if (result.m_activeProxy)
        result.m_logText += "Set " + result.m_activeProxy->ProxyAddressText() + " as current active proxy.\r\n";
    return result;
}

bool SavedList::SaveList(const std::string& dataFolder, const ProxyList& list, std::string_view lastTestedText,
                         int* error) {
    // The bytes go out in pieces, so that a long list needs no second copy in memory.
    constexpr size_t PieceSize = 1 << 20;
    AtomicFile file(dataFolder + FileName);
    if (AnyCredentials(list))
        file.MakePrivate();
    BinaryArchive archive;
    archive.Buffer().reserve(PieceSize + 64 + lastTestedText.size());
    const bool extended = AnyExtras(list);
    StoreHeader(archive, list, lastTestedText, extended ? VersionWithKinds : Version);
    bool written = true;
    for (size_t i = 0; i < list.GetSize() && written; ++i) {
        list[i]->Serialize(archive, true, extended);
        if (archive.Buffer().size() >= PieceSize) {
            written = file.Write(archive.Buffer());
            archive.Buffer().clear();
        }
    }
    written = written && file.Write(archive.Buffer()) && file.Commit();
    if (error != nullptr)
        *error = file.Error();
    return written;
}

SavedList::LoadResult SavedList::LoadList(const std::string& dataFolder, ProxyList& list) {
    platform::InputFile file(dataFolder + FileName, platform::InputFile::NoLimit);
    std::string bytes;
    if (!file.IsOpen() || !file.Read(bytes, HeaderPiece))
        return file.Missing() ? LoadResult() : Unreadable(file.Reason());
    // The records' part is read only once the header is known to be ours, and only as far as its count
    // of records can reach.
    BinaryArchive archive(bytes);
    std::string damage;
    if (const auto header = ReadHeader(archive, damage)) {
        const uint64_t records = header->m_count > 0 ? static_cast<uint64_t>(header->m_count) : 0;
        const size_t largest = LargestRecord + (header->m_version == VersionWithKinds ? LargestExtras : 0);
        const uint64_t wanted = bytes.size() - archive.Remaining() + records * largest;
        if (std::min(wanted, file.Size()) > MaxListBytes)
            return Unreadable("it is larger than " + std::to_string(MaxListBytes >> 20) + " MiB");
        if (wanted > bytes.size() && !file.Read(bytes, wanted - bytes.size()))
            return Unreadable(file.Reason());
    }
    return FromBytes(bytes, list);
}

std::optional<std::string> SavedList::MoveAside(const std::string& dataFolder, const std::string& stamp, int& error) {
    const std::string from = dataFolder + FileName;
    for (int n = 1; n <= 100; ++n) {
        const std::string to = from + "." + stamp + (n > 1 ? "-" + std::to_string(n) : "");
        // Never over an earlier damaged file kept the same second.
        if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
            return to;
        if (errno == EINVAL) {
            // A file system without the flag: the check and the rename are two steps there.
            std::error_code ignored;
            if (!std::filesystem::exists(to, ignored) && ::rename(from.c_str(), to.c_str()) == 0)
                return to;
        }
        if (errno != EEXIST && errno != EINVAL)
            break;
    }
    error = errno;
    return std::nullopt;
}
