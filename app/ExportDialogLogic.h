#pragma once

#include "proxy/ProxyList.h"
#include "settings/ExportComposer.h"
#include "settings/SettingsStore.h"

#include <optional>
#include <string>
#include <vector>

namespace platform {
class FileDialog;
class MessageBox;
class ShellOpen;
} // namespace platform

// What the export dialog's controls hold; the dialog widget copies them in and out.
struct ExportDialogControls {
    ExportOptions m_options;
    std::string m_path;
    // The preview; the user may edit it and Save writes what it holds.
    std::string m_text;
    int32_t m_total = 0;
};

// The rules of the "Export Lists" dialog, without the widgets. The export set only points into the list.
class ExportDialogLogic {
public:
    struct Services {
        platform::MessageBox& m_messages;
        platform::FileDialog& m_fileDialog;
        platform::ShellOpen& m_shellOpen;
    };

    // "Export All": every record in list order.
    static std::vector<ProxyItem*> ExportAll(const ProxyList& list);
    // "Export Selected": the selected rows in list order; nothing (no dialog at all) when none is selected.
    static std::optional<std::vector<ProxyItem*>> ExportSelected(const ProxyList& list,
                                                                 std::vector<size_t> selectedRows);

    ExportDialogLogic(SettingsStore& store, Services services, std::vector<ProxyItem*> exportSet,
                      std::string lastTestedText);

    // The controls as the dialog opens, with the sections built and the text composed.
    ExportDialogControls Initialise();
    // "country" or "speed" changed: the lines change.
    void OnLineOptionClicked(ExportDialogControls& controls);
    // A section box or "no title" changed.
    void OnSectionOptionClicked(ExportDialogControls& controls) const;
    void OnBrowse(ExportDialogControls& controls) const;
    // Writes the preview's text to the file and opens it; false after a message. The dialog stays open.
    bool OnSave(const ExportDialogControls& controls);
    void OnExit(const ExportDialogControls& controls);

private:
    void TakeOptions(const ExportDialogControls& controls);
    void Compose(ExportDialogControls& controls) const;

    SettingsStore& m_store;
    Services m_services;
    std::vector<ProxyItem*> m_exportSet;
    std::string m_lastTestedText;
    ExportComposer m_composer;
};
