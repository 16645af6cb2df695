#include "tests/support/ChildProcess.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <thread>

extern char** environ;

bool ChildProcess::Start(const std::vector<std::string>& argv, const std::string& logPath) {
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const std::string failure = "cannot run " + argv.at(0) + "\n";
    const int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (log < 0)
        return false;
    m_pid = fork();
    if (m_pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        dup2(log, 1);
        dup2(log, 2);
        execvp(args[0], args.data());
        [[maybe_unused]] const ssize_t ignored = write(2, failure.data(), failure.size());
        _exit(127);
    }
    close(log);
    return m_pid > 0;
}

bool ChildProcess::Running() {
    if (m_pid <= 0)
        return false;
    if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
        m_pid = -1;
        return false;
    }
    return true;
}

void ChildProcess::Kill() {
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

void ChildProcess::Stop(std::chrono::milliseconds grace) {
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGTERM);
    const auto end = std::chrono::steady_clock::now() + grace;
    while (waitpid(m_pid, nullptr, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > end) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    m_pid = -1;
}

bool ChildProcess::WaitCatches(int signal, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    const uint64_t bit = uint64_t{1} << (signal - 1);
    while (Running() && std::chrono::steady_clock::now() < end) {
        std::ifstream status("/proc/" + std::to_string(m_pid) + "/status");
        std::string line;
        while (std::getline(status, line))
            if (line.rfind("SigCgt:", 0) == 0 && (std::stoull(line.substr(7), nullptr, 16) & bit) != 0)
                return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

void ChildProcess::Send(int signal) {
    if (m_pid > 0)
        kill(m_pid, signal);
}

std::optional<int> ChildProcess::WaitExit(std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (m_pid > 0 && std::chrono::steady_clock::now() < end) {
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return std::nullopt;
}

bool WaitForListener(const std::string& address, uint16_t port, std::chrono::milliseconds limit) {
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(port);
    inet_pton(AF_INET, address.c_str(), &where.sin_addr);
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&where), sizeof where) == 0;
        close(fd);
        if (connected)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

namespace {

std::vector<std::string> ChangedEnvironment(const std::map<std::string, std::optional<std::string>>& changes) {
    std::vector<std::string> entries;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text(*entry);
        if (!changes.count(text.substr(0, text.find('='))))
            entries.push_back(text);
    }
    for (const auto& [name, value] : changes)
        if (value)
            entries.push_back(name + "=" + *value);
    return entries;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

std::string ReadBack(FILE* file) {
    std::string text;
    std::rewind(file);
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        text.append(buffer, n);
    std::fclose(file);
    return text;
}

} // namespace

ProgramResult RunProgram(const std::vector<std::string>& argv,
                         const std::map<std::string, std::optional<std::string>>& changes) {
    std::vector<std::string> args(argv);
    std::vector<std::string> environment = ChangedEnvironment(changes);
    const std::vector<char*> argPointers = Pointers(args);
    const std::vector<char*> environmentPointers = Pointers(environment);
    FILE* output = std::tmpfile();
    FILE* errors = std::tmpfile();
    ProgramResult result;
    const pid_t pid = output && errors ? fork() : -1;
    if (pid == 0) {
        dup2(fileno(output), 1);
        dup2(fileno(errors), 2);
        execvpe(argPointers[0], argPointers.data(), environmentPointers.data());
        _exit(127);
    }
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        result.m_exitCode = WEXITSTATUS(status);
    if (output)
        result.m_output = ReadBack(output);
    if (errors)
        result.m_errors = ReadBack(errors);
    return result;
}
