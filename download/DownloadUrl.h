#pragma once

#include <cstddef>
#include <cstdint>
#include <stop_token>
#include <string>

// What a download may take. A service that stops sending is given up after lowSpeedSeconds.
struct DownloadLimits {
    long connectSeconds = 20;
    // Below one byte a second for this long ends the transfer.
    long lowSpeedSeconds = 30;
    size_t maxReplyBytes = size_t{64} << 20;
    // A stop requested from another thread ends the transfer at once (the window closes).
    std::stop_token stop;
};

struct DownloadResult {
    bool ok = false;
    // The HTTP status, 0 when no reply came.
    long status = 0;
    // Empty on success; otherwise what went wrong, for a message.
    std::string error;
};

// Fetches an http:// or https:// address directly: agent "ORV/1.02", never through a proxy (neither
// the environment's nor the one the program made active), no cache, redirects followed. A reply that
// is not 2xx, too large, too slow or cut short is a failure.
class DownloadUrl {
public:
    static constexpr const char* UserAgent = "ORV/1.02";

    static bool IsWebAddress(const std::string& text);

    // The body into file; after a failure the file is gone, so no part of a reply is ever used.
    static DownloadResult ToFile(const std::string& url, const std::string& path, const DownloadLimits& limits);
    static DownloadResult ToText(const std::string& url, std::string& body, const DownloadLimits& limits);
};
