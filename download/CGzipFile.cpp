#include "download/CGzipFile.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <zlib.h>

namespace {

gzFile Handle(void* file) {
    return static_cast<gzFile>(file);
}

// gzread takes an unsigned count; larger files are read in chunks of this size.
constexpr size_t MaxChunk = 1u << 30;

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
    for (;;) {
        const size_t room = limit - text.size();
        // One byte more than the room tells an exact fit from an overflow.
        const size_t want = std::min(m_chunkSize, room + 1);
        const size_t start = text.size();
        text.resize(start + want);
        const int got = gzread(Handle(m_file), text.data() + start, static_cast<unsigned>(want));
        text.resize(start + static_cast<size_t>(std::max(got, 0)));
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
