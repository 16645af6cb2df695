#include "download/ListDownload.h"

#include "download/CGzipFile.h"
#include "proxy/ProxyTextParser.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <thread>

namespace {

void RemoveFile(const std::string& path) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

// Copies from after the first firstLineLength bytes to the end.
bool CopyTail(const std::string& from, const std::string& to, size_t firstLineLength) {
    std::unique_ptr<FILE, int (*)(FILE*)> in(std::fopen(from.c_str(), "rb"), std::fclose);
    if (!in || std::fseek(in.get(), static_cast<long>(firstLineLength), SEEK_SET) != 0)
        return false;
    std::unique_ptr<FILE, int (*)(FILE*)> out(std::fopen(to.c_str(), "wb"), std::fclose);
    if (!out)
        return false;
    char block[ListDownload::CopyBlock];
    size_t got = 0;
    while ((got = std::fread(block, 1, sizeof block, in.get())) > 0)
        if (std::fwrite(block, 1, got, out.get()) != got)
            return false;
    return std::fclose(out.release()) == 0;
}

ListDownload::Records ParseRecords(std::string_view text) {
    ListDownload::Records records;
    ProxyTextParser::ExtractPairs(text, [&](std::string_view pair) {
        auto item = std::make_unique<ProxyItem>();
        item->SetAddress(pair);
        records.push_back(std::move(item));
    });
    return records;
}

} // namespace

ListDownload::ListDownload(std::string dataFolder, std::string serviceUrl, Host host)
    : m_dataFolder(std::move(dataFolder)), m_serviceUrl(std::move(serviceUrl)), m_host(std::move(host)) {}

ListDownload::Markers ListDownload::ParseFirstLine(std::string_view line) {
    Markers markers;
    markers.list = line.find("#list") != std::string_view::npos;
    markers.encode = line.find("#encode") != std::string_view::npos;
    constexpr std::string_view update = "#update@";
    const size_t at = line.find(update);
    if (at == std::string_view::npos)
        return markers;
    const std::string_view rest = line.substr(at + update.size());
    const size_t sign = rest.find('#');
    uint64_t seconds = 0;
    if (sign != std::string_view::npos) {
        // The leading digits, as atoi takes them; anything else, or too many, counts as 0.
        const auto [end, error] = std::from_chars(rest.data(), rest.data() + sign, seconds);
        if (error != std::errc() || end == rest.data())
            seconds = 0;
    }
    markers.updateSeconds = seconds;
    return markers;
}

std::string ListDownload::FailureLines() {
    return std::string("Downloading proxy list from Halvard failed.\r\n") + "Please try it again or contact " +
           SupportAddress + " for help.\r\n" + "Thank you.\r\n";
}

std::string ListDownload::ReadFirstLine() const {
    std::string line;
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen((m_dataFolder + TempFile).c_str(), "rb"), std::fclose);
    if (!file)
        return line;
    int c = 0;
    while (line.size() < MaxFirstLine && (c = std::fgetc(file.get())) != EOF) {
        line += static_cast<char>(c);
        if (c == '\n')
            break;
    }
    return line;
}

std::optional<std::string> ListDownload::UnpackBody(size_t firstLineLength) {
    const std::string temp2 = m_dataFolder + Temp2File;
    CGzipFile gzip;
    std::string text;
    if (!CopyTail(m_dataFolder + TempFile, temp2, firstLineLength) || !gzip.Open(temp2, CGzipFile::Read) ||
        !gzip.ReadAllText(text, MaxListText)) {
        m_host.showMessage(ReadError);
        return std::nullopt;
    }
    if (!gzip.Close()) {
        m_host.showMessage(CloseError);
        return std::nullopt;
    }
    RemoveFile(temp2);
    // The list is read as a C string.
    text.resize(std::min(text.size(), text.find('\0')));
    return text;
}

ListDownload::Outcome ListDownload::Run() {
    m_host.appendLog("", LogMode::Clear);
    DownloadUrl::ToFile(m_serviceUrl + RequestPath, m_dataFolder + TempFile, m_limits);
    return ProcessReply();
}

ListDownload::Outcome ListDownload::ProcessReply() {
    Outcome outcome;
    const std::string temp = m_dataFolder + TempFile;
    const std::string firstLine = ReadFirstLine();
    const Markers markers = ParseFirstLine(firstLine);
    if (markers.list) {
        std::string text;
        if (markers.encode) {
            std::optional<std::string> unpacked = UnpackBody(firstLine.size());
            if (!unpacked) {
                outcome.failure = FailureLines(); // temp.dat and temp2.dat stay for a look at what came
                return outcome;
            }
            text = std::move(*unpacked);
        }
        std::string line = "Downloading the proxy list...\r\n";
        if (markers.updateSeconds) {
            const uint64_t n = *markers.updateSeconds;
            char buffer[160];
            std::snprintf(buffer, sizeof buffer, "%llu:%02llu GMT", static_cast<unsigned long long>(n / 3600),
                          static_cast<unsigned long long>(n % 3600 / 60));
            outcome.updateTime = buffer;
            std::snprintf(buffer, sizeof buffer,
                          "Downloading the proxy list (updated at %llu:%02llu:%02llu GMT)...\r\n",
                          static_cast<unsigned long long>(n / 3600), static_cast<unsigned long long>(n % 3600 / 60),
                          static_cast<unsigned long long>(n % 60));
            line = buffer;
        }
        m_host.appendLog(line, LogMode::Append);
        std::this_thread::sleep_for(m_pause);
        Records records = ParseRecords(text);
        text.clear();
        text.shrink_to_fit();
        outcome.count = records.size();
        m_host.addRecords(std::move(records));
        m_host.appendLog("Get " + std::to_string(outcome.count) + " proxy from Halvard successfully.\r\n",
                         LogMode::Append);
        std::this_thread::sleep_for(m_pause);
        outcome.showDialog = true;
    } else {
        outcome.failure = FailureLines();
    }
    RemoveFile(temp);
    return outcome;
}
