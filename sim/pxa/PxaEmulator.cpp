#include "PxaEmulator.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <deque>
#include <list>
#include <mutex>
#include <thread>

#include "Listener.h"
#include "PxaInstrument.h"

namespace sim {

namespace {

constexpr std::size_t kMaxLogEntries = 100000;
// A line this long without an end is not SCPI; it is dropped rather than buffered without bound.
constexpr std::size_t kMaxMessageBytes = 1 << 20;

}  // namespace

struct PxaEmulator::Impl {
    mutable std::mutex mutex;  // the instrument, the log and the counters
    PxaInstrument instrument;
    std::deque<std::string> log;
    int accepted = 0;

    net::Listener listener;  // its stop descriptor wakes every poll here on stop

    struct Connection {
        int fd;
        std::thread thread;
        std::atomic<bool> done{false};
    };
    std::mutex connectionsMutex;
    std::list<Connection> connections;

    void accept(int fd);
    void serve(Connection& c);
    bool sendReply(int fd, const std::string& reply, bool targeted, const PxaFaults& faults);
    bool sendBytes(int fd, const char* data, std::size_t n, int dripDelayUs);
    bool writeAll(int fd, const char* data, std::size_t n);
    bool pause(int fd, int ms);
    void reap(bool all);
};

PxaEmulator::PxaEmulator() : impl_(new Impl) {}

PxaEmulator::~PxaEmulator() {
    stop();
}

bool PxaEmulator::start(const std::string& address, uint16_t port) {
    Impl& d = *impl_;
    return d.listener.start(address, port, [&d](int fd) { d.accept(fd); });
}

void PxaEmulator::stop() {
    Impl& d = *impl_;
    if (!d.listener.listening()) return;
    d.listener.stop();
    d.reap(true);
}

uint16_t PxaEmulator::port() const {
    return impl_->listener.port();
}
std::string PxaEmulator::address() const {
    return impl_->listener.address();
}
std::string PxaEmulator::resource() const {
    return "TCPIP0::" + address() + "::" + std::to_string(port()) + "::SOCKET";
}
std::string PxaEmulator::error() const {
    return impl_->listener.error();
}

void PxaEmulator::setTone(double offsetHz, double levelDbm) {
    std::lock_guard<std::mutex> hold(impl_->mutex);
    impl_->instrument.setTone(offsetHz, levelDbm);
}

void PxaEmulator::setNoiseDbm(double dbm) {
    std::lock_guard<std::mutex> hold(impl_->mutex);
    impl_->instrument.setNoiseDbm(dbm);
}

void PxaEmulator::setSerial(const std::string& serial) {
    std::lock_guard<std::mutex> hold(impl_->mutex);
    impl_->instrument.setSerial(serial);
}

void PxaEmulator::setFaults(const PxaFaults& faults) {
    std::lock_guard<std::mutex> hold(impl_->mutex);
    impl_->instrument.setFaults(faults);
}

PxaFaults PxaEmulator::faults() const {
    std::lock_guard<std::mutex> hold(impl_->mutex);
    return impl_->instrument.faults();
}

void PxaEmulator::clearFaults() {
    setFaults(PxaFaults{});
}

std::vector<std::string> PxaEmulator::log() const {
    std::lock_guard<std::mutex> hold(impl_->mutex);
    return {impl_->log.begin(), impl_->log.end()};
}

void PxaEmulator::clearLog() {
    std::lock_guard<std::mutex> hold(impl_->mutex);
    impl_->log.clear();
}

int PxaEmulator::connectionsAccepted() const {
    std::lock_guard<std::mutex> hold(impl_->mutex);
    return impl_->accepted;
}

PxaSettings PxaEmulator::settings() const {
    std::lock_guard<std::mutex> hold(impl_->mutex);
    return impl_->instrument.settings();
}

void PxaEmulator::Impl::accept(int fd) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    {
        std::lock_guard<std::mutex> hold(mutex);
        ++accepted;
    }
    reap(false);
    std::lock_guard<std::mutex> hold(connectionsMutex);
    connections.emplace_back();
    Connection& c = connections.back();
    c.fd = fd;
    c.thread = std::thread([this, &c] { serve(c); });
}

void PxaEmulator::Impl::reap(bool all) {
    std::lock_guard<std::mutex> hold(connectionsMutex);
    for (auto it = connections.begin(); it != connections.end();) {
        if (!all && !it->done) {
            ++it;
            continue;
        }
        if (all) shutdown(it->fd, SHUT_RDWR);
        it->thread.join();
        close(it->fd);
        it = connections.erase(it);
    }
}

void PxaEmulator::Impl::serve(Connection& c) {
    std::string input;
    std::string reply;  // kept across messages: a capture block is megabytes
    char buffer[64 * 1024];
    while (!listener.stopping()) {
        pollfd fds[2] = {{c.fd, POLLIN, 0}, {listener.stopFd(), POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR) break;
        if (fds[1].revents) break;
        if (!fds[0].revents) continue;
        const ssize_t n = recv(c.fd, buffer, sizeof buffer, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) break;
        if (n < 0) continue;
        input.append(buffer, static_cast<std::size_t>(n));
        bool open = true;
        std::size_t end;
        while (open && (end = input.find('\n')) != std::string::npos) {
            std::string message = input.substr(0, end);
            input.erase(0, end + 1);
            if (!message.empty() && message.back() == '\r') message.pop_back();
            reply.clear();
            bool block;
            PxaFaults faults;
            {
                std::lock_guard<std::mutex> hold(mutex);
                if (log.size() >= kMaxLogEntries) log.pop_front();
                log.push_back(message);
                block = instrument.execute(message, reply);
                faults = instrument.faults();
            }
            if (!reply.empty()) open = sendReply(c.fd, reply, block || faults.everyReply, faults);
        }
        if (!open) break;
        if (input.size() > kMaxMessageBytes) input.clear();
    }
    // The peer sees the close now, not when the connection is reaped.
    shutdown(c.fd, SHUT_RDWR);
    c.done = true;
}

// Sends one reply, with the faults that hit it. False when the connection is to end.
bool PxaEmulator::Impl::sendReply(int fd, const std::string& reply, bool targeted, const PxaFaults& f) {
    std::size_t limit = reply.size();
    bool closeAfter = false;
    if (targeted && f.closeAfterBytes >= 0 && static_cast<std::size_t>(f.closeAfterBytes) < limit) {
        limit = static_cast<std::size_t>(f.closeAfterBytes);
        closeAfter = true;
    }
    if (targeted && f.stallBeforeMs > 0 && !pause(fd, f.stallBeforeMs)) return false;
    std::size_t at = 0;
    if (targeted && f.stallAfterBytes >= 0 && static_cast<std::size_t>(f.stallAfterBytes) < limit) {
        at = static_cast<std::size_t>(f.stallAfterBytes);
        if (!sendBytes(fd, reply.data(), at, f.dripDelayUs) || !pause(fd, f.stallInsideMs)) return false;
    }
    if (!sendBytes(fd, reply.data() + at, limit - at, f.dripDelayUs)) return false;
    return !closeAfter;
}

bool PxaEmulator::Impl::sendBytes(int fd, const char* data, std::size_t n, int dripDelayUs) {
    if (dripDelayUs < 0) return writeAll(fd, data, n);
    for (std::size_t i = 0; i < n; ++i) {
        if (!writeAll(fd, data + i, 1)) return false;
        if (dripDelayUs > 0) std::this_thread::sleep_for(std::chrono::microseconds(dripDelayUs));
        if (listener.stopping()) return false;
    }
    return true;
}

bool PxaEmulator::Impl::writeAll(int fd, const char* data, std::size_t n) {
    while (n > 0) {
        const ssize_t sent = send(fd, data, n, MSG_NOSIGNAL);
        if (sent > 0) {
            data += sent;
            n -= static_cast<std::size_t>(sent);
            continue;
        }
        if (sent < 0 && errno != EAGAIN && errno != EINTR) return false;
        // The peer is not reading; wait for room, or for stop.
        pollfd fds[2] = {{fd, POLLOUT, 0}, {listener.stopFd(), POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR) return false;
        if (fds[1].revents || (fds[0].revents & (POLLERR | POLLHUP))) return false;
    }
    return true;
}

// Waits `ms`; false when the peer hangs up or the emulator stops meanwhile.
bool PxaEmulator::Impl::pause(int fd, int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0) return true;
        pollfd fds[2] = {{fd, POLLRDHUP, 0}, {listener.stopFd(), POLLIN, 0}};
        const int r = poll(fds, 2, static_cast<int>(left.count()));
        if (r < 0 && errno != EINTR) return false;
        if (r > 0 && (fds[1].revents || (fds[0].revents & (POLLRDHUP | POLLHUP | POLLERR)))) return false;
    }
}

}  // namespace sim
