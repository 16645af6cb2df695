#include "proxy/BinaryArchive.h"

namespace {

void PutLittleEndian(std::string& out, uint32_t value, int bytes) {
    char data[4];
    for (int i = 0; i < bytes; ++i)
        data[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    out.append(data, static_cast<size_t>(bytes));
}

uint32_t Byte(std::string_view in, size_t i) {
    return static_cast<unsigned char>(in[i]);
}

uint32_t GetLittleEndian16(std::string_view in) {
    return Byte(in, 0) | Byte(in, 1) << 8;
}

uint32_t GetLittleEndian32(std::string_view in) {
    return Byte(in, 0) | Byte(in, 1) << 8 | Byte(in, 2) << 16 | Byte(in, 3) << 24;
}

} // namespace

void BinaryArchive::WriteInt32(int32_t value) {
    PutLittleEndian(m_buffer, static_cast<uint32_t>(value), 4);
}

void BinaryArchive::WriteString(std::string_view text) {
    const size_t n = text.size();
    if (n < 255) {
        m_buffer.push_back(static_cast<char>(n));
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

int32_t BinaryArchive::ReadInt32() {
    return static_cast<int32_t>(GetLittleEndian32(Take(4)));
}

std::string_view BinaryArchive::ReadStringView() {
    uint32_t n = Byte(Take(1), 0);
    if (n == 0xFF) {
        n = GetLittleEndian16(Take(2));
        if (n == 0xFFFF)
            n = GetLittleEndian32(Take(4));
    }
    return Take(n);
}

std::string BinaryArchive::ReadString() {
    return std::string(ReadStringView());
}
