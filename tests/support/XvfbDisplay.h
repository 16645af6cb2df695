#pragma once

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

#include <string>
#include <xcb/xcb.h>

// An X server of the test's own (Xvfb on the first free display). It ends with the object, or by itself
// once its last client has gone when keepUntilLastClient is set, for a program whose connection lives
// until the process exits.
class XvfbDisplay {
public:
    explicit XvfbDisplay(bool keepUntilLastClient = false);

    // ":N", or empty when the server did not start; Log() then says why.
    const std::string& Name() const { return m_name; }
    std::string Log() const { return m_dir.Read("xvfb.log"); }

private:
    TempDir m_dir;
    ChildProcess m_server;
    std::string m_name;
};

// The atom of name on the connection; 0 when the server did not answer.
xcb_atom_t InternAtom(xcb_connection_t* c, const char* name);
