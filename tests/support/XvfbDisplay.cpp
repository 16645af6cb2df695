#include "tests/support/XvfbDisplay.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

XvfbDisplay::XvfbDisplay(bool keepUntilLastClient) {
    std::vector<std::string> argv = {"Xvfb", "-displayfd", "1", "-nolisten", "tcp"};
    if (keepUntilLastClient)
        argv.push_back("-terminate");
    if (!m_server.Start(argv, m_dir.File("xvfb.log")))
        return;
    // The server writes its display number and a line end once it accepts clients.
    for (int i = 0; i < 300; ++i) {
        const std::string log = Log();
        if (const size_t end = log.find('\n'); end != std::string::npos) {
            m_name = ":" + log.substr(0, end);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

xcb_atom_t InternAtom(xcb_connection_t* c, const char* name) {
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr),
        &std::free);
    return reply ? reply->atom : 0;
}
