// A bare TCP client, for talking to an emulator or our own servers the way any socket program would.
// Every receive gives up after the timeout, so a test cannot hang on a silent peer.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdint>
#include <string>

namespace support {

class Client {
public:
    Client(const std::string& address, uint16_t port, int timeoutMs = 5000) {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(port);
        ::inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
        ::connect(m_fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    }
    ~Client() { ::close(m_fd); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool send(const std::string& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t r = ::send(m_fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (r <= 0) return false;
            done += size_t(r);
        }
        return true;
    }
    // Exactly n bytes, or what arrived before the peer closed or went quiet.
    std::string bytes(size_t n) {
        std::string out(n, '\0');
        size_t got = 0;
        while (got < n) {
            const ssize_t r = ::recv(m_fd, &out[got], n - got, 0);
            if (r <= 0) break;
            got += size_t(r);
        }
        out.resize(got);
        return out;
    }
    // True when the peer has closed: a receive returns end of stream.
    bool closedByPeer() {
        char c;
        return ::recv(m_fd, &c, 1, 0) == 0;
    }

private:
    int m_fd = -1;
};

}  // namespace support
