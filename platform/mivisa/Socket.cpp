#include "Socket.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "Resolver.h"

namespace mivisa {

namespace {

Wait waitFor(int fd, short events, const Deadline& deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int r = ::poll(&p, 1, deadline.pollMs());
        if (r > 0) return Wait::Ready;
        if (r < 0 && errno != EINTR) return Wait::Ready;  // let the I/O call report the error
        if (r == 0 && deadline.passed()) return Wait::Timeout;
    }
}

// One attempt; true when connected. `refused` tells a definite "no" from running out of time.
bool tryConnect(const Address& a, const Deadline& deadline, int& fdOut, bool& timedOut) {
    timedOut = false;
    const int fd = ::socket(a.storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    int r = ::connect(fd, reinterpret_cast<const sockaddr*>(&a.storage), a.length);
    if (r != 0 && errno == EINPROGRESS) {
        if (waitWritable(fd, deadline) == Wait::Timeout) {
            timedOut = true;
            ::close(fd);
            return false;
        }
        int err = 0;
        socklen_t len = sizeof err;
        r = (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0) ? 0 : -1;
    }
    if (r != 0) {
        ::close(fd);
        return false;
    }
    fdOut = fd;
    return true;
}

}  // namespace

Wait waitReadable(int fd, const Deadline& deadline) {
    return waitFor(fd, POLLIN, deadline);
}
Wait waitWritable(int fd, const Deadline& deadline) {
    return waitFor(fd, POLLOUT, deadline);
}

void setBoolOption(int fd, int level, int option, bool on) {
    const int v = on ? 1 : 0;
    ::setsockopt(fd, level, option, &v, sizeof v);
}

void setKeepAlive(int fd, bool on) {
    setBoolOption(fd, SOL_SOCKET, SO_KEEPALIVE, on);
    const auto set = [fd](int option, int value) {
        ::setsockopt(fd, IPPROTO_TCP, option, &value, sizeof value);
    };
    if (on) {
        set(TCP_KEEPIDLE, kKeepAliveIdleS);
        set(TCP_KEEPINTVL, kKeepAliveIntervalS);
        set(TCP_KEEPCNT, kKeepAliveProbes);
    }
    // Probes do not run while sent data wait for their acknowledgement, so a peer that vanished right
    // after a request would be found only when the retransmissions give up, many minutes later. Data
    // unacknowledged for as long as the probes take end the connection too; 0 restores the system's own.
    set(TCP_USER_TIMEOUT, on ? static_cast<int>(kDeadPeerMs) : 0);
}

int connectTcp(const std::string& host, uint16_t port, const Deadline& deadline, ViStatus& status) {
    std::vector<Address> addresses;
    status = resolveHost(host, port, deadline, addresses);
    if (status != VI_SUCCESS) return -1;
    bool anyTimeout = false;
    for (const Address& a : addresses) {
        int fd = -1;
        bool timedOut = false;
        if (tryConnect(a, deadline, fd, timedOut)) {
            setBoolOption(fd, IPPROTO_TCP, TCP_NODELAY, true);
            setKeepAlive(fd, true);
            status = VI_SUCCESS;
            return fd;
        }
        anyTimeout = anyTimeout || timedOut;
        if (deadline.passed()) break;
    }
    status = anyTimeout || deadline.passed() ? VI_ERROR_TMO : VI_ERROR_RSRC_NFOUND;
    return -1;
}

}  // namespace mivisa
