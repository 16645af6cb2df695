#include "tests/support/RealProxyParts.h"

#include <sys/stat.h>

#include <filesystem>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

RealProxyParts::RealProxyParts(const std::string& orv) {
    pagePort = pages.AddPage(PageDelay, PageMarker);
    pages.Start();
    if (StartJudge() && (orv.empty() || StartOrvJudge(orv)))
        StartProxy(level1, "127.0.0.5", "DisableViaHeader Yes\n") && StartProxy(level2, "127.0.0.1", "") &&
            StartProxy(level3, "127.0.0.1", "XTinyproxy Yes\n");
}

bool RealProxyParts::StartJudge() {
    std::filesystem::create_directory(dir.File("www"));
    dir.Write("www/azenv.sh", "#!/bin/sh\nprintf 'Content-Type: text/plain\\r\\n\\r\\n'\nenv\n");
    chmod(dir.File("www/azenv.sh").c_str(), 0755);
    judgePort = FreePort("127.0.0.3");
    dir.Write("lighttpd.conf", "server.document-root = \"" + dir.File("www") + "\"\n" +
                                   "server.bind = \"127.0.0.3\"\n" + "server.port = " + std::to_string(judgePort) +
                                   "\n" + "server.modules = (\"mod_cgi\")\n" +
                                   "cgi.assign = (\".sh\" => \"/bin/sh\")\n" + "server.errorlog = \"" +
                                   dir.File("lighttpd-error.log") + "\"\n");
    return Launch(lighttpd, {"lighttpd", "-D", "-f", dir.File("lighttpd.conf")}, "lighttpd", "127.0.0.3", judgePort);
}

bool RealProxyParts::StartSocks() {
    dantePort = FreePort("127.0.0.1");
    // Two addresses, so that one list can hold the same server as two proxies.
    const std::string port = std::to_string(dantePort);
    dir.Write("danted.conf",
              "logoutput: " + dir.File("danted-run.log") + "\ninternal: 127.0.0.1 port = " + port +
                  "\ninternal: 127.0.0.2 port = " + port +
                  "\nexternal: 127.0.0.5\nsocksmethod: none\nclientmethod: none\n"
                  "user.privileged: root\nuser.unprivileged: nobody\n"
                  "client pass {\n from: 127.0.0.0/8 to: 0.0.0.0/0\n}\n"
                  "socks pass {\n from: 127.0.0.0/8 to: 0.0.0.0/0\n protocol: tcp\n command: connect\n}\n");
    if (!Launch(dante, {"danted", "-f", dir.File("danted.conf"), "-N", "1", "-p", dir.File("danted.pid")}, "danted",
                "127.0.0.1", dantePort))
        return false;
    microsocksPort = FreePort("127.0.0.1");
    if (!Launch(microsocks,
                {"microsocks", "-i", "127.0.0.1", "-p", std::to_string(microsocksPort), "-b", "127.0.0.5", "-u",
                 SocksUser, "-P", SocksPassword},
                "microsocks", "127.0.0.1", microsocksPort))
        return false;
    return StartProxy(basicAuth, "127.0.0.1",
                      "DisableViaHeader Yes\nBasicAuth " + std::string(SocksUser) + " " + SocksPassword + "\n");
}

bool RealProxyParts::StartOrvJudge(const std::string& orv) {
    orvJudgePort = FreePort("127.0.0.3");
    const std::string where = "127.0.0.3:" + std::to_string(orvJudgePort);
    return Launch(orvJudge, {orv, "--judge-server", where}, "orv-judge", "127.0.0.3", orvJudgePort);
}

bool RealProxyParts::StartProxy(Tinyproxy& proxy, const std::string& listen, const std::string& extra) {
    proxy.listen = listen;
    proxy.port = FreePort(listen);
    const std::string name = "tinyproxy-" + std::to_string(proxy.port);
    dir.Write(name + ".conf", "Port " + std::to_string(proxy.port) + "\nListen " + listen +
                                  "\nBind 127.0.0.5\nAllow 127.0.0.0/8\nTimeout 10\nMaxClients 20\n"
                                  "LogLevel Warning\n" +
                                  extra);
    return Launch(proxy.process, {"tinyproxy", "-d", "-c", dir.File(name + ".conf")}, name, listen, proxy.port);
}

bool RealProxyParts::Launch(ChildProcess& process, const std::vector<std::string>& argv, const std::string& name,
                            const std::string& address, uint16_t port) {
    const std::string log = dir.File(name + ".log");
    if (process.Start(argv, log)) {
        for (const auto end = Clock::now() + 5s; Clock::now() < end && process.Running();)
            if (WaitForListener(address, port, 50ms))
                return true;
    }
    error = name + " could not be started on " + address + ":" + std::to_string(port) +
            " (is it installed? "
            "scripts/install-deps.sh installs it). Its output:\n" +
            dir.Read(name + ".log");
    return false;
}
