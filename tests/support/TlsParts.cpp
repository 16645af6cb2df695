#include "tests/support/TlsParts.h"

#include "tests/support/LoopbackServer.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TlsParts::TlsParts() {
    if (MakeCertificates() && StartServer(goodServer, goodPort, "localhost") &&
        StartServer(wrongNameServer, wrongNamePort, "elsewhere")) {
        refusingProxyPort = FreePort("127.0.0.1");
        dir.Write("refusing.conf", "Port " + std::to_string(refusingProxyPort) +
                                       "\nListen 127.0.0.1\nAllow 127.0.0.0/8\nTimeout 10\nLogLevel Warning\n"
                                       "ConnectPort 443\n");
        Launch(refusingProxy, {"tinyproxy", "-d", "-c", dir.File("refusing.conf")}, "tinyproxy", refusingProxyPort);
    }
}

bool TlsParts::Run(const std::vector<std::string>& argv) {
    const ProgramResult result = RunProgram(argv);
    if (result.m_exitCode != 0)
        error = argv[0] + " " + argv[1] + " failed: " + result.m_errors;
    return result.m_exitCode == 0;
}

bool TlsParts::MakeCertificates() {
    const std::string days = "2";
    if (!Run({"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
              "-keyout", dir.File("ca.key"), "-out", CaFile(), "-days", days, "-subj", "/CN=Test CA"}))
        return false;
    for (const std::string name : {"localhost", "elsewhere"}) {
        dir.Write(name + ".ext", "subjectAltName=DNS:" + name + "\n");
        if (!Run({"openssl", "req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
                  dir.File(name + ".key"), "-out", dir.File(name + ".csr"), "-subj", "/CN=" + name}) ||
            !Run({"openssl", "x509", "-req", "-in", dir.File(name + ".csr"), "-CA", CaFile(), "-CAkey",
                  dir.File("ca.key"), "-CAcreateserial", "-out", dir.File(name + ".pem"), "-days", days, "-extfile",
                  dir.File(name + ".ext")}))
            return false;
    }
    return true;
}

bool TlsParts::StartServer(ChildProcess& server, uint16_t& port, const std::string& name) {
    port = FreePort("127.0.0.1");
    // -www answers a request and needs no input, so a client that leaves after the handshake frees it.
    return Launch(server,
                  {"openssl", "s_server", "-accept", "127.0.0.1:" + std::to_string(port), "-cert",
                   dir.File(name + ".pem"), "-key", dir.File(name + ".key"), "-www", "-quiet"},
                  "s_server-" + name, port);
}

bool TlsParts::Launch(ChildProcess& process, const std::vector<std::string>& argv, const std::string& name,
                      uint16_t port) {
    const std::string log = dir.File(name + ".log");
    if (process.Start(argv, log)) {
        for (const auto end = Clock::now() + 5s; Clock::now() < end && process.Running();)
            if (WaitForListener("127.0.0.1", port, 50ms))
                return true;
    }
    error =
        name + " could not be started on port " + std::to_string(port) + ". Its output:\n" + dir.Read(name + ".log");
    return false;
}
