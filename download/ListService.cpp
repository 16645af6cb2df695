#include "download/ListService.h"

#include "settings/CIniFile.h"
#include "settings/SettingsStore.h"

#include <cstdlib>

std::string ListService::ListServiceUrl(const std::string& dataFolder) {
    std::string url;
    if (const char* value = std::getenv(EnvironmentName); value != nullptr && *value != '\0')
        url = value;
    else
        url = CIniFile(dataFolder + SettingsStore::FileName).ReadString(SettingsStore::Section, Key, DefaultUrl);
    if (url.empty())
        url = DefaultUrl;
    while (!url.empty() && url.back() == '/')
        url.pop_back();
    return url;
}
