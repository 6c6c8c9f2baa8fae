#include "ScriptedServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace visatest {

ScriptedServer::ScriptedServer(Script script, const char* address)
    : script_(std::move(script)), address_(address) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    ::inet_pton(AF_INET, address, &a.sin_addr);
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listener_, 64) != 0)
        throw std::runtime_error("cannot listen");
    socklen_t len = sizeof a;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    acceptor_ = std::thread(&ScriptedServer::acceptLoop, this);
}

ScriptedServer::~ScriptedServer() {
    stopListening();
    std::vector<std::thread> workers;
    {
        // Scripts still reading from a client that has not gone away yet are woken up.
        std::lock_guard<std::mutex> lock(mutex_);
        for (int fd : open_) ::shutdown(fd, SHUT_RDWR);
        workers.swap(workers_);
    }
    for (std::thread& t : workers) t.join();
}

std::string ScriptedServer::resource() const {
    return "TCPIP0::" + address_ + "::" + std::to_string(port_) + "::SOCKET";
}

void ScriptedServer::stopListening() {
    stopping_ = true;
    if (acceptor_.joinable()) acceptor_.join();
    if (listener_ >= 0) ::close(listener_);
    listener_ = -1;
}

void ScriptedServer::acceptLoop() {
    while (!stopping_) {
        pollfd p{listener_, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0) continue;
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        ++accepted_;
        std::lock_guard<std::mutex> lock(mutex_);
        open_.insert(fd);
        workers_.emplace_back([this, fd] {
            script_(fd);
            std::lock_guard<std::mutex> lock(mutex_);
            open_.erase(fd);
            ::close(fd);
        });
    }
}

bool sendAll(int fd, const std::string& bytes) {
    size_t n = 0;
    while (n < bytes.size()) {
        const ssize_t r = ::send(fd, bytes.data() + n, bytes.size() - n, MSG_NOSIGNAL);
        if (r <= 0) return false;
        n += static_cast<size_t>(r);
    }
    return true;
}

bool readLine(int fd, std::string& line) {
    line.clear();
    char c;
    while (::recv(fd, &c, 1, 0) == 1) {
        line += c;
        if (c == '\n') return true;
    }
    return false;
}

std::string readAll(int fd) {
    std::string all;
    char buf[4096];
    ssize_t r;
    while ((r = ::recv(fd, buf, sizeof buf, 0)) > 0) all.append(buf, static_cast<size_t>(r));
    return all;
}

void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace visatest
