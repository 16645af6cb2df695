#include "proxy/DangerousList.h"

#include "platform/InputFile.h"
#include "proxy/ProxyList.h"

#include <cstring>
#include <limits>
#include <optional>

namespace {

constexpr char Magic[4] = {'o', 'r', 'v', '\0'};
constexpr size_t HeaderSize = 8;
constexpr size_t DescriptorSize = 13;
constexpr size_t RecordSize = 8;
constexpr size_t OctetCount = 256;

uint32_t ReadUInt32(const uint8_t* bytes) {
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
}

bool ReadAt(std::FILE* file, uint64_t offset, void* buffer, size_t size) {
    return std::fseek(file, static_cast<long>(offset), SEEK_SET) == 0 && std::fread(buffer, 1, size, file) == size;
}

uint64_t FileSize(std::FILE* file) {
    if (std::fseek(file, 0, SEEK_END) != 0)
        return 0;
    const long size = std::ftell(file);
    return size < 0 ? 0 : static_cast<uint64_t>(size);
}

// "a.b.c.d" as a × 2^24 + b × 2^16 + c × 2^8 + d in 32-bit arithmetic. An octet is one to three
// characters, each worth its code modulo 16 (so "1" to "9" are their digits). Anything else, such as a
// missing octet or a longer one, is no address.
std::optional<uint32_t> AddressNumber(std::string_view text) {
    uint32_t number = 0;
    size_t pos = 0;
    for (int octet = 0; octet < 4; ++octet) {
        if (octet > 0) {
            if (pos >= text.size() || text[pos] != '.')
                return std::nullopt;
            ++pos;
        }
        uint32_t value = 0;
        const size_t start = pos;
        while (pos < text.size() && text[pos] != '.' && pos - start < 3)
            value = value * 10 + static_cast<unsigned char>(text[pos++]) % 16;
        if (pos == start)
            return std::nullopt;
        number = number * 256 + value;
    }
    if (pos != text.size())
        return std::nullopt;
    return number;
}

} // namespace

int DangerousList::LoadDangerousList(const std::string& path) {
    if (m_loaded)
        return Loaded;
    m_loaded = true;
    platform::InputFile input(path, platform::InputFile::NoLimit);
    std::FILE* file = input.IsOpen() ? ::fdopen(input.Fd(), "rb") : nullptr;
    if (!file)
        return CannotOpen;
    input.Release(); // the stream owns it now
    const int result = ReadFile(file);
    std::fclose(file);
    return result;
}

// Everything is checked before anything is kept: a file that does not hold what its header says
// leaves the list unloaded, so that no lookup can reach past the records.
int DangerousList::ReadFile(std::FILE* file) {
    uint8_t header[HeaderSize];
    if (std::fread(header, 1, HeaderSize, file) != HeaderSize || std::memcmp(header, Magic, sizeof Magic) != 0)
        return BadFormat;
    // An offset that a signed 32-bit seek cannot reach counts as a failed seek.
    const uint32_t indexOffset = ReadUInt32(header + 4);
    if (indexOffset > uint32_t(std::numeric_limits<int32_t>::max()))
        return Loaded;

    const uint64_t fileSize = FileSize(file);
    uint8_t index[DescriptorSize + OctetCount * 4];
    if (!ReadAt(file, indexOffset, index, sizeof index))
        return BadFormat;
    const uint32_t count = ReadUInt32(index);
    if (index[12] != RecordSize || HeaderSize + uint64_t(count) * RecordSize > fileSize)
        return BadFormat;

    std::array<int32_t, OctetCount> octetIndex;
    for (size_t octet = 0; octet < OctetCount; ++octet) {
        octetIndex[octet] = static_cast<int32_t>(ReadUInt32(index + DescriptorSize + octet * 4));
        if (octetIndex[octet] >= 1 && uint32_t(octetIndex[octet]) > count)
            return BadFormat;
    }

    std::vector<uint8_t> bytes(size_t(count) * RecordSize);
    if (!ReadAt(file, HeaderSize, bytes.data(), bytes.size()))
        return BadFormat;
    std::vector<Range> records(count);
    for (size_t i = 0; i < count; ++i)
        records[i] = {ReadUInt32(&bytes[i * RecordSize]), ReadUInt32(&bytes[i * RecordSize + 4])};

    m_octetIndex = octetIndex;
    m_records = std::move(records);
    m_recordsLoaded = true;
    return Loaded;
}

int DangerousList::IsDangerousAddress(std::string_view address) const {
    const std::optional<uint32_t> number = AddressNumber(address);
    if (!number)
        return 0;
    const uint32_t octet = *number >> 24;
    const int32_t entry = m_octetIndex[octet];
    if (entry < 1)
        return 0;

    // The search runs from the first record of the address's own octet to the first record of the
    // next indexed octet. A load only keeps an index whose entries lie within 1..count, so lo stays
    // below count and hi at most count, and every mid in between names a loaded record.
    const auto count = static_cast<int64_t>(m_records.size());
    int64_t lo = octet == 0 ? 0 : entry - 1;
    int64_t hi = count;
    if (octet != 255) {
        size_t next = octet + 1;
        while (next < 255 && m_octetIndex[next] < 1)
            ++next;
        if (m_octetIndex[next] >= 1)
            hi = m_octetIndex[next];
    }
    if (!m_recordsLoaded)
        return -2;

    // The bisection ends when a step leaves the bounds as the step before left them.
    int64_t rememberedLo = -1;
    int64_t rememberedHi = -1;
    for (;;) {
        const int64_t mid = (lo + hi) / 2;
        const Range& range = m_records[static_cast<size_t>(mid)];
        if (*number < range.first)
            hi = mid;
        else if (*number <= range.last)
            return 1;
        else
            lo = mid;
        if (lo == rememberedLo && hi == rememberedHi)
            return 0;
        rememberedLo = lo;
        rememberedHi = hi;
    }
}

void DangerousList::FreeDangerousList() {
    if (!m_loaded)
        return;
    m_records = {};
    m_recordsLoaded = false;
    m_loaded = false;
}

int DangerousList::MarkDangerous(ProxyList& list, const std::string& path) {
    LoadDangerousList(path);
    int marked = 0;
    for (size_t i = 0; i < list.GetSize(); ++i) {
        ProxyItem* item = list[i];
        if (IsDangerousAddress(item->m_ip) > 0) {
            item->m_danger = 1;
            ++marked;
        }
    }
    FreeDangerousList();
    return marked;
}

int DangerousList::DeleteDangerousProxies(ProxyList& list, const std::string& path) {
    LoadDangerousList(path);
    const size_t removed = list.RemoveIf([this](const ProxyItem& item) { return IsDangerousAddress(item.m_ip) > 0; });
    FreeDangerousList();
    return static_cast<int>(removed);
}

std::string RemovedDangerousText(int count) {
    return "Removed " + std::to_string(count) + " dangerous (FBI/Army) proxies from the list.\r\n";
}
