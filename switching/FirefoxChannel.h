#pragma once

#include "platform/FileDescriptor.h"
#include "platform/OwnedThread.h"
#include "proxy/RelaxedInt32.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <stop_token>
#include <string>

// The program's side of the two loopback ports shared with the Firefox extension: it sends the
// switching state to the extension's port, and listens on its own port for the extension's start
// request, which it answers by sending the last state again. Every failure on either port is silent.
//
// Senders: one thread drains a small FIFO queue instead of a thread per message. Each message
// carries the whole state, so when the extension cannot keep up only the newest ones matter: a full
// queue drops its oldest. Each delivery is bounded by SendLimit, so an extension that never reads or
// never accepts holds at most one connection and one thread, and messages arrive in the order given.
class FirefoxChannel {
public:
    struct Ports {
        uint16_t send = 8182;
        uint16_t listen = 8183;
    };
    // ORV_FIREFOX_PORTS=SEND,LISTEN moves both (so that tests running side by side cannot collide);
    // an unset or empty value gives the defaults, a malformed one too, after one line on stderr.
    static Ports PortsFromEnvironment();
    // Mode, CR LF, address, CR LF, port, CR LF. Address and port are "--" unless the mode is 1, and
    // an empty one is "--" too.
    static std::string ComposeMessage(int mode, const std::string& ip, const std::string& port);

    static constexpr std::chrono::milliseconds SendLimit{2000};
    // How long an accepted connection may stay silent before the listener drops it.
    static constexpr std::chrono::milliseconds ReceiveLimit{2000};
    // Connections the listener holds at once, each served side by side; a newer one drops the oldest.
    static constexpr size_t ConnectionLimit = 64;
    static constexpr size_t QueueLimit = 8;

    // changeFFProxy is the live setting, read at every notification.
    FirefoxChannel(const RelaxedInt32& changeFFProxy, Ports ports);
    ~FirefoxChannel(); // closes the listener, gives up queued messages and ends the sender at once
    FirefoxChannel(const FirefoxChannel&) = delete;
    FirefoxChannel& operator=(const FirefoxChannel&) = delete;

    // The state to send now and on every later start request; an empty ip means no active proxy.
    // Returns at once: the send happens on the sender thread.
    void NotifyFirefox(const std::string& ip, const std::string& port);
    // FirefoxMode = 2 from now on, for good.
    void SetClosing();
    // Waits until every message queued so far was delivered or given up; false on the time limit.
    bool WaitForSenders(std::chrono::milliseconds limit);
    // The listener on 127.0.0.1:listen (port 0 = any free port; ListeningPort() tells which).
    // False when the port cannot be bound, as when a second copy runs: sending still works.
    bool StartListener();
    uint16_t ListeningPort() const;
    void CloseListener(); // ends and joins the listener thread
    int FirefoxMode() const;

private:
    void QueueCurrentState(); // m_lock held
    void StartSender();       // m_lock held
    void RunSender(std::stop_token stop);
    void Deliver(const std::string& message, std::stop_token stop);
    void RunListener(std::stop_token stop);
    bool Serve(const std::string& received);

    const RelaxedInt32& m_changeFFProxy;
    const Ports m_ports;

    std::mutex m_lock;                          // guards everything below up to the listener's fields
    std::condition_variable_any m_queueChanged; // also woken by the sender's stop
    std::condition_variable m_finishedChanged;
    std::string m_ip;
    std::string m_port;
    std::atomic<int> m_mode = 0;
    std::deque<std::string> m_queue;
    uint64_t m_queued = 0;   // messages ever queued
    uint64_t m_finished = 0; // of those, delivered, failed or dropped
    bool m_stopping = false;
    platform::OwnedThread m_sender;

    // Owned by the thread that starts and closes the listener.
    platform::FileDescriptor m_listenSocket;
    platform::FileDescriptor m_listenerWake;
    std::atomic<uint16_t> m_listeningPort = 0;
    platform::OwnedThread m_listener;
};
