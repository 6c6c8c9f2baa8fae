#include "support/LoopbackServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace support {

void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool LoopbackServer::Peer::send(const std::string& bytes) {
    size_t n = 0;
    while (n < bytes.size()) {
        const ssize_t r = ::send(m_fd, bytes.data() + n, bytes.size() - n, MSG_NOSIGNAL);
        if (r <= 0) return false;
        n += size_t(r);
    }
    return true;
}

bool LoopbackServer::Peer::line(std::string& out) {
    out.clear();
    char c;
    while (::recv(m_fd, &c, 1, 0) == 1) {
        out += c;
        if (c == '\n') return true;
    }
    return false;
}

std::string LoopbackServer::Peer::all() {
    std::string out;
    char buf[65536];
    ssize_t r;
    while ((r = ::recv(m_fd, buf, sizeof buf, 0)) > 0) out.append(buf, size_t(r));
    return out;
}

void LoopbackServer::Peer::hold(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!m_stopping && std::chrono::steady_clock::now() < end) sleepMs(5);
}

LoopbackServer::LoopbackServer(Script script, const std::string& address)
    : m_script(std::move(script)), m_address(address) {
    listen(true, 64);
}

LoopbackServer::LoopbackServer(Kind kind, const std::string& address)
    : m_script([](Peer& p) { p.hold(60000); }), m_address(address) {
    listen(kind == Kind::Silent, kind == Kind::NeverAccept ? 0 : 64);
    if (kind == Kind::Refuse) m_listener.stop();
    if (kind != Kind::NeverAccept) return;
    // Connections nobody accepts fill the shortest queue; later handshakes go unanswered.
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port());
    ::inet_pton(AF_INET, m_address.c_str(), &sa.sin_addr);
    for (int i = 0; i < 2; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        m_fillers.push_back(fd);
        ::connect(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    }
    sleepMs(20);
}

void LoopbackServer::listen(bool accepting, int backlog) {
    sim::net::Listener::Accepted accepted;
    if (accepting) accepted = [this](int fd) { serve(fd); };
    if (!m_listener.start(m_address, 0, accepted, backlog)) throw std::runtime_error(m_listener.error());
}

LoopbackServer::~LoopbackServer() {
    m_stopping = true;
    m_listener.stop();
    std::vector<std::thread> workers;
    {
        // Scripts still blocked on a client that has not gone away yet are woken up.
        std::lock_guard<std::mutex> lock(m_mutex);
        for (int fd : m_open) ::shutdown(fd, SHUT_RDWR);
        workers.swap(m_workers);
    }
    for (std::thread& t : workers) t.join();
    for (int fd : m_fillers) ::close(fd);
}

std::string LoopbackServer::resource() const {
    return "TCPIP0::" + m_address + "::" + std::to_string(port()) + "::SOCKET";
}

void LoopbackServer::serve(int fd) {
    ++m_accepted;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_open.insert(fd);
    m_workers.emplace_back([this, fd] {
        Peer peer(fd, m_stopping);
        m_script(peer);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open.erase(fd);
        ::close(fd);
    });
}

LoopbackServer::Script LoopbackServer::answering(std::function<std::string(const std::string&)> reply) {
    return [reply](Peer& p) {
        std::string line;
        while (p.line(line)) {
            const std::string answer = reply(line);
            if (!answer.empty()) p.send(answer);
        }
    };
}

LoopbackServer::Script LoopbackServer::sending(std::string bytes, int delayMs, int holdMs) {
    return [bytes, delayMs, holdMs](Peer& p) {
        p.hold(delayMs);
        p.send(bytes);
        p.hold(holdMs);
    };
}

}  // namespace support
