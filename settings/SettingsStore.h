#pragma once

#include "settings/AppSettings.h"

#include <functional>
#include <string>

// Keeps AppSettings in DataFolder + "ORV_Setting.ini", section "Settings". Loading reads every key
// with its default; saving always writes all 31 keys, in their fixed order, with one file write.
class SettingsStore {
public:
    static constexpr const char* FileName = "ORV_Setting.ini";
    static constexpr const char* Section = "Settings";
    static constexpr const char* ExportFileName = "proxy.txt";

    // dataFolder ends with '/'.
    SettingsStore(AppSettings& settings, std::string dataFolder);

    AppSettings& Settings() { return m_settings; }
    const std::string& Path() const { return m_path; }

    // Told the file's path and the reason whenever a save fails; the old file then stays as it was.
    using SaveFailure = std::function<void(const std::string& path, const std::string& reason)>;
    void OnSaveFailure(SaveFailure report) { m_onSaveFailure = std::move(report); }

    // exportFolder ends with '/'; the default export file lies in it. A file that exists but cannot be
    // read leaves every setting at its default: the reason is returned (empty when all went well).
    std::string LoadSettings(const std::string& exportFolder);
    // False, after the report, when the file could not be written; a file that could not be read is
    // never written over, since its other keys would be lost.
    bool SaveSettings() const;

private:
    AppSettings& m_settings;
    std::string m_path;
    SaveFailure m_onSaveFailure;
};
