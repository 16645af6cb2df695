#include "proxy/ProxyTextParser.h"

#include "platform/MessageBox.h"
#include "proxy/KeyTree.h"
#include "proxy/ProxyKey.h"
#include "proxy/ProxyList.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <re2/re2.h>
#include <unistd.h>
#include <vector>

namespace {

// \s is spelled out: RE2's \s lacks the vertical tab that the class holds in Perl syntax.
constexpr const char* PlainPattern = R"((\d{1,3}\.\d{1,3}\.\d{1,3}\.\d{1,3}[ :]\d{2,5}))";
constexpr const char* TablePattern =
    R"(>[\t\n\v\f\r ]*(\d{1,3}\.\d{1,3}\.\d{1,3}\.\d{1,3})[\t\n\v\f\r ]*<.*?>[\t\n\v\f\r ]*(\d{2,5})[\t\n\v\f\r ]*<)";

// RE2 rather than a backtracking engine: a page of thousands of address cells whose ports are
// written by script sends backtracking on the table pattern into minutes of work.
const RE2& Compiled(const char* pattern) {
    RE2::Options options;
    options.set_encoding(RE2::Options::EncodingLatin1); // text is single-byte; '.' must take any byte
    options.set_case_sensitive(false);
    options.set_dot_nl(true);
    options.set_log_errors(false);
    return *new RE2(pattern, options); // lives for the whole process, shared by every thread
}

const RE2& Plain() {
    static const RE2& re = Compiled(PlainPattern);
    return re;
}

const RE2& Table() {
    static const RE2& re = Compiled(TablePattern);
    return re;
}

} // namespace

void ProxyTextParser::ExtractPairs(std::string_view text, const std::function<void(std::string_view)>& found) {
    KeyTree seen;
    std::string pair;

    re2::StringPiece rest(text.data(), text.size());
    re2::StringPiece match;
    while (RE2::FindAndConsume(&rest, Plain(), &match)) {
        // The key is taken before the blank becomes a colon: "a.b.c.d p" and "a.b.c.d:p" are two records.
        if (!seen.Insert(ProxyKey(std::string_view(match.data(), match.size()))))
            continue;
        pair.assign(match.data(), match.size());
        if (const size_t blank = pair.find(' '); blank != std::string::npos)
            pair[blank] = ':';
        found(pair);
    }

    if (text.find('<') == std::string_view::npos)
        return;
    rest = re2::StringPiece(text.data(), text.size());
    re2::StringPiece address, port;
    while (RE2::FindAndConsume(&rest, Table(), &address, &port)) {
        pair.assign(address.data(), address.size());
        pair += ':';
        pair.append(port.data(), port.size());
        if (seen.Insert(ProxyKey(pair)))
            found(pair);
    }
}

int ProxyTextParser::LoadProxies(ProxyList& list, const std::string& source, bool isText) {
    std::string fileText;
    if (!isText) {
        if (source.empty())
            return -1; // the file dialog was cancelled
        if (!ReadSourceFile(source, fileText))
            return -1;
    }
    int count = 0;
    ExtractPairs(isText ? source : fileText, [&](std::string_view pair) {
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

bool ProxyTextParser::ReadSourceFile(const std::string& path, std::string& text) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        ReportOpenError(errno);
        return false;
    }
    const bool read = ReadSource(fd, text);
    ::close(fd);
    return read;
}

bool ProxyTextParser::ReadSource(int fd, std::string& text) {
    std::vector<char> buffer(ChunkBufferSize);
    for (;;) {
        // Fill the whole chunk, so that a pipe is cut into the same chunks as a file.
        size_t filled = 0;
        while (filled < ChunkBufferSize - 1) {
            const ssize_t got = ::read(fd, buffer.data() + filled, ChunkBufferSize - 1 - filled);
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
        if (filled == 0)
            return true;
        // Each chunk is taken as a C string: a NUL ends what the chunk contributes.
        const void* nul = std::memchr(buffer.data(), '\0', filled);
        text.append(buffer.data(), nul ? static_cast<size_t>(static_cast<const char*>(nul) - buffer.data()) : filled);
    }
}

void ProxyTextParser::ReportOpenError(int error) {
    char buffer[1025];
    const char* description = strerror_r(error, buffer, sizeof buffer);
    m_messageBox.Show("Couldn't open source file: " + std::string(description).substr(0, 1024));
}
