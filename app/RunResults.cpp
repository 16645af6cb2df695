#include "app/RunResults.h"

#include "platform/PortNumber.h"
#include "proxy/CountryTable.h"
#include "proxy/ProxyCell.h"
#include "proxy/ProxyItem.h"
#include "proxy/ProxyList.h"
#include "tester/CInternetThread.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <string_view>
#include <vector>

namespace {

using nlohmann::json;

// A port text as its number, as the tester reads it.
int32_t PortOf(const ProxyItem& item) {
    return FoldPort(item.m_port);
}

std::string StatusWord(const ProxyItem& item) {
    std::string word = StatusName(item.m_status);
    for (char& c : word)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return word;
}

json Result(int32_t value) {
    return value == Untested ? json(nullptr) : json(value);
}

json CountryOf(const ProxyItem& item) {
    const int32_t country = item.m_country;
    const std::string code = CountryTable::CountryCode(country);
    return code.empty() ? json(nullptr) : json(code);
}

json Record(const ProxyItem& item, bool includePasswords) {
    json record = {{"address", item.m_ip},
                   {"port", PortOf(item)},
                   {"status", StatusWord(item)},
                   {"delay", Result(item.m_delay)},
                   {"anonymity", Result(item.m_anonymity)},
                   {"gateway", Result(item.m_gateway)},
                   {"country", CountryOf(item)},
                   {"https", Result(item.m_https)},
                   {"danger", Result(item.m_danger)},
                   {"kind", std::string(ProxyKindName(item.Kind()))}};
    if (includePasswords) {
        const auto& credentials = item.m_credentials;
        record["user"] = credentials ? json(credentials->m_user) : json(nullptr);
        record["password"] = credentials ? json(credentials->m_password) : json(nullptr);
    }
    return record;
}

// RFC 4180: a field with a separator, a quote or a line end is quoted, its quotes doubled.
std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        quoted += c;
        if (c == '"')
            quoted += '"';
    }
    return quoted + '"';
}

std::string CsvValue(const json& value) {
    if (value.is_null())
        return {};
    return CsvField(value.is_string() ? value.get<std::string>() : value.dump());
}

} // namespace

std::string RunResults::Json(const ProxyList& list, const Figures& figures, bool includePasswords) {
    json records = json::array();
    for (size_t i = 0; i < list.GetSize(); ++i)
        records.push_back(Record(*list[i], includePasswords));
    const json run = {{"outcome", figures.outcome},
                      {"proxies", list.GetSize()},
                      {"seconds", figures.seconds},
                      {"lastTested", figures.lastTested},
                      {"highAnonymous", list.m_level1Count.Get()},
                      {"anonymous", list.m_level2Count.Get()},
                      {"transparent", list.m_level3Count.Get()},
                      {"records", std::move(records)}};
    // Record texts come from files of any origin: bytes that are no UTF-8 are replaced, not fatal.
    return run.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

std::string RunResults::Csv(const ProxyList& list, bool includePasswords) {
    std::vector<std::string> columns;
    for (std::string_view header = CsvHeader; !header.empty();) {
        const size_t comma = std::min(header.find(','), header.size());
        columns.emplace_back(header.substr(0, comma));
        header.remove_prefix(std::min(comma + 1, header.size()));
    }
    std::string text = CsvHeader;
    if (includePasswords) {
        columns.insert(columns.end(), {"user", "password"});
        text += ",user,password";
    }
    text += "\r\n";
    for (size_t i = 0; i < list.GetSize(); ++i) {
        const json record = Record(*list[i], includePasswords);
        const char* separator = "";
        for (const std::string& column : columns) {
            text.append(separator).append(CsvValue(record[column]));
            separator = ",";
        }
        text += "\r\n";
    }
    return text;
}
