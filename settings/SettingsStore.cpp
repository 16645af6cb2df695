#include "settings/SettingsStore.h"

#include "platform/InputFile.h"
#include "settings/CIniFile.h"

#include <algorithm>
#include <cstdint>

namespace {

struct IntKey {
    const char* m_name;
    RelaxedInt32 AppSettings::*m_field;
    // The older keys are taken as the file says; the newer ones are brought into their range.
    int32_t m_least = INT32_MIN;
    int32_t m_most = INT32_MAX;
};

// The integer keys in the order in which they stand in the file; the texts follow them.
constexpr IntKey IntKeys[] = {
    {"MaxThread", &AppSettings::MaxThread},
    {"Timeout", &AppSettings::Timeout},
    {"SimulateBrowser", &AppSettings::SimulateBrowser},
    {"StrictTest", &AppSettings::StrictTest},
    {"TestDelay", &AppSettings::TestDelay},
    {"TestAnon", &AppSettings::TestAnon},
    {"TestCountry", &AppSettings::TestCountry},
    {"TestSSL", &AppSettings::TestSSL},
    {"TestGateway", &AppSettings::TestGateway},
    {"TestDanger", &AppSettings::TestDanger},
    {"TestCodeen", &AppSettings::TestCodeen},
    {"SaveLevel1", &AppSettings::SaveLevel1},
    {"SaveLevel2", &AppSettings::SaveLevel2},
    {"SaveLevel3", &AppSettings::SaveLevel3},
    {"SaveSSL", &AppSettings::SaveSSL},
    {"SaveUnchecked", &AppSettings::SaveUnchecked},
    {"SaveTimeout", &AppSettings::SaveTimeout},
    {"SaveCountry", &AppSettings::SaveCountry},
    {"SaveNoTitle", &AppSettings::SaveNoTitle},
    {"SaveDelay", &AppSettings::SaveDelay},
    {"CheckSystem", &AppSettings::CheckSystem},
    {"ChangeIEProxy", &AppSettings::ChangeIEProxy},
    {"ChangeFFProxy", &AppSettings::ChangeFFProxy},
    {"DispatchOnTick", &AppSettings::DispatchOnTick, 0, 1},
    {"WatchActive", &AppSettings::WatchActive, 0, 1},
    {"WatchMinutes", &AppSettings::WatchMinutes, 1, 1440},
    {"WhenNoProxyWorks", &AppSettings::WhenNoProxyWorks, 0, 1},
};

constexpr const char* ProxyJudgeKey = "ProxyJudge";
constexpr const char* SaveFilePathKey = "SaveFilePath";
constexpr const char* TestPageKey = "TestPage";
constexpr const char* TestPageMarkerKey = "TestPageMarker";

} // namespace

SettingsStore::SettingsStore(AppSettings& settings, std::string dataFolder)
    : m_settings(settings), m_path(std::move(dataFolder) + FileName) {}

std::string SettingsStore::LoadSettings(const std::string& exportFolder) {
    // One read of the file for all keys; each value is taken as CIniFile's reads take it.
    std::string problem;
    const IniDocument document = CIniFile(m_path).Load(&problem).value_or(IniDocument());
    const AppSettings defaults;
    m_settings.NotNumbers.clear();
    for (const IntKey& key : IntKeys) {
        RelaxedInt32& field = m_settings.*key.m_field;
        const std::optional<std::string> value = document.Get(Section, key.m_name);
        field = std::clamp(CIniFile::ToInt(value, defaults.*key.m_field, 10), key.m_least, key.m_most);
        if (CIniFile::IsNumber(value, 10))
            continue;
        if (key.m_least == INT32_MIN)
            m_settings.NotNumbers.insert(key.m_name);
        else
            field = defaults.*key.m_field; // a ranged key without digits is back at its default
    }
    m_settings.ProxyJudge = document.Get(Section, ProxyJudgeKey).value_or(AppSettings::DefaultProxyJudge);
    m_settings.SaveFilePath = document.Get(Section, SaveFilePathKey).value_or(exportFolder + ExportFileName);
    m_settings.TestPage = document.Get(Section, TestPageKey).value_or(AppSettings::DefaultTestPage);
    m_settings.TestPageMarker = document.Get(Section, TestPageMarkerKey).value_or(AppSettings::DefaultTestPageMarker);
    return problem;
}

bool SettingsStore::SaveSettings() const {
    const CIniFile file(m_path);
    std::string problem;
    auto document = file.Load(&problem);
    if (document) {
        for (const IntKey& key : IntKeys)
            document->Set(Section, key.m_name, CIniFile::FromInt(m_settings.*key.m_field, 10));
        document->Set(Section, ProxyJudgeKey, m_settings.ProxyJudge);
        document->Set(Section, SaveFilePathKey, m_settings.SaveFilePath);
        document->Set(Section, TestPageKey, m_settings.TestPage);
        document->Set(Section, TestPageMarkerKey, m_settings.TestPageMarker);
        int error = 0;
        if (file.Store(*document, &error))
            return true;
        problem = platform::ErrorText(error);
    } else {
        problem = "the file there cannot be read: " + problem;
    }
    if (m_onSaveFailure)
        m_onSaveFailure(m_path, problem);
    return false;
}
