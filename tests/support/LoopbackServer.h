// One loopback TCP peer that misbehaves as a test asks: it runs a script per accepted connection (answer,
// stall, close mid-reply, stop reading, drip), refuses connections, or never accepts them.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "Listener.h"

namespace support {

class LoopbackServer {
public:
    // One accepted connection, as a script sees it.
    class Peer {
    public:
        Peer(int fd, const std::atomic<bool>& stopping) : m_fd(fd), m_stopping(stopping) {}
        bool send(const std::string& bytes);  // all of it
        bool line(std::string& out);          // up to and including '\n'; false when the client closes first
        std::string all();                    // until the client closes
        // Silent for up to ms, or until the server goes; the connection stays open meanwhile.
        void hold(int ms);

    private:
        int m_fd;
        const std::atomic<bool>& m_stopping;
    };
    using Script = std::function<void(Peer&)>;
    enum class Kind { Silent, Refuse, NeverAccept };

    // Listens on `address`, port chosen by the system; each accepted connection runs `script` on its own
    // thread and is closed when the script returns.
    explicit LoopbackServer(Script script, const std::string& address = "127.0.0.1");
    // Silent: accepts and says nothing for a minute. Refuse: the port was free a moment ago and nobody
    // listens on it now. NeverAccept: the accept queue is full, so handshakes are never answered.
    explicit LoopbackServer(Kind kind, const std::string& address = "127.0.0.1");
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    uint16_t port() const { return m_listener.port(); }
    std::string resource() const;  // "TCPIP0::<address>::<port>::SOCKET"
    int accepted() const { return m_accepted.load(); }

    // Scripts: answers each line with reply(line) (nothing when empty), until the client closes.
    static Script answering(std::function<std::string(const std::string&)> reply);
    // Sends `bytes` after `delayMs`, then stays silent for `holdMs` and closes.
    static Script sending(std::string bytes, int delayMs = 0, int holdMs = 0);

private:
    // Listens; with `accepting`, each connection runs the script.
    void listen(bool accepting, int backlog);
    void serve(int fd);

    Script m_script;
    std::string m_address;
    sim::net::Listener m_listener;
    std::vector<int> m_fillers;
    std::atomic<bool> m_stopping{false};
    std::atomic<int> m_accepted{0};
    std::mutex m_mutex;
    std::vector<std::thread> m_workers;
    std::set<int> m_open;
};

void sleepMs(int ms);

}  // namespace support
