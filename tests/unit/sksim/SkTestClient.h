// A deliberately small client for the emulator tests: it builds requests byte by byte and splits replies
// by hand, sharing no code with the emulator's own wire handling.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace sktest {

inline uint16_t u16(const std::vector<uint8_t>& b, std::size_t at) {
    return uint16_t(b[at] | b[at + 1] << 8);
}
inline int16_t s16(const std::vector<uint8_t>& b, std::size_t at) {
    return int16_t(u16(b, at));
}
inline int32_t s32(const std::vector<uint8_t>& b, std::size_t at) {
    return int32_t(uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
                   uint32_t(b[at + 3]) << 24);
}
// A signed little-endian integer of n bytes, divided by 2^(8 frac).
inline double fixed(const std::vector<uint8_t>& b, std::size_t at, int n, int frac) {
    int64_t v = int8_t(b[at + n - 1]);
    for (int i = n - 2; i >= 0; --i) v = v * 256 + b[at + i];
    return double(v) / std::pow(2.0, 8 * frac);
}

struct Reply {
    std::vector<uint8_t> head;  // 16 bytes
    std::vector<uint8_t> body;
    uint16_t signature() const { return u16(head, 0); }
    uint16_t command() const { return u16(head, 2); }
    int16_t status() const { return s16(head, 4); }
    uint16_t bodyLen() const { return u16(head, 6); }
    int numParam() const { return head[8]; }
    int lenFrac() const { return head[9]; }
    uint32_t sequence() const { return uint32_t(s32(head, 12)); }
    int pid() const { return u16(body, 0); }
    // Value i of a parameter reply (or, past NumParam, table point i - NumParam).
    double value(int i) const {
        return fixed(body, 2 + i * (lenFrac() >> 4), lenFrac() >> 4, lenFrac() & 15);
    }
};

class Client {
public:
    explicit Client(uint16_t port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(port);
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
    }
    ~Client() { ::close(fd_); }
    bool connected() const { return connected_; }
    uint32_t lastSequence() const { return seq_; }

    static std::vector<uint8_t> header(uint16_t command, uint16_t bodyLen, uint8_t num, uint8_t lenFrac,
                                       uint32_t seq) {
        return {0xAA,
                0x55,
                uint8_t(command),
                uint8_t(command >> 8),
                0x00,
                0x80,
                uint8_t(bodyLen),
                uint8_t(bodyLen >> 8),
                num,
                lenFrac,
                0,
                0,
                uint8_t(seq),
                uint8_t(seq >> 8),
                uint8_t(seq >> 16),
                uint8_t(seq >> 24)};
    }
    // A set (values given) or get request; integer and fixed-point formats only.
    static std::vector<uint8_t> message(uint16_t command, uint16_t pid, uint8_t lenFrac,
                                        const std::vector<double>& values, uint32_t seq) {
        const int len = lenFrac >> 4, frac = lenFrac & 15;
        auto m = header(command, uint16_t(2 + values.size() * len), uint8_t(values.size()), lenFrac, seq);
        m.push_back(uint8_t(pid));
        m.push_back(uint8_t(pid >> 8));
        for (double v : values) {
            const int64_t n = std::llround(v * std::pow(2.0, 8 * frac));
            for (int i = 0; i < len; ++i) m.push_back(uint8_t(uint64_t(n) >> (8 * i)));
        }
        return m;
    }
    void send(const std::vector<uint8_t>& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t k = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (k <= 0) return;
            done += std::size_t(k);
        }
    }
    void set(uint16_t pid, uint8_t lenFrac, const std::vector<double>& values) {
        send(message(3, pid, lenFrac, values, ++seq_));
    }
    void get(uint16_t pid, uint8_t lenFrac) { send(message(4, pid, lenFrac, {}, ++seq_)); }
    void bare(uint16_t command) { send(header(command, 0, 0, 0, ++seq_)); }

    // Exactly n bytes, or fewer when the stream ends or nothing arrives for timeoutMs.
    std::vector<uint8_t> read(std::size_t n, int timeoutMs = 3000) {
        std::vector<uint8_t> b(n);
        std::size_t got = 0;
        while (got < n) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, timeoutMs) <= 0) break;
            const ssize_t k = ::recv(fd_, b.data() + got, n - got, 0);
            if (k <= 0) break;
            got += std::size_t(k);
        }
        b.resize(got);
        return b;
    }
    // One whole reply; an empty head when it did not come.
    Reply reply(int timeoutMs = 3000) {
        Reply r;
        r.head = read(16, timeoutMs);
        if (r.head.size() < 16) return Reply{};
        r.body = read(r.bodyLen(), timeoutMs);
        return r;
    }
    Reply exchange(uint16_t pid, uint8_t lenFrac, const std::vector<double>& values) {
        values.empty() ? get(pid, lenFrac) : set(pid, lenFrac, values);
        return reply();
    }
    // True when the server closed the connection (orderly or not) within timeoutMs.
    bool closedByPeer(int timeoutMs = 3000) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) return false;
        uint8_t byte;
        return ::recv(fd_, &byte, 1, 0) <= 0;
    }
    bool quietFor(int ms) {
        pollfd p{fd_, POLLIN, 0};
        return ::poll(&p, 1, ms) == 0;
    }
    int fd() const { return fd_; }

private:
    int fd_ = -1;
    bool connected_ = false;
    uint32_t seq_ = 0;
};

}  // namespace sktest
