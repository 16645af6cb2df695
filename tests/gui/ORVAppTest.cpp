#include "settings/SavedList.h"
#include "tests/support/QtApp.h"
#include "tests/support/TempDir.h"
#include "ui/CMainFrame.h"
#include "ui/CORVApp.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>

namespace {

// Runs the window's events until the window has closed or five seconds have passed.
bool WaitForClose(CMainFrame& frame) {
    QElapsedTimer clock;
    clock.start();
    while (frame.isVisible() && clock.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    return !frame.isVisible();
}

// The application's folders in a temporary folder for the life of the object.
struct AppFolders {
    TempDir dir;
    AppFolders() {
        setenv("ORV_DATA_DIR", (dir.Path() + "data").c_str(), 1);
        setenv("ORV_PROGRAM_DIR", dir.Path().c_str(), 1);
    }
    ~AppFolders() {
        unsetenv("ORV_DATA_DIR");
        unsetenv("ORV_PROGRAM_DIR");
    }
};

void AddProxies(CMainFrame& frame) {
    EXPECT_TRUE(frame.Model().AddProxy("1.1.1.1", "80"));
    EXPECT_TRUE(frame.Model().AddProxy("2.2.2.2", "8080"));
}

} // namespace

TEST(ORVApp, MakesTheDataFolderAndOpensTheWindow) {
    QtApp();
    AppFolders folders;
    CORVApp app;
    ASSERT_TRUE(app.InitInstance());
    EXPECT_TRUE(app.Frame()->isVisible());
    EXPECT_EQ(app.Frame()->Model().DataFolder(), folders.dir.Path() + "data/");
    EXPECT_EQ(app.Frame()->Model().ProgramFolder(), folders.dir.Path());
    EXPECT_TRUE(std::filesystem::is_directory(folders.dir.Path() + "data"));
    app.ExitInstance();
    EXPECT_EQ(app.Frame(), nullptr);
}

TEST(ORVApp, AHiddenStartWithoutATrayMinimisesTheWindowSoItCanBeReached) {
    QtApp();
    AppFolders folders;
    CORVApp app;
    ASSERT_TRUE(app.InitInstance(true));
    EXPECT_TRUE(app.Frame()->isVisible() && app.Frame()->isMinimized());
}

TEST(ORVApp, TheTitleBarShowsTheWindowTitleAlone) {
    QtApp();
    CORVApp::NameTheProgram();
    AppFolders folders;
    CORVApp app;
    ASSERT_TRUE(app.InitInstance());
    const QString title = app.Frame()->windowTitle();
    EXPECT_EQ(title, QStringLiteral("Tarvelo 1.07B"));
    // The desktop's title bar gets " — " and the display name after any title that does not end with it, so
    // none is set: without one, the display name reads as the application's name.
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QGuiApplication::applicationName());
    EXPECT_EQ(QGuiApplication::applicationName(), QStringLiteral("orv"));
    EXPECT_EQ(QGuiApplication::desktopFileName(), QStringLiteral("orv"));
    app.ExitInstance();
}

TEST(ORVApp, TerminationSignalsCloseTheWindowThroughItsShutdownSoTheListIsSaved) {
    QtApp();
    for (int signal : {SIGTERM, SIGINT}) {
        AppFolders folders;
        CORVApp app;
        ASSERT_TRUE(app.InitInstance());
        AddProxies(*app.Frame());
        std::raise(signal);
        ASSERT_TRUE(WaitForClose(*app.Frame())) << signal;
        ProxyList saved;
        ASSERT_TRUE(SavedList::LoadList(folders.dir.Path() + "data/", saved).m_loaded);
        EXPECT_EQ(saved.GetSize(), 2u);
        app.ExitInstance();
    }
}
