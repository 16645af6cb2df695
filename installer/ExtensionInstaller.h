#pragma once

#include "platform/FirefoxProcesses.h"
#include "platform/MessageBox.h"

#include <chrono>
#include <functional>
#include <string>

// The identifier the extension declares in its manifest and the value name Quillet writes.
inline constexpr const char* ExtensionId = "orv@tarvelo.invalid";
// The native-messaging host the extension starts; its manifest is named after it.
inline constexpr const char* BridgeName = "tarvelo_orv_bridge";
// The host's executable, beside the programs.
inline constexpr const char* BridgeProgram = "orv-firefox-bridge";

// Where Quillet reads and writes.
struct QuilletFolders {
    std::string m_program;      // the folder of the programs, with a trailing '/'
    std::string m_registryRoot; // plays the registry root; the key is Firefox's application folder in it
    std::string m_nativeHosts;  // Firefox's per-user native-messaging-host manifests
    // The folders of the user's Firefox; $ORV_REGISTRY_ROOT moves the extension registry for tests.
    static QuilletFolders ForUser(const std::string& programFolder);
};

// Installs and uninstalls the extension. Everything it asks of the user goes through the message box;
// Firefox is seen and driven through FirefoxProcesses.
class ExtensionInstaller {
public:
    enum Result { Finished, Stopped, RegistryFailed };
    using Sleep = std::function<void(std::chrono::milliseconds)>;

    // Firefox closes its windows a moment after the request; this long it may take before the prompt returns.
    static constexpr std::chrono::milliseconds CloseWait{5000};
    static constexpr std::chrono::milliseconds ClosePoll{100};

    ExtensionInstaller(platform::MessageBox& box, platform::FirefoxProcesses& firefox, QuilletFolders folders,
                       Sleep sleep);

    // Brings the dialog back in front of the Firefox that was just started.
    void SetBringToFront(std::function<void()> bringToFront) { m_bringToFront = std::move(bringToFront); }

    Result InstallExtension();
    Result UninstallExtension();
    // Repeats the prompt, and a close request, until no Firefox is left. The user cannot cancel it.
    void CloseFirefoxLoop(const std::string& text, const std::string& caption);

private:
    void WaitForFirefoxToEnd();
    void SetRegistration(const std::string& data);
    bool StartFirefoxForUninstall(const std::string& caption);
    void WriteBridgeManifest();
    void RemoveBridgeManifest();

    platform::MessageBox& m_box;
    platform::FirefoxProcesses& m_firefox;
    QuilletFolders m_folders;
    Sleep m_sleep;
    std::function<void()> m_bringToFront;
};
