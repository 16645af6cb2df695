#include "download/DownloadUrl.h"

#include <cctype>
#include <cstdio>
#include <curl/curl.h>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>

namespace {

struct Transfer {
    std::function<bool(const char*, size_t)> sink;
    size_t received = 0;
    size_t limit = 0;
    bool overflow = false;
    std::stop_token stop;
};

size_t OnData(char* data, size_t size, size_t count, void* user) {
    auto& transfer = *static_cast<Transfer*>(user);
    const size_t bytes = size * count;
    transfer.received += bytes;
    if (transfer.received > transfer.limit) {
        transfer.overflow = true;
        return 0; // ends the transfer with a write error
    }
    return transfer.sink(data, bytes) ? bytes : 0;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto& transfer = *static_cast<Transfer*>(user);
    return transfer.stop.stop_requested() ? 1 : 0;
}

void InitOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

DownloadResult Fetch(const std::string& url, Transfer& transfer, const DownloadLimits& limits) {
    DownloadResult result;
    if (!DownloadUrl::IsWebAddress(url)) {
        result.error = "not an http:// or https:// address";
        return result;
    }
    InitOnce();
    std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl) {
        result.error = "could not start the download";
        return result;
    }
    char errorText[CURL_ERROR_SIZE] = "";
    transfer.limit = limits.maxReplyBytes;
    transfer.stop = limits.stop;
    curl_slist* headers = curl_slist_append(nullptr, "Cache-Control: no-cache");
    headers = curl_slist_append(headers, "Pragma: no-cache");
    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_USERAGENT, DownloadUrl::UserAgent);
    // An empty proxy turns off every proxy, also those named by http_proxy and all_proxy.
    curl_easy_setopt(handle, CURLOPT_PROXY, "");
    curl_easy_setopt(handle, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, limits.connectSeconds);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, limits.lowSpeedSeconds);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, OnData);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &transfer);
    const CURLcode code = curl_easy_perform(handle);
    curl_slist_free_all(headers);
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &result.status);
    if (transfer.overflow)
        result.error = "the reply is larger than " + std::to_string(limits.maxReplyBytes >> 20) + " MiB";
    else if (code != CURLE_OK)
        result.error = *errorText != '\0' ? errorText : curl_easy_strerror(code);
    else if (result.status < 200 || result.status > 299)
        result.error = "HTTP status " + std::to_string(result.status);
    else
        result.ok = true;
    return result;
}

} // namespace

bool DownloadUrl::IsWebAddress(const std::string& text) {
    const auto startsWith = [&](std::string_view prefix) {
        if (text.size() < prefix.size())
            return false;
        for (size_t i = 0; i < prefix.size(); ++i)
            if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i])
                return false;
        return true;
    };
    return startsWith("http://") || startsWith("https://");
}

DownloadResult DownloadUrl::ToFile(const std::string& url, const std::string& path, const DownloadLimits& limits) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), std::fclose);
    if (!file) {
        DownloadResult result;
        result.error = "cannot create " + path;
        return result;
    }
    Transfer transfer;
    transfer.sink = [&](const char* data, size_t size) { return std::fwrite(data, 1, size, file.get()) == size; };
    DownloadResult result = Fetch(url, transfer, limits);
    // A full disk shows only when the last buffer is written.
    if (std::fclose(file.release()) != 0 && result.ok) {
        result.ok = false;
        result.error = "cannot write " + path;
    }
    if (!result.ok) {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
    return result;
}

DownloadResult DownloadUrl::ToText(const std::string& url, std::string& body, const DownloadLimits& limits) {
    body.clear();
    Transfer transfer;
    transfer.sink = [&](const char* data, size_t size) {
        body.append(data, size);
        return true;
    };
    DownloadResult result = Fetch(url, transfer, limits);
    if (!result.ok) {
        body.clear();
        body.shrink_to_fit();
    }
    return result;
}
