// A bare TCP client for talking to an emulator the way any socket program would.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <string>

class RawClient {
public:
    // Every receive gives up after `timeoutMs`, so a test can never hang on a silent peer.
    RawClient(const std::string& address, uint16_t port, int timeoutMs = 5000) {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(port);
        inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
    }
    ~RawClient() { ::close(fd_); }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool connected() const { return connected_; }
    void send(const std::string& text) { ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL); }
    // Up to and including the line end; what arrived when the peer closed or went quiet otherwise.
    std::string line() {
        std::string out;
        char c;
        while (::recv(fd_, &c, 1, 0) == 1) {
            out.push_back(c);
            if (c == '\n') break;
        }
        return out;
    }
    std::string bytes(std::size_t n) {
        std::string out(n, '\0');
        std::size_t got = 0;
        while (got < n) {
            const ssize_t r = ::recv(fd_, &out[got], n - got, 0);
            if (r <= 0) break;
            got += static_cast<std::size_t>(r);
        }
        out.resize(got);
        return out;
    }
    std::string ask(const std::string& query) {
        send(query + "\n");
        return line();
    }
    // True when the peer has closed: a receive returns end of stream.
    bool closedByPeer() {
        char c;
        return ::recv(fd_, &c, 1, 0) == 0;
    }

private:
    int fd_ = -1;
    bool connected_ = false;
};
