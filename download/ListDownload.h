#pragma once

#include "download/DownloadUrl.h"
#include "proxy/ProxyItem.h"
#include "tester/TestLog.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// "Download List": fetches the list service's reply, unpacks its gzip body, parses the proxies and
// hands them to the owner of the list. Run is the whole thread; it touches no list itself, because
// the list belongs to the window's thread.
class ListDownload {
public:
    static constexpr const char* RequestPath = "/getproxylist.php?v=106";
    static constexpr const char* TempFile = "temp.dat";
    static constexpr const char* Temp2File = "temp2.dat";
    static constexpr const char* SupportAddress = "support@halvard.example";
    static constexpr const char* ReadError = "Error! Could not read file.";
    static constexpr const char* CloseError = "Error! Could not close file.";
    static constexpr const char* DefaultUpdateTime = "12:00 GMT";
    // The unpacked text: a small gzip body can unpack to gigabytes.
    static constexpr size_t MaxListText = size_t{256} << 20;
    // fgets with a buffer of 100.
    static constexpr size_t MaxFirstLine = 99;
    static constexpr size_t CopyBlock = 2048;

    using Records = std::vector<std::unique_ptr<ProxyItem>>;

    struct Host {
        std::function<void(const std::string& text, LogMode mode)> appendLog;
        std::function<void(const std::string& text)> showMessage;
        // The records found, in list order, for the list's owner to append.
        std::function<void(Records records)> addRecords;
    };

    struct Markers {
        bool list = false;
        bool encode = false;
        // Seconds after midnight GMT; 0 when "#update@" has no closing number sign.
        std::optional<uint64_t> updateSeconds;
    };

    struct Outcome {
        // The list arrived: the dialog offers the test.
        bool showDialog = false;
        size_t count = 0;
        std::string updateTime = DefaultUpdateTime;
        // The lines that end a failed download; empty when the list arrived. The owner logs them once it
        // has taken the list back, so that a reader of the log finds the list free again.
        std::string failure;
    };

    // dataFolder ends with '/'; serviceUrl is the service's address without the request path.
    ListDownload(std::string dataFolder, std::string serviceUrl, Host host);

    // Every step of the download.
    Outcome Run();
    // The steps after the download, on the reply in DataFolder's temp.dat.
    Outcome ProcessReply();

    static Markers ParseFirstLine(std::string_view line);
    static std::string FailureLines();

    DownloadLimits m_limits;
    // The pauses that let the user read the log lines; none on the command line.
    std::chrono::milliseconds m_pause{500};

private:
    std::string ReadFirstLine() const;
    // Unpacks the body after the first line; nullopt after the failure's message box.
    std::optional<std::string> UnpackBody(size_t firstLineLength);

    std::string m_dataFolder;
    std::string m_serviceUrl;
    Host m_host;
};
