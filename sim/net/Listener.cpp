#include "Listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sim::net {

Listener::~Listener() {
    stop();
    if (stop_ >= 0) ::close(stop_);
}

bool Listener::start(const std::string& address, uint16_t port, Accepted accepted, int backlog) {
    if (fd_ >= 0) {
        error_ = "already listening on " + address_ + ":" + std::to_string(port_);
        return false;
    }
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1) {
        error_ = "not an IPv4 address: " + address;
        return false;
    }
    if (stop_ < 0) stop_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    if (fd >= 0) ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    socklen_t len = sizeof sa;
    if (stop_ < 0 || fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
        ::listen(fd, backlog) != 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        error_ = "cannot listen on " + address + ":" + std::to_string(port) + ": " + std::strerror(errno);
        if (fd >= 0) ::close(fd);
        return false;
    }
    // Clears the stop signal of a previous run.
    eventfd_t ignored;
    (void)::eventfd_read(stop_, &ignored);
    stopping_ = false;
    fd_ = fd;
    address_ = address;
    port_ = ntohs(sa.sin_port);
    error_.clear();
    accepted_ = std::move(accepted);
    if (accepted_) acceptor_ = std::thread([this] { acceptLoop(); });
    return true;
}

void Listener::stop() {
    if (fd_ < 0) return;
    stopping_ = true;
    (void)::eventfd_write(stop_, 1);
    if (acceptor_.joinable()) acceptor_.join();
    ::close(fd_);
    fd_ = -1;
}

void Listener::acceptLoop() {
    for (;;) {
        pollfd fds[2] = {{fd_, POLLIN, 0}, {stop_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) return;
        if (fds[1].revents != 0) return;
        if ((fds[0].revents & POLLIN) == 0) continue;
        const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            // Out of descriptors, say: wait a little rather than spin, still ready to stop.
            if (errno != EINTR && errno != ECONNABORTED) ::poll(&fds[1], 1, 10);
            continue;
        }
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        accepted_(fd);
    }
}

}  // namespace sim::net
