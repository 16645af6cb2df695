#include "app/ExportDialogLogic.h"

#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "platform/ShellOpen.h"
#include "settings/AtomicFile.h"

#include <algorithm>
#include <filesystem>

std::vector<ProxyItem*> ExportDialogLogic::ExportAll(const ProxyList& list) {
    std::vector<ProxyItem*> set;
    set.reserve(list.GetSize());
    for (size_t i = 0; i < list.GetSize(); ++i)
        set.push_back(list[i]);
    return set;
}

std::optional<std::vector<ProxyItem*>> ExportDialogLogic::ExportSelected(const ProxyList& list,
                                                                         std::vector<size_t> selectedRows) {
    std::sort(selectedRows.begin(), selectedRows.end());
    selectedRows.erase(std::unique(selectedRows.begin(), selectedRows.end()), selectedRows.end());
    std::vector<ProxyItem*> set;
    for (size_t row : selectedRows) {
        if (row < list.GetSize())
            set.push_back(list[row]);
    }
    if (set.empty())
        return std::nullopt;
    return set;
}

ExportDialogLogic::ExportDialogLogic(SettingsStore& store, Services services, std::vector<ProxyItem*> exportSet,
                                     std::string lastTestedText)
    : m_store(store), m_services(services), m_exportSet(std::move(exportSet)),
      m_lastTestedText(std::move(lastTestedText)) {}

ExportDialogControls ExportDialogLogic::Initialise() {
    const AppSettings& s = m_store.Settings();
    ExportDialogControls c;
    ExportOptions& o = c.m_options;
    o = {s.SaveLevel1 != 0,  s.SaveLevel2 != 0,  s.SaveLevel3 != 0, s.SaveSSL != 0,    s.SaveUnchecked != 0,
         s.SaveTimeout != 0, s.SaveCountry != 0, s.SaveDelay != 0,  s.SaveNoTitle != 0};
    c.m_path = s.SaveFilePath;
    // An empty set has no first record: "unchecked" stays as the setting says.
    if (!m_exportSet.empty() && m_exportSet.front()->m_status == StatusUnknown)
        o.m_unchecked = true;
    if (s.TestDelay == 0)
        o.m_speed = false;
    if (s.TestSSL == 0)
        o.m_ssl = false;
    if (s.TestAnon == 0)
        o.m_level1 = o.m_level2 = o.m_level3 = true;
    OnLineOptionClicked(c);
    return c;
}

void ExportDialogLogic::OnLineOptionClicked(ExportDialogControls& c) {
    m_composer.BuildSections(m_exportSet, c.m_options.m_country, c.m_options.m_speed, m_store.Settings().TestAnon != 0,
                             c.m_options.m_includePasswords);
    Compose(c);
}

void ExportDialogLogic::OnSectionOptionClicked(ExportDialogControls& c) const {
    Compose(c);
}

void ExportDialogLogic::Compose(ExportDialogControls& c) const {
    const AppSettings& s = m_store.Settings();
    auto composed = m_composer.Compose(c.m_options, m_lastTestedText, s.Timeout, s.TestAnon != 0);
    c.m_text = std::move(composed.m_text);
    c.m_total = composed.m_total;
}

void ExportDialogLogic::OnBrowse(ExportDialogControls& c) const {
    // The chooser opens where the file would be written now.
    const size_t slash = c.m_path.rfind('/');
    const std::string current = slash == std::string::npos ? std::string() : c.m_path.substr(0, slash + 1);
    auto folder = m_services.m_fileDialog.ChooseFolder("Please select the output folder", current);
    if (!folder)
        return;
    if (folder->empty()) {
        m_services.m_messages.Show("Please select the proper folder for the result file.");
        return;
    }
    if (folder->back() != '/')
        *folder += '/';
    c.m_path = *folder + SettingsStore::ExportFileName;
}

void ExportDialogLogic::TakeOptions(const ExportDialogControls& c) {
    AppSettings& s = m_store.Settings();
    const ExportOptions& o = c.m_options;
    s.SaveLevel1 = o.m_level1;
    s.SaveLevel2 = o.m_level2;
    s.SaveLevel3 = o.m_level3;
    s.SaveSSL = o.m_ssl;
    s.SaveUnchecked = o.m_unchecked;
    s.SaveTimeout = o.m_timeout;
    s.SaveCountry = o.m_country;
    s.SaveDelay = o.m_speed;
    s.SaveNoTitle = o.m_noTitle;
    s.SaveFilePath = c.m_path;
    m_store.SaveSettings();
}

bool ExportDialogLogic::OnSave(const ExportDialogControls& c) {
    TakeOptions(c);
    if (c.m_text.empty() || c.m_path.empty()) {
        m_services.m_messages.Show("Please input the proper text for the output settings.");
        return false;
    }
    const size_t slash = c.m_path.rfind('/');
    if (slash == std::string::npos) {
        m_services.m_messages.Show("Please select the proper folder for the result file.");
        return false;
    }
    // A folder that cannot be made shows up as a file that cannot be written.
    std::error_code ignored;
    if (slash > 0)
        std::filesystem::create_directories(c.m_path.substr(0, slash), ignored);
    if (!ReplaceFileAtomically(c.m_path, c.m_text)) {
        m_services.m_messages.Show("Please input the proper text for the file path.");
        return false;
    }
    // The file is written either way; a desktop that cannot open it says where it is.
    platform::OpenOrExplain(m_services.m_shellOpen, m_services.m_messages, c.m_path);
    return true;
}

void ExportDialogLogic::OnExit(const ExportDialogControls& c) {
    TakeOptions(c);
}
