#include "ui/CORVApp.h"

#include "app/AppFolders.h"
#include "app/ScriptCommands.h"
#include "switching/MakeSystemProxy.h"
#include "switching/NoSystemProxy.h"
#include "ui/CMainFrame.h"
#include "ui/OrvBusService.h"
#include "ui/OrvResources.h"

#include <QApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The write end of the pipe that turns a signal into an event of the window's thread.
int g_signalPipe[2] = {-1, -1};

// Each closes the window through its shutdown. SIGHUP comes when the terminal that started orv closes.
constexpr int TerminationSignals[] = {SIGTERM, SIGINT, SIGHUP};

void OnTerminationSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(g_signalPipe[1], &byte, 1);
}

} // namespace

void CORVApp::NameTheProgram() {
    InitOrvResources();
    QApplication::setApplicationName(QStringLiteral("orv"));
    // No display name: Qt would append it to the title bar of every window whose title does not end with it,
    // and each dialog's title is to read exactly its caption. The desktop file names the program instead.
    QApplication::setApplicationVersion(QStringLiteral("1.07B"));
    QApplication::setOrganizationName(QStringLiteral("Halvard"));
    QGuiApplication::setDesktopFileName(QStringLiteral("orv"));
}

CORVApp::CORVApp(bool switching)
    : m_switching(switching), m_systemProxy(switching ? MakeSystemProxy() : std::make_unique<NoSystemProxy>()) {}

CORVApp::~CORVApp() {
    ExitInstance();
}

bool CORVApp::InitInstance(bool hidden) {
    const std::string programFolder = AppFolders::ProgramFolder();
    const std::string dataFolder = AppFolders::DataFolder();
    // A data folder that cannot be made is not reported: settings and the list are then not written.
    AppFolders::CreateFolders(dataFolder);
    m_frame = std::make_unique<CMainFrame>(
        FrameModel::Services{m_messageBox, m_clipboard, m_fileDialog, m_shellOpen, *m_systemProxy}, programFolder,
        dataFolder, m_switching ? FirefoxChannel::PortsFromEnvironment() : FirefoxChannel::Ports{0, 0});
    m_messageBox.SetParent(m_frame.get());
    m_fileDialog.SetParent(m_frame.get());
    if (!m_frame->Create()) {
        m_frame.reset();
        return false;
    }
    QApplication::setQuitOnLastWindowClosed(false);
    // Logout: the session asks us to save before it ends us.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this] {
        if (m_frame)
            m_frame->close();
    });
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
        if (m_frame)
            m_frame->ShutDown();
    });
    WatchSignals();
    // Scripts and a second start reach the window over the session bus; the picture needs no service.
    if (m_switching) {
        m_busService = std::make_unique<OrvBusService>(*m_frame);
        if (!m_busService->Register())
            m_busService.reset();
    }
    if (hidden)
        m_frame->MinimiseToTray();
    else
        m_frame->show();
    return true;
}

void CORVApp::ExitInstance() {
    if (m_signalNotifier != nullptr)
        for (int signal : TerminationSignals)
            std::signal(signal, SIG_DFL);
    m_busService.reset();
    m_frame.reset();
}

void CORVApp::WatchSignals() {
    if (g_signalPipe[0] < 0 && pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_signalNotifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
    connect(m_signalNotifier, &QSocketNotifier::activated, this, &CORVApp::OnSignal);
    struct sigaction action = {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : TerminationSignals)
        sigaction(signal, &action, nullptr);
}

void CORVApp::OnSignal() {
    char bytes[16];
    while (read(g_signalPipe[0], bytes, sizeof bytes) > 0) {
    }
    if (m_frame)
        m_frame->close();
}

bool CORVApp::IsOnlyWindow(const platform::FolderLock& lock, const std::string& dataFolder) {
    if (lock.GetState() != platform::FolderLock::State::HeldElsewhere)
        return true;
    std::string folder = dataFolder;
    if (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    const std::string text = "Tarvelo is already running with the data folder " + folder + ".";
    std::fprintf(stderr, "orv: %s\n", text.c_str());
    // Offscreen nobody could see the box, let alone close it.
    if (QGuiApplication::platformName() != QStringLiteral("offscreen"))
        platform::QtMessageBox().Show(text);
    return false;
}

int CORVApp::RunWindow(int argc, char** argv, bool hidden) {
    QApplication application(argc, argv);
    NameTheProgram();
    // Two windows on one data folder would each save their own list over the other's.
    const std::string dataFolder = AppFolders::DataFolder();
    AppFolders::CreateFolders(dataFolder);
    const platform::FolderLock lock(dataFolder);
    // A second start raises the window that holds the folder.
    if (lock.GetState() == platform::FolderLock::State::HeldElsewhere && ScriptCommands::ShowWindow(dataFolder))
        return 0;
    if (!IsOnlyWindow(lock, dataFolder))
        return 1;
    CORVApp app;
    if (!app.InitInstance(hidden)) {
        std::fputs("orv: the main window could not be created\n", stderr);
        return 1;
    }
    const int status = QApplication::exec();
    if (app.Frame() != nullptr && !app.Frame()->Model().Run().WaitUntilIdle(std::chrono::milliseconds(0))) {
        // The shutdown saved everything, but a test run it could not end still uses the list:
        // tearing the window down under its threads would crash, and waiting could hang the exit.
        std::fflush(nullptr);
        std::_Exit(status);
    }
    app.ExitInstance();
    return status;
}

int CORVApp::RunScreenshot(int argc, char** argv, const std::string& file) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    NameTheProgram();
    CORVApp app(false);
    if (!app.InitInstance())
        return 1;
    CMainFrame* frame = app.Frame();
    frame->RefreshPanelNow();
    QEventLoop settle;
    QTimer::singleShot(400, &settle, &QEventLoop::quit);
    settle.exec();
    const bool saved = frame->grab().save(QString::fromLocal8Bit(file.c_str()), "PNG");
    // Leave the saved list as it was found: no shutdown save for a picture.
    app.m_frame.reset();
    if (!saved) {
        std::fprintf(stderr, "orv: cannot write '%s'\n", file.c_str());
        return 1;
    }
    return 0;
}
