#pragma once

#include "proxy/ProxyKind.h"
#include "proxy/SourceText.h"

#include <functional>
#include <string>
#include <string_view>

class ProxyList;
namespace platform {
class MessageBox;
}

// Finds address-and-port pairs in free text (plain lists, saved web pages, the clipboard, a
// downloaded list) and appends a record for each pair that is new within that text.
class ProxyTextParser {
public:
    static constexpr size_t ChunkBufferSize = 102400;

    explicit ProxyTextParser(platform::MessageBox& messageBox) : m_messageBox(messageBox) {}

    // source is the text itself (isText) or the path of a file holding it. Returns the number of
    // records appended, or -1 when the file cannot be read (an empty path fails without a message).
    // The caller refreshes the window afterwards. A pair written with a scheme or credentials gets
    // them (see ProxyAddressForms); the other pairs get plainKind.
    int LoadProxies(ProxyList& list, const std::string& source, bool isText, ProxyKind plainKind = ProxyKind::Http);

    // The "Add Proxy" dialog's parse: address, colon, port. The dialog accepts the input exactly
    // when the result is 1.
    int AddProxy(ProxyList& list, const std::string& ip, const std::string& port);

    // Reads a file's text the way LoadProxies does: chunk by chunk, each chunk cut at its first NUL.
    // With mayMap, a file without NUL is mapped instead, which gives the same text faster; but a file
    // cut short by another program while mapped ends the process, so the window, which holds a list
    // that may not be saved yet, reads a copy. Shows "Couldn't open source file: ..." and returns false
    // when the file cannot be opened or read.
    bool ReadSourceFile(const std::string& path, SourceText& text, bool mayMap);
    bool ReadSource(int fd, std::string& text);

    // Reads fd as its bytes arrive, by the chunks and NUL rule of ReadSource, and calls found for each pair
    // as soon as it is sure: the same pairs in the same order as ExtractPairs gives for the whole text.
    // pieceDone follows every read that gave text, and the end. Memory grows with the distinct pairs
    // only. Shows the open error and returns false when fd cannot be read.
    bool ExtractPairsAsRead(int fd, const std::function<void(std::string_view)>& found,
                            const std::function<void()>& pieceDone);

    // Calls found("address:port") for every record that LoadProxies would append from the text, in
    // append order.
    static void ExtractPairs(std::string_view text, const std::function<void(std::string_view)>& found);

private:
    void ReportOpenError(int error);

    platform::MessageBox& m_messageBox;
};
