// The list service's reply on any bytes: its first line's markers and the gzip body behind them.
// No crash; the temp files go unless a message box said why they stay; no record without a list.
#include "download/ListDownload.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

std::string Folder() {
    static const std::string folder = [] {
        std::string path = std::filesystem::temp_directory_path() / ("fuzz_list_reply." + std::to_string(getpid()));
        std::filesystem::create_directories(path);
        return path + "/";
    }();
    return folder;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string folder = Folder();
    std::ofstream(folder + ListDownload::TempFile, std::ios::binary).write(reinterpret_cast<const char*>(data), size);
    size_t messages = 0;
    size_t added = 0;
    ListDownload::Host host;
    host.appendLog = [](const std::string&, LogMode) {};
    host.showMessage = [&](const std::string&) { ++messages; };
    host.addRecords = [&](ListDownload::Records records) { added += records.size(); };
    ListDownload download(folder, "http://127.0.0.1:9", host);
    download.m_pause = std::chrono::milliseconds(0);
    const ListDownload::Outcome outcome = download.ProcessReply();
    const std::string_view line(reinterpret_cast<const char*>(data), std::min<size_t>(size, 99));
    const ListDownload::Markers markers = ListDownload::ParseFirstLine(line);
    if (outcome.failure.empty() != outcome.showDialog || outcome.count != added || (added > 0 && !outcome.showDialog) ||
        (outcome.showDialog && !markers.list) ||
        std::filesystem::exists(folder + ListDownload::TempFile) != (messages > 0))
        std::abort();
    std::filesystem::remove(folder + ListDownload::Temp2File);
    return 0;
}
