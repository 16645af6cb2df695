#pragma once

#include <cstdint>
#include <exception>
#include <string>

class CThread;

// What CThread throws: kind 1 when a thread cannot be created, 2 when it is already running,
// 3 when a loud Kill could not stop it. It carries the system's message; whoever catches it passes
// the text on.
class CThreadException : public std::exception {
public:
    enum Kind : int32_t { CreateFailed = 1, AlreadyStarted = 2, KillFailed = 3 };

    CThreadException(CThread* thread, std::string message, int32_t kind)
        : m_thread(thread), m_message(std::move(message)), m_kind(kind) {}

    const char* what() const noexcept override { return m_message.c_str(); }

    CThread* m_thread;
    std::string m_message;
    int32_t m_kind;
};

// The system's text for an errno value; empty when it has none.
std::string SystemErrorText(int error);
