#pragma once

#include "settings/AppSettings.h"

#include <string>

// Keeps AppSettings in DataFolder + "ORV_Setting.ini", section "Settings". Loading reads every key
// with its default; saving always writes all 25 keys, in their fixed order, with one file write.
class SettingsStore {
public:
    static constexpr const char* FileName = "ORV_Setting.ini";
    static constexpr const char* Section = "Settings";
    static constexpr const char* ExportFileName = "proxy.txt";

    // dataFolder ends with '/'.
    SettingsStore(AppSettings& settings, std::string dataFolder);

    AppSettings& Settings() { return m_settings; }
    const std::string& Path() const { return m_path; }

    // exportFolder ends with '/'; the default export file lies in it.
    void LoadSettings(const std::string& exportFolder);
    // Failures are not reported; the old file stays as it was.
    void SaveSettings() const;

private:
    AppSettings& m_settings;
    std::string m_path;
};
