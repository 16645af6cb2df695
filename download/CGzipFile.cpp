#include "download/CGzipFile.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>
#include <zlib.h>

namespace {

gzFile Handle(void* file) {
    return static_cast<gzFile>(file);
}

// The chunks the text is read in: the file's size, but no more than this.
constexpr size_t MaxChunk = 1u << 20;

// The size of the unpacked data modulo 2^32, from the gzip trailer; 0 when there is none.
size_t TrailerSize(const std::string& path, uintmax_t fileSize) {
    if (fileSize < 18)
        return 0;
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    unsigned char bytes[4];
    if (!file || std::fseek(file.get(), -4, SEEK_END) != 0 || std::fread(bytes, 1, 4, file.get()) != 4)
        return 0;
    return size_t{bytes[0]} | size_t{bytes[1]} << 8 | size_t{bytes[2]} << 16 | size_t{bytes[3]} << 24;
}

} // namespace

CGzipFile::~CGzipFile() {
    Close();
}

bool CGzipFile::Open(const std::string& path, Mode mode) {
    Close();
    if (mode == Write) {
        m_file = gzopen(path.c_str(), "wb");
    } else if (mode == Read) {
        std::error_code error;
        const auto size = std::filesystem::file_size(path, error);
        if (error || size == 0)
            return false;
        m_chunkSize = static_cast<size_t>(std::min<uintmax_t>(size, MaxChunk));
        m_sizeHint = TrailerSize(path, size);
        m_file = gzopen(path.c_str(), "rb");
    }
    if (m_file == nullptr)
        return false;
    m_mode = mode;
    return true;
}

bool CGzipFile::ReadAllText(std::string& text, size_t limit) {
    text.clear();
    if (m_mode != Read)
        return false;
    // Room for the whole text at once where the trailer tells its size: no copy while it grows.
    text.reserve(std::min<size_t>(m_sizeHint, limit) + 1);
    std::vector<char> chunk(m_chunkSize);
    for (;;) {
        // One byte more than the room tells an exact fit from an overflow.
        const size_t want = std::min(m_chunkSize, limit - text.size() + 1);
        const int got = gzread(Handle(m_file), chunk.data(), static_cast<unsigned>(want));
        if (got > 0)
            text.append(chunk.data(), static_cast<size_t>(got));
        // gzread passes a body that is not gzip through as it is; that is no list.
        if (got < 0 || gzdirect(Handle(m_file)) != 0 || text.size() > limit) {
            text.clear();
            text.shrink_to_fit();
            return false;
        }
        if (got == 0)
            return !text.empty();
    }
}

bool CGzipFile::Close() {
    if (m_file == nullptr)
        return false;
    const int result = gzclose(Handle(m_file));
    m_file = nullptr;
    m_mode = None;
    return result == Z_OK;
}

bool CGzipFile::WriteData(const void* data, size_t size) {
    if (m_mode != Write || size > UINT_MAX)
        return false;
    return size == 0 || gzwrite(Handle(m_file), data, static_cast<unsigned>(size)) == static_cast<int>(size);
}

bool CGzipFile::Flush() {
    return m_mode == Write && gzflush(Handle(m_file), Z_SYNC_FLUSH) == Z_OK;
}
