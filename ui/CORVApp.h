#pragma once

#include "ui/QtClipboard.h"
#include "ui/QtFileDialog.h"
#include "ui/QtMessageBox.h"
#include "ui/QtShellOpen.h"

#include "platform/FolderLock.h"
#include "platform/SystemProxy.h"

#include <QObject>

#include <memory>
#include <string>

class CMainFrame;
class OrvBusService;
class QSocketNotifier;

// The application object: names the program to the desktop, makes the folders, creates and shows the
// main window, and closes it through its shutdown (so that the list is saved) on SIGTERM, SIGINT and
// SIGHUP and the session's logout as well as on "Exit ORV". One window at a time holds a data folder.
class CORVApp : public QObject {
    Q_OBJECT
public:
    // A frame that does not switch leaves the desktop's proxy and Firefox alone (the screenshot).
    explicit CORVApp(bool switching = true);
    ~CORVApp() override;

    // Creates the frame and shows it, or hides it in the tray (minimised where the desktop has none).
    // False when the window could not be made: the program then ends.
    bool InitInstance(bool hidden = false);
    // Destroys the frame if it still exists.
    void ExitInstance();
    CMainFrame* Frame() const { return m_frame.get(); }

    // The program's names for the desktop; once, after the QApplication is made.
    static void NameTheProgram();
    // Runs the window until it is closed; the exit status.
    static int RunWindow(int argc, char** argv, bool hidden = false);
    // Renders the window with the saved list into a PNG file and exits; the exit status.
    static int RunScreenshot(int argc, char** argv, const std::string& file);

private:
    // False, after saying so, when another window holds the data folder.
    static bool IsOnlyWindow(const platform::FolderLock& lock, const std::string& dataFolder);
    void WatchSignals();
    void OnSignal();

    platform::QtMessageBox m_messageBox;
    platform::QtClipboard m_clipboard;
    platform::QtFileDialog m_fileDialog;
    platform::QtShellOpen m_shellOpen;
    const bool m_switching;
    std::unique_ptr<platform::SystemProxy> m_systemProxy;
    std::unique_ptr<CMainFrame> m_frame;
    // Gone before the frame it drives; none without a session bus or when another copy has the name.
    std::unique_ptr<OrvBusService> m_busService;
    QSocketNotifier* m_signalNotifier = nullptr;
};
