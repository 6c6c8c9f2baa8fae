// A loopback TCP server for one test: each accepted connection is handed to a script on its own thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace visatest {

class ScriptedServer {
public:
    using Script = std::function<void(int fd)>;
    // Listens on `address`, port chosen by the system.
    explicit ScriptedServer(Script script, const char* address = "127.0.0.1");
    ~ScriptedServer();

    uint16_t port() const { return port_; }
    // "TCPIP0::<address>::<port>::SOCKET"
    std::string resource() const;
    int accepted() const { return accepted_.load(); }
    // Closes the listening socket: later connections are refused.
    void stopListening();

private:
    void acceptLoop();

    Script script_;
    std::string address_;
    int listener_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> accepted_{0};
    std::thread acceptor_;
    std::mutex mutex_;
    std::vector<std::thread> workers_;
    std::set<int> open_;
};

// Helpers for scripts.
bool sendAll(int fd, const std::string& bytes);
// Reads up to and including '\n'; false when the peer closes first.
bool readLine(int fd, std::string& line);
// Reads until the peer closes; returns everything received.
std::string readAll(int fd);
void sleepMs(int ms);

}  // namespace visatest
