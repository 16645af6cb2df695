// The window on an X server of the test's own, where the test plays the notification area (it owns
// the tray selection, so the window has a tray to hide in) and the window manager (it minimises the
// window the way a title bar's button does, not through the program's own command).
#include "app/CommandIds.h"
#include "tests/support/QtApp.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"
#include "tests/support/XvfbDisplay.h"
#include "ui/CMainFrame.h"
#include "ui/CORVApp.h"
#include "ui/CSystemTray.h"

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

namespace {

using Connection = std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)>;

void Sync(xcb_connection_t* c) {
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

// Owns _NET_SYSTEM_TRAY_S0 and says so on the root window, as a notification area does at start.
void BecomeTrayHost(xcb_connection_t* c) {
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_window_t owner = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, owner, root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    const xcb_atom_t selection = InternAtom(c, "_NET_SYSTEM_TRAY_S0");
    xcb_set_selection_owner(c, owner, selection, XCB_CURRENT_TIME);
    xcb_client_message_event_t manager{};
    manager.response_type = XCB_CLIENT_MESSAGE;
    manager.format = 32;
    manager.window = root;
    manager.type = InternAtom(c, "MANAGER");
    manager.data.data32[0] = XCB_CURRENT_TIME;
    manager.data.data32[1] = selection;
    manager.data.data32[2] = owner;
    xcb_send_event(c, 0, root, XCB_EVENT_MASK_STRUCTURE_NOTIFY, reinterpret_cast<const char*>(&manager));
    Sync(c);
}

void SetWmState(xcb_connection_t* c, xcb_window_t window, uint32_t state) {
    const xcb_atom_t wmState = InternAtom(c, "WM_STATE");
    const uint32_t value[] = {state, XCB_NONE};
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, wmState, wmState, 32, 2, value);
}

// The window manager's part: windows are mapped and placed through it, and a mapped window is in the
// normal state, so that the program sees every change of state as it would on a desktop.
class StandInManager {
public:
    explicit StandInManager(xcb_connection_t* c) : m_c(c) {
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        const uint32_t redirect = XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT;
        xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &redirect);
        Sync(c);
        m_thread = std::thread([this] { Run(); });
    }
    ~StandInManager() {
        m_stop = true;
        m_thread.join();
    }

    // What a title bar's minimise button does: the window becomes iconic and is unmapped.
    void Minimise(xcb_window_t window) {
        SetWmState(m_c, window, 3);
        xcb_unmap_window(m_c, window);
        Sync(m_c);
    }

private:
    void Run() {
        while (!m_stop) {
            std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> event(xcb_poll_for_event(m_c), &std::free);
            if (!event) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                continue;
            }
            if ((event->response_type & 0x7f) == XCB_MAP_REQUEST) {
                const auto* request = reinterpret_cast<const xcb_map_request_event_t*>(event.get());
                SetWmState(m_c, request->window, 1);
                xcb_map_window(m_c, request->window);
            } else if ((event->response_type & 0x7f) == XCB_CONFIGURE_REQUEST) {
                const auto* request = reinterpret_cast<const xcb_configure_request_event_t*>(event.get());
                Configure(*request);
            }
            xcb_flush(m_c);
        }
    }

    // Granted as asked: the values follow the mask's bits in order.
    void Configure(const xcb_configure_request_event_t& request) {
        std::vector<uint32_t> values;
        const std::pair<uint16_t, uint32_t> fields[] = {
            {XCB_CONFIG_WINDOW_X, static_cast<uint32_t>(request.x)},
            {XCB_CONFIG_WINDOW_Y, static_cast<uint32_t>(request.y)},
            {XCB_CONFIG_WINDOW_WIDTH, request.width},
            {XCB_CONFIG_WINDOW_HEIGHT, request.height},
            {XCB_CONFIG_WINDOW_BORDER_WIDTH, request.border_width},
            {XCB_CONFIG_WINDOW_SIBLING, request.sibling},
            {XCB_CONFIG_WINDOW_STACK_MODE, request.stack_mode},
        };
        for (const auto& [bit, value] : fields)
            if (request.value_mask & bit)
                values.push_back(value);
        xcb_configure_window(m_c, request.window, request.value_mask, values.data());
    }

    xcb_connection_t* m_c;
    std::atomic<bool> m_stop = false;
    std::thread m_thread;
};

} // namespace

TEST(TrayMinimise, AHiddenStartAndTheTitleBarsMinimiseWaitInTheTrayAndBothWaysBringItBack) {
    // Never stopped: Qt's connection lasts as long as the process, and the server ends with it.
    static XvfbDisplay* const xvfb = new XvfbDisplay(true);
    ASSERT_FALSE(xvfb->Name().empty()) << "Xvfb did not start: " << xvfb->Log();
    Connection c(xcb_connect(xvfb->Name().c_str(), nullptr), &xcb_disconnect);
    ASSERT_EQ(xcb_connection_has_error(c.get()), 0);
    BecomeTrayHost(c.get());
    StandInManager manager(c.get());
    setenv("DISPLAY", xvfb->Name().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent", 1); // the X tray, not a bus host
    QtApp();
    ASSERT_TRUE(QSystemTrayIcon::isSystemTrayAvailable());

    // Started as the desktop's autostart starts it: hidden in the tray until the tray brings it.
    TempDir dir;
    ScopedEnv data("ORV_DATA_DIR", dir.Path().c_str());
    CORVApp app(false);
    ASSERT_TRUE(app.InitInstance(true));
    CMainFrame& frame = *app.Frame();
    ASSERT_TRUE(frame.Tray()->IsAvailable());
    EXPECT_FALSE(frame.isVisible());

    QMenu* menu = frame.Tray()->Menu();
    const auto showEntry = [&] {
        emit menu->aboutToShow();
        for (QAction* action : menu->actions())
            if (action->data().toInt() == cmd::ShowMainWindow)
                return action;
        return static_cast<QAction*>(nullptr);
    };
    showEntry()->trigger();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    struct Way {
        const char* name;
        void (*bring)(CMainFrame&, QAction* showEntry);
    };
    const Way ways[] = {
        {"the tray entry", [](CMainFrame&, QAction* entry) { entry->trigger(); }},
        {"a double click",
         [](CMainFrame& window, QAction*) { emit window.Tray()->Icon()->activated(QSystemTrayIcon::DoubleClick); }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        EXPECT_EQ(showEntry()->text().toStdString(), "Minimize to tray");
        manager.Minimise(static_cast<xcb_window_t>(frame.winId()));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !frame.isVisible(); }, 5000));
        EXPECT_EQ(showEntry()->text().toStdString(), "Show main window");

        way.bring(frame, showEntry());
        EXPECT_TRUE(frame.isVisible());
        EXPECT_FALSE(frame.isMinimized());
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&frame));
        EXPECT_EQ(showEntry()->text().toStdString(), "Minimize to tray");
    }
}
