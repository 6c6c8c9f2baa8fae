// A listening TCP socket on an IPv4 address with a thread that accepts on it: what every emulator and
// the tests' loopback server stand on.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

namespace sim::net {

class Listener {
public:
    // Called on the accepting thread with each accepted connection (blocking, TCP_NODELAY set), which
    // the callee then owns.
    using Accepted = std::function<void(int fd)>;

    Listener() = default;
    ~Listener();  // stops
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    // Listens on address:port (port 0: a free one, which port() then reports) with room for `backlog`
    // connections waiting to be accepted. Without `accepted`, connections are never accepted and wait in
    // that queue. False, with error(), when it cannot listen; a start while listening is refused that
    // way too and leaves the running listener as it was.
    bool start(const std::string& address, uint16_t port, Accepted accepted, int backlog = 16);
    // Stops accepting and closes the socket, then returns; safe to call twice. address() and port() keep
    // naming what it listened on.
    void stop();

    bool listening() const { return fd_ >= 0; }
    const std::string& address() const { return address_; }
    uint16_t port() const { return port_; }
    const std::string& error() const { return error_; }
    // True, and readable, from stop() until the next start, so that connection threads end with it.
    bool stopping() const { return stopping_; }
    int stopFd() const { return stop_; }

private:
    void acceptLoop();

    Accepted accepted_;
    std::string address_;
    uint16_t port_ = 0;
    std::string error_;
    int fd_ = -1;
    int stop_ = -1;
    std::atomic<bool> stopping_{false};
    std::thread acceptor_;
};

}  // namespace sim::net
