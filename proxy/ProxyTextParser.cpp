#include "proxy/ProxyTextParser.h"

#include "platform/InputFile.h"
#include "platform/MessageBox.h"
#include "proxy/HugePages.h"
#include "proxy/ProxyKey.h"
#include "proxy/ProxyKeySet.h"
#include "proxy/ProxyList.h"
#include "proxy/ProxyPatterns.h"
#include "proxy/SourceText.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The pairs found, gathered so that their keys go into the set together (see
// ProxyKeySet::InsertMany), then handed on in order when new.
class PairBatch {
public:
    static constexpr size_t Capacity = 256;

    PairBatch(ProxyKeySet& seen, const std::function<void(std::string_view)>& found) : m_seen(seen), m_found(found) {}

    // A pair has at most 21 characters: 15 of address, a separator, 5 of port.
    void Add(std::string_view address, char separator, std::string_view port) {
        Pair& pair = m_pairs[m_count];
        char* end = std::copy(address.begin(), address.end(), pair.text);
        *end++ = separator;
        end = std::copy(port.begin(), port.end(), end);
        pair.length = static_cast<uint8_t>(end - pair.text);
        // The key is taken before a blank becomes a colon: "a.b.c.d p" and "a.b.c.d:p" are two records.
        m_keys[m_count] = ProxyKey(std::string_view(pair.text, pair.length));
        pair.text[address.size()] = ':';
        if (++m_count == Capacity)
            Flush();
    }

    void Flush() {
        m_seen.InsertMany(std::span(m_keys, m_count), std::span(m_isNew, m_count));
        for (size_t i = 0; i < m_count; ++i) {
            if (!m_isNew[i])
                continue;
            m_found(std::string_view(m_pairs[i].text, m_pairs[i].length));
        }
        m_count = 0;
    }

private:
    struct Pair {
        char text[24];
        uint8_t length;
    };

    ProxyKeySet& m_seen;
    const std::function<void(std::string_view)>& m_found;
    Pair m_pairs[Capacity];
    int64_t m_keys[Capacity];
    bool m_isNew[Capacity];
    size_t m_count = 0;
};

} // namespace

void ProxyTextParser::ExtractPairs(std::string_view text, const std::function<void(std::string_view)>& found) {
    ProxyKeySet seen;
    PairBatch batch(seen, found);
    ProxyPatterns::Match match;
    for (size_t at = 0; ProxyPatterns::FindPlain(text, at, match); at = match.end)
        batch.Add(match.address, match.separator, match.port);
    // The same set: a pair found by both passes counts once.
    if (text.find('<') != std::string_view::npos) {
        for (size_t at = 0; ProxyPatterns::FindTable(text, at, match); at = match.end)
            batch.Add(match.address, match.separator, match.port);
    }
    batch.Flush();
}

int ProxyTextParser::LoadProxies(ProxyList& list, const std::string& source, bool isText) {
    SourceText fileText;
    if (!isText) {
        if (source.empty())
            return -1; // the file dialog was cancelled
        if (!ReadSourceFile(source, fileText, false))
            return -1;
    }
    int count = 0;
    ExtractPairs(isText ? std::string_view(source) : fileText.View(), [&](std::string_view pair) {
        auto item = std::make_unique<ProxyItem>();
        item->SetAddress(pair);
        list.Append(std::move(item));
        ++count;
    });
    list.RenumberList();
    return count;
}

int ProxyTextParser::AddProxy(ProxyList& list, const std::string& ip, const std::string& port) {
    return LoadProxies(list, ip + ":" + port, true);
}

bool ProxyTextParser::ReadSourceFile(const std::string& path, SourceText& text, bool mayMap) {
    const platform::InputFile file(path, platform::InputFile::NoLimit);
    if (!file.IsOpen()) {
        ReportOpenError(file.Error());
        return false;
    }
    return (mayMap && text.Map(file.Fd())) || ReadSource(file.Fd(), text.Bytes());
}

bool ProxyTextParser::ReadSource(int fd, std::string& text) {
    // Room for the whole file at once, unless it claims to be larger than memory is likely to be.
    constexpr off_t MaxReserve = off_t{1} << 32;
    struct stat status {};
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size < MaxReserve) {
        text.reserve(text.size() + static_cast<size_t>(status.st_size) + ChunkBufferSize);
        AdviseHugePages(text.data() + text.size(), text.capacity() - text.size());
    }
    for (;;) {
        // The chunk is read straight into the text's zero-filled tail. It is filled whole, so that a
        // pipe is cut into the same chunks as a file.
        const size_t start = text.size();
        text.resize(start + ChunkBufferSize - 1);
        size_t filled = 0;
        while (filled < ChunkBufferSize - 1) {
            const ssize_t got = ::read(fd, text.data() + start + filled, ChunkBufferSize - 1 - filled);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                // A directory opens but cannot be read: treat it as a file that cannot be opened.
                ReportOpenError(errno);
                text.clear();
                return false;
            }
            if (got == 0)
                break;
            filled += static_cast<size_t>(got);
        }
        // Each chunk is taken as a C string: a NUL ends what the chunk contributes.
        const void* nul = std::memchr(text.data() + start, '\0', filled);
        text.resize(nul ? static_cast<size_t>(static_cast<const char*>(nul) - text.data()) : start + filled);
        if (filled == 0)
            return true;
    }
}

void ProxyTextParser::ReportOpenError(int error) {
    m_messageBox.Show("Couldn't open source file: " + platform::ErrorText(error).substr(0, 1024));
}
