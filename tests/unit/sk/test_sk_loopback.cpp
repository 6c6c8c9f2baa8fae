// The transport over our VISA library and a real TCP connection to a scripted peer on loopback.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "SkTestSupport.h"
#include "backends/sk/SK.h"
#include "backends/sk/Vocabulary.h"
#include "visa/DynamicVisa.h"

using namespace sktest;

namespace {

// Accepts one connection on 127.0.0.1 (ephemeral port) and runs a script on it in a thread.
// Every wait is bounded so a failing test cannot hang.
class LoopbackPeer {
public:
    LoopbackPeer() {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(listener_, 1);
        socklen_t len = sizeof addr;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
    }
    ~LoopbackPeer() {
        if (thread_.joinable()) thread_.join();
        ::close(listener_);
    }
    std::string resource() const { return "TCPIP::127.0.0.1::" + std::to_string(port_) + "::SOCKET"; }

    void run(std::function<void(int)> script) {
        thread_ = std::thread([this, script] {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, 5000) != 1) return;
            const int fd = ::accept(listener_, nullptr, nullptr);
            script(fd);
            ::close(fd);
        });
    }

    static Bytes readN(int fd, size_t n) {
        Bytes got;
        char buf[4096];
        while (got.size() < n) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 5000) != 1) break;
            const ssize_t r = ::recv(fd, buf, std::min(sizeof buf, n - got.size()), 0);
            if (r <= 0) break;
            got.append(buf, static_cast<size_t>(r));
        }
        return got;
    }
    static void send(int fd, const Bytes& b) { ::send(fd, b.data(), b.size(), MSG_NOSIGNAL); }
    static void pause() { std::this_thread::sleep_for(std::chrono::milliseconds(30)); }

private:
    int listener_ = -1;
    int port_ = 0;
    std::thread thread_;
};

TEST(SkLoopback, WholeMessagesOverOurVisaLibrary) {
    DynamicVisa visa("MiVISA64");
    ASSERT_EQ(visa.MissingFnCount(), 0) << "libMiVISA64 must be on the library path";

    const Bytes bigBody(65520, '\x5A');
    Bytes firstRequest;
    LoopbackPeer peer;
    peer.run([&](int fd) {
        // A parameter exchange whose reply arrives in three packets.
        firstRequest = LoopbackPeer::readN(fd, 22);
        const Bytes reply = message(MI_SET, 0, 2, 0x40, paramBody(101, {12500000, 1}, 4), 1);
        LoopbackPeer::send(fd, reply.substr(0, 5));
        LoopbackPeer::pause();
        LoopbackPeer::send(fd, reply.substr(5, 11));
        LoopbackPeer::pause();
        LoopbackPeer::send(fd, reply.substr(16));
        // A reply too large for the receive buffer, then one that fills it exactly, then a small one.
        LoopbackPeer::send(fd, message(MI_RUN, 0, 0, 0, Bytes(65530, 'x')));
        LoopbackPeer::send(fd, message(MI_RUN, 0, 0, 0, bigBody));
        LoopbackPeer::send(fd, message(MI_GET, 0, 1, 0x20, paramBody(3, {17}, 2)));
        // Silence until the library says "go"; then half a header and hang up.
        LoopbackPeer::readN(fd, 1);
        LoopbackPeer::send(fd, message(MI_GET, 0, 0, 0, "").substr(0, 8));
    });

    ViSession rm = 0, session = 0;
    ASSERT_EQ(visa.viOpenDefaultRM(&rm), VI_SUCCESS);
    ASSERT_EQ(visa.viOpen(rm, const_cast<char*>(peer.resource().c_str()), VI_EXCLUSIVE_LOCK, 2000, &session),
              VI_SUCCESS);
    ViStatus status = 0;
    SK sk;  // the transport alone, without the start-up exchange of a full session
    sk.visa = &visa;
    sk.status = &status;
    sk.session = &session;
    sk.resourceManager = &rm;

    double values[kSkMaxValues] = {3};
    unsigned short pid = 0;
    ASSERT_EQ(sk.SendParameter(MI_SET, P_SAMPLE_RATE, 1, 0x40, values), VI_SUCCESS);
    ASSERT_EQ(sk.ReceiveParameter(pid, values, nullptr, nullptr), VI_SUCCESS);
    EXPECT_EQ(pid, 101);
    EXPECT_EQ(values[0], 12500000);
    EXPECT_EQ(values[1], 1);

    unsigned char* msg = nullptr;
    unsigned long size = 0;
    EXPECT_EQ(sk.ReceiveData(&msg, &size, 2000), VI_ERROR_RAW_RD_PROT_VIOL);
    ASSERT_EQ(sk.ReceiveData(&msg, &size, 2000), VI_SUCCESS);
    EXPECT_EQ(size, 65536u);
    EXPECT_EQ(Bytes(reinterpret_cast<char*>(msg) + 16, 65520), bigBody);
    ASSERT_EQ(sk.ReceiveParameter(pid, values, nullptr, nullptr), VI_SUCCESS);
    EXPECT_EQ(pid, 3);
    EXPECT_EQ(values[0], 17);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(sk.ReceiveData(&msg, &size, 300), VI_ERROR_TMO);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
    EXPECT_EQ(status, VI_ERROR_TMO);

    unsigned char go = 'g';
    ASSERT_EQ(sk.SendData(&go, 1), VI_SUCCESS);
    EXPECT_EQ(sk.ReceiveData(&msg, &size, 2000), VI_ERROR_CONN_LOST);
    EXPECT_EQ(status, VI_ERROR_CONN_LOST);

    EXPECT_EQ(firstRequest, hex({0xAA, 0x55, 0x03, 0x00, 0x00, 0x80, 0x06, 0x00, 0x01, 0x40, 0x00,
                                 0x00, 0x01, 0x00, 0x00, 0x00, 0x65, 0x00, 0x03, 0x00, 0x00, 0x00}));
}

}  // namespace
