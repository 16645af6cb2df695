#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

// Thrown when a read runs past the end of the data.
class ArchiveError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The binary form of the saved list: 32-bit little-endian integers and length-prefixed byte strings
// (one length byte; 0xFF and a 16-bit length; 0xFF 0xFFFF and a 32-bit length).
// A storing archive appends to a buffer; a loading archive reads from bytes it does not own.
class BinaryArchive {
public:
    // A storing archive.
    BinaryArchive() = default;
    // A loading archive over data that must outlive it.
    explicit BinaryArchive(std::string_view data) : m_storing(false), m_data(data) {}

    bool IsStoring() const { return m_storing; }

    void WriteInt32(int32_t value);
    void WriteString(std::string_view text);
    int32_t ReadInt32();
    std::string ReadString();
    // The string's bytes inside the loaded data, without a copy.
    std::string_view ReadStringView();

    // What a storing archive has written.
    const std::string& Buffer() const { return m_buffer; }
    std::string& Buffer() { return m_buffer; }
    // Bytes a loading archive has not read yet.
    size_t Remaining() const { return m_data.size() - m_pos; }

private:
    std::string_view Take(size_t count);

    bool m_storing = true;
    std::string m_buffer;
    std::string_view m_data;
    size_t m_pos = 0;
};
