#include "proxy/BinaryArchive.h"

namespace {

void PutLittleEndian(std::string& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

uint32_t GetLittleEndian(std::string_view in) {
    uint32_t value = 0;
    for (size_t i = 0; i < in.size(); ++i)
        value |= static_cast<uint32_t>(static_cast<unsigned char>(in[i])) << (8 * i);
    return value;
}

} // namespace

void BinaryArchive::WriteInt32(int32_t value) { PutLittleEndian(m_buffer, static_cast<uint32_t>(value), 4); }

void BinaryArchive::WriteString(std::string_view text) {
    const size_t n = text.size();
    if (n < 255) {
        PutLittleEndian(m_buffer, static_cast<uint32_t>(n), 1);
    } else if (n < 0xFFFE) {
        m_buffer.push_back('\xFF');
        PutLittleEndian(m_buffer, static_cast<uint32_t>(n), 2);
    } else {
        m_buffer.push_back('\xFF');
        PutLittleEndian(m_buffer, 0xFFFF, 2);
        PutLittleEndian(m_buffer, static_cast<uint32_t>(n), 4);
    }
    m_buffer.append(text);
}

std::string_view BinaryArchive::Take(size_t count) {
    if (count > Remaining())
        throw ArchiveError("unexpected end of archive");
    const std::string_view part = m_data.substr(m_pos, count);
    m_pos += count;
    return part;
}

int32_t BinaryArchive::ReadInt32() { return static_cast<int32_t>(GetLittleEndian(Take(4))); }

std::string BinaryArchive::ReadString() {
    uint32_t n = GetLittleEndian(Take(1));
    if (n == 0xFF) {
        n = GetLittleEndian(Take(2));
        if (n == 0xFFFF)
            n = GetLittleEndian(Take(4));
    }
    return std::string(Take(n));
}
