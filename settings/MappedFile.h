#pragma once

#include <string>
#include <string_view>

// A whole file mapped read-only into memory, so that a large file is parsed where the system keeps
// it instead of being copied first. Our own writers replace files by renaming, never in place, so
// the mapped bytes stay as they were while they are read.
class MappedFile {
public:
    // Maps path; Opened() tells whether that worked (a missing or unreadable file does not).
    explicit MappedFile(const std::string& path);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    bool Opened() const { return m_opened; }
    std::string_view Bytes() const { return {static_cast<const char*>(m_data), m_size}; }

private:
    bool m_opened = false;
    void* m_data = nullptr;
    size_t m_size = 0;
};
