#pragma once

#include <cstddef>
#include <string>

// A gzip file handle with a mode: written through, or read whole as one text.
class CGzipFile {
public:
    enum Mode { None = 0, Write = 1, Read = 2 };

    CGzipFile() = default;
    ~CGzipFile();
    CGzipFile(const CGzipFile&) = delete;
    CGzipFile& operator=(const CGzipFile&) = delete;

    // Read opens only an existing, non-empty file, and reads it in chunks of the file's size (at most 1 MiB).
    bool Open(const std::string& path, Mode mode);
    // The whole unpacked text. False on a damaged stream, on a body that is not gzip at all, when
    // nothing was read, or when the text would exceed limit bytes (a small body can unpack to gigabytes).
    bool ReadAllText(std::string& text, size_t limit);
    // True when the gzip layer reports success; a stream cut short fails here.
    bool Close();

    bool WriteData(const void* data, size_t size);
    bool WriteText(const std::string& text) { return WriteData(text.data(), text.size()); }
    bool Flush();

private:
    void* m_file = nullptr; // gzFile
    Mode m_mode = None;
    size_t m_chunkSize = 0;
    // What the trailer says the text will take; only a hint, the limit still holds.
    size_t m_sizeHint = 0;
};
