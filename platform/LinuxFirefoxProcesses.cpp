#include "platform/LinuxFirefoxProcesses.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <memory>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

namespace platform {

namespace {

std::string ReadSmallFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool IsFirefoxName(std::string comm) {
    if (!comm.empty() && comm.back() == '\n')
        comm.pop_back();
    return comm == "firefox" || comm == "firefox-esr" || comm == "firefox-bin";
}

// A zombie is a Firefox that has already ended and only waits for its parent to notice.
bool HasEnded(const std::string& stat) {
    const size_t close = stat.rfind(')');
    return close == std::string::npos || close + 2 >= stat.size() || stat[close + 2] == 'Z' || stat[close + 2] == 'X';
}

// Content, GPU and other helper processes carry the same name but this flag among their arguments.
bool IsHelper(const std::string& cmdline) {
    size_t start = 0;
    while (start < cmdline.size()) {
        const size_t end = std::min(cmdline.find('\0', start), cmdline.size());
        if (cmdline.compare(start, end - start, "-contentproc") == 0)
            return true;
        start = end + 1;
    }
    return false;
}

template <typename T> using XcbReply = std::unique_ptr<T, decltype(&std::free)>;

// Interned, not only looked up: the close message's name must be sent even where nobody has used it yet.
xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
    XcbReply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr),
        &std::free);
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

std::vector<xcb_window_t> ClientWindows(xcb_connection_t* c, xcb_window_t root) {
    const xcb_atom_t list = Atom(c, "_NET_CLIENT_LIST");
    XcbReply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, root, list, XCB_ATOM_WINDOW, 0, 65536), nullptr), &std::free);
    if (!reply || list == XCB_ATOM_NONE || reply->format != 32)
        return {};
    const auto* windows = static_cast<const xcb_window_t*>(xcb_get_property_value(reply.get()));
    return std::vector<xcb_window_t>(windows, windows + xcb_get_property_value_length(reply.get()) / 4);
}

pid_t WindowPid(xcb_connection_t* c, xcb_window_t window, xcb_atom_t pidAtom) {
    XcbReply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr),
        &std::free);
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 4)
        return 0;
    return static_cast<pid_t>(*static_cast<const uint32_t*>(xcb_get_property_value(reply.get())));
}

// Sends _NET_CLOSE_WINDOW for each top-level window of the processes; false when none was found.
bool CloseWindowsOf(const std::vector<pid_t>& pids) {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display)
        return false;
    int screenNumber = 0;
    std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> c(xcb_connect(nullptr, &screenNumber),
                                                                   &xcb_disconnect);
    if (xcb_connection_has_error(c.get()))
        return false;
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c.get()));
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    if (!screens.rem)
        return false;
    const xcb_window_t root = screens.data->root;
    const xcb_atom_t pidAtom = Atom(c.get(), "_NET_WM_PID");
    const xcb_atom_t closeAtom = Atom(c.get(), "_NET_CLOSE_WINDOW");
    bool sent = false;
    for (const xcb_window_t window : ClientWindows(c.get(), root)) {
        if (std::find(pids.begin(), pids.end(), WindowPid(c.get(), window, pidAtom)) == pids.end())
            continue;
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = closeAtom;
        event.data.data32[1] = 2; // the request comes from a pager-like tool, not the application
        xcb_send_event(c.get(), 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                       reinterpret_cast<const char*>(&event));
        sent = true;
    }
    // A round trip before the disconnect: the server drops requests it has not read yet once it sees
    // the connection closed, and on a busy machine the close messages would be lost that way.
    std::free(xcb_get_input_focus_reply(c.get(), xcb_get_input_focus(c.get()), nullptr));
    return sent;
}

} // namespace

std::vector<pid_t> LinuxFirefoxProcesses::FindMainProcesses(const std::string& procFolder) {
    std::vector<pid_t> found;
    struct CloseDir {
        void operator()(DIR* dir) const { closedir(dir); }
    };
    std::unique_ptr<DIR, CloseDir> dir(opendir(procFolder.c_str()));
    if (!dir)
        return found;
    while (const dirent* entry = readdir(dir.get())) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0')
            continue;
        const std::string folder = procFolder + "/" + entry->d_name + "/";
        struct stat info {};
        if (stat(folder.c_str(), &info) != 0 || info.st_uid != getuid())
            continue;
        if (IsFirefoxName(ReadSmallFile(folder + "comm")) && !HasEnded(ReadSmallFile(folder + "stat")) &&
            !IsHelper(ReadSmallFile(folder + "cmdline")))
            found.push_back(static_cast<pid_t>(pid));
    }
    return found;
}

bool LinuxFirefoxProcesses::IsRunning() {
    return !FindMainProcesses().empty();
}

void LinuxFirefoxProcesses::RequestClose() {
    const std::vector<pid_t> pids = FindMainProcesses();
    if (pids.empty() || CloseWindowsOf(pids))
        return;
    for (const pid_t pid : pids)
        kill(pid, SIGTERM);
}

void LinuxFirefoxProcesses::Start() {
    const pid_t child = fork();
    if (child == 0) {
        // The grandchild belongs to init, not to Quillet, and leaves no zombie behind.
        setsid();
        if (fork() == 0) {
            const int null = open("/dev/null", O_RDONLY);
            if (null >= 0)
                dup2(null, STDIN_FILENO);
            execlp("firefox", "firefox", static_cast<char*>(nullptr));
            execlp("firefox-esr", "firefox-esr", static_cast<char*>(nullptr));
        }
        _exit(0);
    }
    if (child > 0)
        waitpid(child, nullptr, 0);
}

} // namespace platform
