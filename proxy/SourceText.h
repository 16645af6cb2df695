#pragma once

#include <string>
#include <string_view>

// The text of a source: a file mapped in place, or bytes read into memory.
class SourceText {
public:
    SourceText() = default;
    SourceText(const SourceText&) = delete;
    SourceText& operator=(const SourceText&) = delete;
    ~SourceText();

    // Maps the whole regular file fd refers to, when it is not empty and holds no NUL (a NUL cuts the
    // text in ways only the reader knows). False leaves the text as it was.
    bool Map(int fd);
    // What the reader fills when the file is not mapped.
    std::string& Bytes() { return m_bytes; }
    std::string_view View() const { return m_mapped ? std::string_view(m_mapped, m_mappedSize) : m_bytes; }

private:
    const char* m_mapped = nullptr;
    size_t m_mappedSize = 0;
    std::string m_bytes;
};
