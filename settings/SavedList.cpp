#include "settings/SavedList.h"

#include "proxy/BinaryArchive.h"
#include "settings/AtomicFile.h"
#include "settings/MappedFile.h"

#include <algorithm>
#include <optional>

namespace {

// Two empty strings and eight integers: the smallest a record can be.
constexpr size_t SmallestRecord = 1 + 1 + 8 * 4;
// A record as a test run leaves it: a full address and a 4-digit port.
constexpr size_t TypicalRecord = 1 + 15 + 1 + 4 + 8 * 4;

struct Header {
    std::string m_lastTestedText;
    int32_t m_count = 0;
    int32_t m_levelCounts[3] = {};
};

// The header of a file this version can read; nothing for a foreign, newer or cut file.
std::optional<Header> ReadHeader(BinaryArchive& archive) {
    Header header;
    try {
        if (archive.ReadStringView() != SavedList::ListTitle || archive.ReadInt32() > SavedList::Version)
            return std::nullopt;
        header.m_lastTestedText = archive.ReadString();
        header.m_count = archive.ReadInt32();
        for (int32_t& count : header.m_levelCounts)
            count = archive.ReadInt32();
    } catch (const ArchiveError&) {
        return std::nullopt;
    }
    return header;
}

} // namespace

void SavedList::StoreHeader(BinaryArchive& archive, const ProxyList& list, std::string_view lastTestedText) {
    archive.WriteString(ListTitle);
    archive.WriteInt32(Version);
    archive.WriteString(lastTestedText);
    archive.WriteInt32(static_cast<int32_t>(list.GetSize()));
    archive.WriteInt32(list.m_level1Count.Get());
    archive.WriteInt32(list.m_level2Count.Get());
    archive.WriteInt32(list.m_level3Count.Get());
}

std::string SavedList::ToBytes(const ProxyList& list, std::string_view lastTestedText) {
    BinaryArchive archive;
    archive.Buffer().reserve(64 + lastTestedText.size() + list.GetSize() * TypicalRecord);
    StoreHeader(archive, list, lastTestedText);
    for (size_t i = 0; i < list.GetSize(); ++i)
        list[i]->Serialize(archive, true);
    return std::move(archive.Buffer());
}

SavedList::LoadResult SavedList::FromBytes(std::string_view bytes, ProxyList& list) {
    LoadResult result;
    BinaryArchive archive(bytes);
    const auto header = ReadHeader(archive);
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
    for (size_t i = 0; i < promised; ++i) {
        auto item = std::make_unique<ProxyItem>();
        const ProxyItem::RecordRead read = item->ReadRecord(archive);
        if (read == ProxyItem::RecordRead::Missing)
            break;
        if (read == ProxyItem::RecordRead::Refused)
            continue;
        if (item->m_status == StatusActive)
            result.m_activeProxy = item.get();
        list.Append(std::move(item));
        ++loaded;
        if (read == ProxyItem::RecordRead::Partial)
            break;
    }
    list.RenumberList();

    // The number actually loaded: a damaged file's count may promise more.
    result.m_logText = "Loaded " + std::to_string(loaded) + " proxies from the last tested result.\r\n";
    if (result.m_activeProxy)
        result.m_logText += "Set " + result.m_activeProxy->ProxyAddressText() + " as current active proxy.\r\n";
    return result;
}

bool SavedList::SaveList(const std::string& dataFolder, const ProxyList& list, std::string_view lastTestedText) {
    // The bytes go out in pieces, so that a long list needs no second copy in memory.
    constexpr size_t PieceSize = 1 << 20;
    AtomicFile file(dataFolder + FileName);
    BinaryArchive archive;
    archive.Buffer().reserve(PieceSize + 64 + lastTestedText.size());
    StoreHeader(archive, list, lastTestedText);
    for (size_t i = 0; i < list.GetSize(); ++i) {
        list[i]->Serialize(archive, true);
        if (archive.Buffer().size() >= PieceSize) {
            if (!file.Write(archive.Buffer()))
                return false;
            archive.Buffer().clear();
        }
    }
    return file.Write(archive.Buffer()) && file.Commit();
}

SavedList::LoadResult SavedList::LoadList(const std::string& dataFolder, ProxyList& list) {
    const MappedFile file(dataFolder + FileName);
    return file.Opened() ? FromBytes(file.Bytes(), list) : LoadResult();
}
