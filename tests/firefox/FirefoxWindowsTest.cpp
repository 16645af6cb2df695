// Quillet's close request on a desktop: an X server of the test's own (Xvfb) where the test plays the
// window manager, and a stand-in Firefox process (sleep under Firefox's name) owning one window.
#include "installer/ExtensionInstaller.h"
#include "platform/LinuxFirefoxProcesses.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"
#include "tests/support/XvfbDisplay.h"

#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <thread>
#include <unistd.h>
#include <xcb/xcb.h>

namespace {

using namespace std::chrono_literals;

// The _NET_CLOSE_WINDOW message for window that reaches the window manager within limit.
bool CloseMessageArrives(xcb_connection_t* c, xcb_window_t window, xcb_atom_t close, std::chrono::milliseconds limit) {
    for (const auto end = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < end;) {
        std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> event(xcb_poll_for_event(c), &std::free);
        if (!event) {
            std::this_thread::sleep_for(20ms);
            continue;
        }
        const auto* message = reinterpret_cast<const xcb_client_message_event_t*>(event.get());
        if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE && message->type == close && message->window == window)
            return true;
    }
    return false;
}

} // namespace

// A Firefox that takes a second to end after SIGTERM (a shell under Firefox's name): Quillet waits for it
// instead of asking again.
TEST(FirefoxWindows, QuilletAsksOnceWhileFirefoxTakesAMomentToEnd) {
    if (!platform::LinuxFirefoxProcesses::FindMainProcesses().empty())
        GTEST_SKIP() << "another Firefox of this user runs; the close request would reach it too";
    ScopedEnv noDisplay("DISPLAY", nullptr);
    TempDir dir;
    std::filesystem::copy_file("/bin/sh", dir.File("firefox"));
    ChildProcess firefox;
    // "ready" once the handler is set, so that SIGTERM cannot end it at once.
    ASSERT_TRUE(firefox.Start(
        {dir.File("firefox"), "-c", "trap 'sleep 1; exit 0' TERM; echo ready; while :; do sleep 0.1; done"},
        dir.File("firefox.log")));
    for (int i = 0; i < 200 && dir.Read("firefox.log").empty(); ++i)
        std::this_thread::sleep_for(50ms);
    ASSERT_EQ(dir.Read("firefox.log"), "ready\n");
    platform::ScriptedMessageBox box;
    platform::LinuxFirefoxProcesses processes;
    ExtensionInstaller installer(box, processes, {dir.File("orv/"), dir.File("extensions"), dir.File("hosts")},
                                 [](std::chrono::milliseconds time) { std::this_thread::sleep_for(time); });
    installer.CloseFirefoxLoop("Close your Firefox now to prepare for the uninstall?", "caption");
    EXPECT_EQ(box.m_shown.size(), 1u);
    EXPECT_FALSE(firefox.Running());
}

TEST(FirefoxWindows, CloseGoesToTheWindowsElseSigtermToTheProcess) {
    if (!platform::LinuxFirefoxProcesses::FindMainProcesses().empty())
        GTEST_SKIP() << "another Firefox of this user runs; the close request would reach it too";
    TempDir dir;
    XvfbDisplay xvfb;
    const std::string display = xvfb.Name();
    ASSERT_FALSE(display.empty()) << "Xvfb did not start: " << xvfb.Log();
    ScopedEnv displayEnv("DISPLAY", display.c_str());

    std::filesystem::copy_file("/bin/sleep", dir.File("firefox"));
    ChildProcess firefox;
    ASSERT_TRUE(firefox.Start({dir.File("firefox"), "600"}, dir.File("firefox.log")));
    for (int i = 0; i < 100 && platform::LinuxFirefoxProcesses::FindMainProcesses().empty(); ++i)
        std::this_thread::sleep_for(50ms);
    const std::vector<pid_t> pids = platform::LinuxFirefoxProcesses::FindMainProcesses();
    ASSERT_EQ(pids.size(), 1u);

    std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> c(xcb_connect(display.c_str(), nullptr),
                                                                   &xcb_disconnect);
    ASSERT_EQ(xcb_connection_has_error(c.get()), 0);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c.get())).data->root;
    const xcb_window_t window = xcb_generate_id(c.get());
    xcb_create_window(c.get(), XCB_COPY_FROM_PARENT, window, root, 0, 0, 100, 100, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    const uint32_t pid = static_cast<uint32_t>(pids[0]);
    xcb_change_property(c.get(), XCB_PROP_MODE_REPLACE, window, InternAtom(c.get(), "_NET_WM_PID"), XCB_ATOM_CARDINAL,
                        32, 1, &pid);
    const xcb_atom_t clientList = InternAtom(c.get(), "_NET_CLIENT_LIST");
    xcb_change_property(c.get(), XCB_PROP_MODE_REPLACE, root, clientList, XCB_ATOM_WINDOW, 32, 1, &window);
    const uint32_t manager = XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT;
    ASSERT_EQ(
        xcb_request_check(c.get(), xcb_change_window_attributes_checked(c.get(), root, XCB_CW_EVENT_MASK, &manager)),
        nullptr);

    platform::LinuxFirefoxProcesses processes;
    processes.RequestClose();
    const bool arrived = CloseMessageArrives(c.get(), window, InternAtom(c.get(), "_NET_CLOSE_WINDOW"), 10s);
    EXPECT_TRUE(arrived) << "no close message on display " << display;
    EXPECT_TRUE(firefox.Running()); // the window manager decides; no signal was sent

    // Firefox without a window on this display (headless) gets SIGTERM.
    xcb_delete_property(c.get(), root, clientList);
    xcb_flush(c.get());
    xcb_get_input_focus_reply_t* sync = xcb_get_input_focus_reply(c.get(), xcb_get_input_focus(c.get()), nullptr);
    std::free(sync);
    processes.RequestClose();
    for (int i = 0; i < 200 && firefox.Running(); ++i)
        std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(firefox.Running());
}
