#include "proxy/ProxyTextParser.h"

#include "platform/InputFile.h"
#include "proxy/HugePages.h"
#include "proxy/PairBatch.h"
#include "proxy/PairStream.h"
#include "proxy/ProxyAddressForms.h"
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
#include <vector>

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

ProxyTextParser::Loaded ProxyTextParser::LoadProxies(ProxyList& list, const std::string& source, bool isText,
                                                     ProxyKind plainKind) {
    SourceText fileText;
    if (!isText) {
        if (source.empty())
            return {-1, {}};
        if (SourceRead read = ReadSourceFile(source, fileText, false); !read)
            return {-1, std::move(read.error)};
    }
    int count = 0;
    const size_t first = list.GetSize();
    const std::string_view text = isText ? std::string_view(source) : fileText.View();
    ExtractPairs(text, [&](std::string_view pair) {
        auto item = std::make_unique<ProxyItem>();
        item->SetAddress(pair);
        list.Append(std::move(item));
        ++count;
    });
    ProxyAddressForms::Apply(text, plainKind, list, first);
    list.RenumberList();
    return {count, {}};
}

int ProxyTextParser::AddProxy(ProxyList& list, const std::string& ip, const std::string& port) {
    return LoadProxies(list, ip + ":" + port, true).count;
}

SourceRead ProxyTextParser::ReadSourceFile(const std::string& path, SourceText& text, bool mayMap) {
    const platform::InputFile file(path, platform::InputFile::NoLimit);
    if (!file.IsOpen())
        return OpenError(file.Error());
    if (mayMap && text.Map(file.Fd()))
        return {};
    return ReadSource(file.Fd(), text.Bytes());
}

SourceRead ProxyTextParser::ReadSource(int fd, std::string& text) {
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
                const int error = errno;
                text.clear();
                return OpenError(error);
            }
            if (got == 0)
                break;
            filled += static_cast<size_t>(got);
        }
        // Each chunk is taken as a C string: a NUL ends what the chunk contributes.
        const void* nul = std::memchr(text.data() + start, '\0', filled);
        text.resize(nul ? static_cast<size_t>(static_cast<const char*>(nul) - text.data()) : start + filled);
        if (filled == 0)
            return {};
    }
}

SourceRead ProxyTextParser::ExtractPairsAsRead(int fd, const std::function<void(std::string_view)>& found,
                                               const std::function<void()>& pieceDone) {
    PairStream stream(found);
    std::vector<char> chunk(ChunkBufferSize - 1);
    // How much of the current chunk has been read, and whether a NUL has ended what it contributes.
    size_t filled = 0;
    bool cut = false;
    for (;;) {
        const ssize_t got = ::read(fd, chunk.data() + filled, chunk.size() - filled);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return OpenError(errno);
        if (got == 0)
            break;
        std::string_view piece(chunk.data() + filled, static_cast<size_t>(got));
        filled += piece.size();
        if (!cut) {
            const size_t nul = piece.find('\0');
            cut = nul != std::string_view::npos;
            stream.Feed(piece.substr(0, nul));
            pieceDone();
        }
        if (filled == chunk.size()) {
            filled = 0;
            cut = false;
        }
    }
    stream.Finish();
    pieceDone();
    return {};
}

SourceRead ProxyTextParser::OpenError(int error) {
    return {"Couldn't open source file: " + platform::ErrorText(error).substr(0, 1024)};
}
