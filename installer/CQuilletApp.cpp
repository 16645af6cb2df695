#include "installer/CQuilletApp.h"

#include "installer/CQuilletDlg.h"
#include "installer/QuilletMessageBox.h"
#include "platform/LinuxFirefoxProcesses.h"

#include <QApplication>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

std::string CQuilletApp::CommandLine(int argc, char** argv) {
    std::string line;
    for (int i = 1; i < argc; ++i)
        line.append(i > 1 ? " " : "").append(argv[i]);
    return line;
}

std::string CQuilletApp::ProgramFolder() {
    const char* overridden = std::getenv("ORV_PROGRAM_DIR");
    std::string folder = overridden && *overridden
                             ? std::string(overridden)
                             : std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

int CQuilletApp::Run(int argc, char** argv) {
    QApplication app(argc, argv);
    QuilletMessageBox box;
    platform::LinuxFirefoxProcesses firefox;
    ExtensionInstaller installer(box, firefox, QuilletFolders::ForUser(ProgramFolder()),
                                 [](std::chrono::milliseconds time) { std::this_thread::sleep_for(time); });
    CQuilletDlg dialog(CommandLine(argc, argv), installer);
    box.SetOwner(&dialog);
    dialog.exec();
    return dialog.ExitCode();
}
