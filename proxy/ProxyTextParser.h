#pragma once

#include "proxy/ProxyKind.h"
#include "proxy/SourceText.h"

#include <functional>
#include <string>
#include <string_view>

class ProxyList;

// How reading a source went: empty when it was read, otherwise "Couldn't open source file: ..." for
// the caller to show.
struct SourceRead {
    std::string error;
    explicit operator bool() const { return error.empty(); }
};

// Finds address-and-port pairs in free text (plain lists, saved web pages, the clipboard, a
// downloaded list) and appends a record for each pair that is new within that text. It shows
// nothing itself: a source that cannot be read comes back as the text to show.
class ProxyTextParser {
public:
    static constexpr size_t ChunkBufferSize = 102400;

    struct Loaded {
        int count = 0;     // the records appended, or -1 when the file was not read
        std::string error; // the message when it could not be read; none for an empty path
    };

    // source is the text itself (isText) or the path of a file holding it; an empty path is a
    // cancelled file dialog. The caller refreshes the window afterwards. A pair written with a scheme
    // or credentials gets them (see ProxyAddressForms); the other pairs get plainKind.
    static Loaded LoadProxies(ProxyList& list, const std::string& source, bool isText,
                              ProxyKind plainKind = ProxyKind::Http);

    // The "Add Proxy" dialog's parse: address, colon, port. The dialog accepts the input exactly
    // when the result is 1.
    static int AddProxy(ProxyList& list, const std::string& ip, const std::string& port);

    // Reads a file's text the way LoadProxies does: chunk by chunk, each chunk cut at its first NUL.
    // With mayMap, a file without NUL is mapped instead, which gives the same text faster; but a file
    // cut short by another program while mapped ends the process, so the window, which holds a list
    // that may not be saved yet, reads a copy. Fails when the file cannot be opened or read.
    static SourceRead ReadSourceFile(const std::string& path, SourceText& text, bool mayMap);
    static SourceRead ReadSource(int fd, std::string& text);

    // Reads fd as its bytes arrive, by the chunks and NUL rule of ReadSource, and calls found for each pair
    // as soon as it is sure: the same pairs in the same order as ExtractPairs gives for the whole text.
    // pieceDone follows every read that gave text, and the end. Memory grows with the distinct pairs
    // only. Fails when fd cannot be read.
    static SourceRead ExtractPairsAsRead(int fd, const std::function<void(std::string_view)>& found,
                                         const std::function<void()>& pieceDone);

    // Calls found("address:port") for every record that LoadProxies would append from the text, in
    // append order.
    static void ExtractPairs(std::string_view text, const std::function<void(std::string_view)>& found);

private:
    static SourceRead OpenError(int error);
};
