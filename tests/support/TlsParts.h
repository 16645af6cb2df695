#pragma once

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

#include <cstdint>
#include <string>

// The HTTPS test's real parts: a test CA, two openssl TLS servers on loopback (one with a certificate
// for "localhost" that the CA signed, one whose certificate names another host) and a tinyproxy that
// tunnels to port 443 only, so it refuses a tunnel to either server. Started by the constructor,
// stopped by process id in the destructor; error says what could not start.
struct TlsParts {
    TempDir dir;
    ChildProcess goodServer, wrongNameServer, refusingProxy;
    uint16_t goodPort = 0, wrongNamePort = 0, refusingProxyPort = 0;
    std::string error;

    TlsParts();

    std::string CaFile() const { return dir.File("ca.pem"); }
    std::string GoodPage() const { return "localhost:" + std::to_string(goodPort); }
    std::string WrongNamePage() const { return "localhost:" + std::to_string(wrongNamePort); }
    std::string RefusingProxy() const { return "127.0.0.1:" + std::to_string(refusingProxyPort); }

private:
    bool Run(const std::vector<std::string>& argv);
    bool MakeCertificates();
    bool StartServer(ChildProcess& server, uint16_t& port, const std::string& name);
    bool Launch(ChildProcess& process, const std::vector<std::string>& argv, const std::string& name, uint16_t port);
};
