#include "installer/ExtensionInstaller.h"

#include "installer/RegistryTree.h"
#include "platform/AtomicFile.h"

#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <pwd.h>
#include <stdexcept>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Firefox's application identifier: the key under which it looks for per-user extensions.
const char* const FirefoxKey = "{ec8030f7-c20a-464f-9b0e-13a3a9e97384}";
const char* const InstallCaption = "Install Firefox ORV Extension";
const char* const UninstallCaption = "Uninstall Firefox ORV Extension";

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home && *home)
        return home;
    const passwd* user = getpwuid(getuid());
    return user && user->pw_dir ? user->pw_dir : "/";
}

} // namespace

QuilletFolders QuilletFolders::ForUser(const std::string& programFolder) {
    const std::string mozilla = HomeFolder() + "/.mozilla/";
    const char* registry = std::getenv("ORV_REGISTRY_ROOT");
    return {programFolder, registry && *registry ? registry : mozilla + "extensions",
            mozilla + "native-messaging-hosts"};
}

ExtensionInstaller::ExtensionInstaller(platform::MessageBox& box, platform::FirefoxProcesses& firefox,
                                       QuilletFolders folders, Sleep sleep)
    : m_box(box), m_firefox(firefox), m_folders(std::move(folders)), m_sleep(std::move(sleep)) {}

void ExtensionInstaller::CloseFirefoxLoop(const std::string& text, const std::string& caption) {
    while (m_firefox.IsRunning()) {
        m_box.ShowWithCaption(text, caption, platform::MessageBox::Ok);
        if (m_firefox.IsRunning()) {
            m_firefox.RequestClose();
            WaitForFirefoxToEnd();
        }
    }
}

// The close request only starts Firefox's shutdown; asking again before it is done would show a prompt
// for a Firefox that is already on its way out.
void ExtensionInstaller::WaitForFirefoxToEnd() {
    for (auto waited = std::chrono::milliseconds(0); waited < CloseWait && m_firefox.IsRunning(); waited += ClosePoll)
        m_sleep(ClosePoll);
}

void ExtensionInstaller::SetRegistration(const std::string& data) {
    RegistryTree tree(m_folders.m_registryRoot, FirefoxKey);
    tree.Load();
    tree.Set(ExtensionId, data);
    tree.Save();
}

// Firefox, started once with the empty registration, uninstalls the previous version. False when the user
// gives up on starting it.
bool ExtensionInstaller::StartFirefoxForUninstall(const std::string& caption) {
    if (!m_firefox.IsRunning()) {
        m_firefox.Start();
        for (int step = 1; step <= 6; ++step) {
            m_sleep(std::chrono::seconds(1));
            if (step <= 5 && m_firefox.IsRunning())
                break;
        }
        while (!m_firefox.IsRunning()) {
            if (m_box.ShowWithCaption(
                    "Please manually start your Firefox to uninstall the previous version of ORV extension.", caption,
                    platform::MessageBox::OkCancel) == platform::MessageBox::AnswerCancel)
                return false;
        }
    }
    m_sleep(std::chrono::seconds(1));
    if (m_bringToFront)
        m_bringToFront();
    return true;
}

ExtensionInstaller::Result ExtensionInstaller::InstallExtension() {
    const std::string extensionFolder = m_folders.m_program + "firefox";
    std::error_code error;
    if (!fs::exists(extensionFolder, error)) {
        m_box.ShowWithCaption("Please put this program in your ORV directory.\n\n"
                              "This directory isn't your correct ORV directory:\n[" +
                                  m_folders.m_program + "]",
                              InstallCaption, platform::MessageBox::Ok);
        return Stopped;
    }
    CloseFirefoxLoop("Close your Firefox now to prepare for the installation?", InstallCaption);
    try {
        SetRegistration("");
        if (!StartFirefoxForUninstall(InstallCaption))
            return Stopped;
        CloseFirefoxLoop("Close your Firefox now to continue the installation?", InstallCaption);
        SetRegistration(extensionFolder);
        WriteBridgeManifest();
    } catch (const std::runtime_error& failure) {
        m_box.ShowWithCaption(failure.what(), InstallCaption, platform::MessageBox::Ok);
        return RegistryFailed;
    }
    m_box.ShowWithCaption("Thank you! The installation of ORV Extension for Firefox is complete.", InstallCaption,
                          platform::MessageBox::Ok);
    if (!m_firefox.IsRunning())
        m_firefox.Start();
    return Finished;
}

ExtensionInstaller::Result ExtensionInstaller::UninstallExtension() {
    CloseFirefoxLoop("Close your Firefox now to prepare for the uninstall?", UninstallCaption);
    try {
        SetRegistration("");
        RemoveBridgeManifest();
    } catch (const std::runtime_error& failure) {
        m_box.ShowWithCaption(failure.what(), UninstallCaption, platform::MessageBox::Ok);
        return RegistryFailed;
    }
    m_box.ShowWithCaption("The uninstall of ORV Extension for Firefox is complete.", UninstallCaption,
                          platform::MessageBox::OkCancel);
    if (!m_firefox.IsRunning())
        m_firefox.Start();
    return Finished;
}

void ExtensionInstaller::WriteBridgeManifest() {
    // JSON is UTF-8: the stray bytes of a folder name that is not become U+FFFD rather than a broken document.
    const nlohmann::ordered_json fields = {
        {"name", BridgeName},
        {"description", "Passes orv's proxy switches to the ORV extension"},
        {"path", m_folders.m_program + BridgeProgram},
        {"type", "stdio"},
        {"allowed_extensions", nlohmann::ordered_json::array({ExtensionId})},
    };
    const std::string manifest = fields.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    std::error_code error;
    fs::create_directories(m_folders.m_nativeHosts, error);
    const std::string path = m_folders.m_nativeHosts + "/" + BridgeName + ".json";
    if (error || !ReplaceFileAtomically(path, manifest))
        throw std::runtime_error("Error! Cannot write the bridge's manifest!\n\n" + path);
}

void ExtensionInstaller::RemoveBridgeManifest() {
    const std::string path = m_folders.m_nativeHosts + "/" + BridgeName + ".json";
    std::error_code error;
    fs::remove(path, error);
    if (error)
        throw std::runtime_error("Error! Cannot remove the bridge's manifest!\n\n" + path);
}
