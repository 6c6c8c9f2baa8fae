#include "Resolver.h"

#include <arpa/inet.h>
#include <netdb.h>

#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

namespace mivisa {

namespace {

struct Lookup {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool found = false;
    std::vector<Address> addresses;
};

// Lookups that outlived their caller's deadline. They are joined when the library is unloaded so that no
// thread is left running code that is about to be unmapped.
class Stragglers {
public:
    ~Stragglers() {
        std::lock_guard<std::mutex> lock(mutex_);
        for (std::thread& t : threads_) t.join();
    }
    void park(std::thread t) {
        std::lock_guard<std::mutex> lock(mutex_);
        threads_.push_back(std::move(t));
    }

private:
    std::mutex mutex_;
    std::vector<std::thread> threads_;
};

Stragglers& stragglers() {
    static Stragglers s;
    return s;
}

void runLookup(std::shared_ptr<Lookup> lookup, std::string host, uint16_t port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    const std::string service = std::to_string(port);
    std::vector<Address> found;
    if (getaddrinfo(host.c_str(), service.c_str(), &hints, &list) == 0) {
        for (addrinfo* a = list; a != nullptr; a = a->ai_next) {
            if (a->ai_addrlen > sizeof(sockaddr_storage)) continue;
            Address addr;
            std::memcpy(&addr.storage, a->ai_addr, a->ai_addrlen);
            addr.length = a->ai_addrlen;
            found.push_back(addr);
        }
        freeaddrinfo(list);
    }
    std::lock_guard<std::mutex> lock(lookup->mutex);
    lookup->addresses = std::move(found);
    lookup->found = !lookup->addresses.empty();
    lookup->finished = true;
    lookup->done.notify_all();
}

bool numeric(const std::string& host, uint16_t port, Address& out) {
    sockaddr_in v4{};
    if (inet_pton(AF_INET, host.c_str(), &v4.sin_addr) == 1) {
        v4.sin_family = AF_INET;
        v4.sin_port = htons(port);
        std::memcpy(&out.storage, &v4, sizeof v4);
        out.length = sizeof v4;
        return true;
    }
    sockaddr_in6 v6{};
    if (inet_pton(AF_INET6, host.c_str(), &v6.sin6_addr) == 1) {
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(port);
        std::memcpy(&out.storage, &v6, sizeof v6);
        out.length = sizeof v6;
        return true;
    }
    return false;
}

}  // namespace

ViStatus resolveHost(const std::string& host, uint16_t port, const Deadline& deadline,
                     std::vector<Address>& out) {
    Address literal;
    if (numeric(host, port, literal)) {
        out.assign(1, literal);
        return VI_SUCCESS;
    }
    auto lookup = std::make_shared<Lookup>();
    std::thread worker(runLookup, lookup, host, port);
    std::unique_lock<std::mutex> lock(lookup->mutex);
    while (!lookup->finished && !deadline.passed()) {
        const int ms = deadline.pollMs();
        if (ms < 0)
            lookup->done.wait(lock);
        else
            lookup->done.wait_for(lock, std::chrono::milliseconds(ms));
    }
    if (!lookup->finished) {
        lock.unlock();
        stragglers().park(std::move(worker));
        return VI_ERROR_TMO;
    }
    lock.unlock();
    worker.join();
    if (!lookup->found) return VI_ERROR_RSRC_NFOUND;
    out = lookup->addresses;
    return VI_SUCCESS;
}

}  // namespace mivisa
