#include "Discovery.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

#include "HostLock.h"
#include "Locks.h"
#include "Socket.h"
#include "base/Cp1251.h"

namespace mivisa {

namespace {

constexpr uint32_t kDefaultProbeMs = 1000;
constexpr uint32_t kMaxProbeMs = 60000;
constexpr size_t kMaxProbeThreads = 32;
// An identification reply is a short line; more than this is not one.
constexpr size_t kMaxIdnBytes = 1024;

struct Identity {
    bool known = false;
    std::string manufacturer, model, serial;
};

// Identities learnt from "*IDN?", for instruments that are busy with a session of ours when asked again.
std::mutex gIdentityMutex;
std::map<std::string, Identity> gIdentities;

void remember(const std::string& key, const Identity& id) {
    std::lock_guard<std::mutex> lock(gIdentityMutex);
    gIdentities[key] = id;
}

Identity recall(const std::string& key) {
    std::lock_guard<std::mutex> lock(gIdentityMutex);
    auto it = gIdentities.find(key);
    return it == gIdentities.end() ? Identity() : it->second;
}

std::string trim(const std::string& s) {
    const size_t first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return std::string();
    return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

// "maker,model,serial,firmware"
Identity parseIdn(const std::string& reply) {
    Identity id;
    std::vector<std::string> f;
    size_t start = 0;
    for (;;) {
        const size_t comma = reply.find(',', start);
        f.push_back(trim(reply.substr(start, comma - start)));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    if (f.size() < 2 || f[0].empty()) return id;
    id.known = true;
    id.manufacturer = f[0];
    id.model = f[1];
    if (f.size() >= 3) id.serial = f[2];
    return id;
}

Identity askIdentity(int fd, const Deadline& deadline) {
    const char query[] = "*IDN?\n";
    size_t sent = 0;
    while (sent < sizeof query - 1) {
        const ssize_t r = ::send(fd, query + sent, sizeof query - 1 - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (r > 0) {
            sent += static_cast<size_t>(r);
        } else if (r < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (waitWritable(fd, deadline) == Wait::Timeout) return Identity();
        } else {
            return Identity();
        }
    }
    std::string reply;
    char buf[256];
    while (reply.find('\n') == std::string::npos && reply.size() < kMaxIdnBytes) {
        const ssize_t r = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        if (r > 0) {
            reply.append(buf, static_cast<size_t>(r));
        } else if (r < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (waitReadable(fd, deadline) == Wait::Timeout) return Identity();
        } else {
            return Identity();
        }
    }
    return parseIdn(reply.substr(0, reply.find('\n')));
}

// Nothing here may outlast the deadline: the connect and the query share it.
bool probe(const ResourceEntry& entry, Identity& id, bool& heldElsewhere) {
    const std::string key = entry.name.key();
    // An instrument a session of ours holds is there; asking it again could disturb that session.
    if (Locks::instance().isOpen(key)) {
        id = recall(key);
        return true;
    }
    // One another process holds is there too, and is left alone when the list says what it is.
    heldElsewhere = HostLock::heldElsewhere(key);
    if (heldElsewhere && !entry.needsIdentity()) return true;
    const Deadline deadline = Deadline::afterMs(probeTimeoutMs());
    ViStatus status;
    const int fd = connectTcp(entry.name.host, entry.name.port, deadline, status);
    if (fd < 0) return false;
    if (entry.needsIdentity()) {
        id = askIdentity(fd, deadline);
        if (id.known) remember(key, id);
    }
    ::close(fd);
    return true;
}

FoundResource describe(const ResourceEntry& e, const Identity& id, bool heldElsewhere) {
    FoundResource r;
    r.name = e.name.canonical();
    r.key = e.name.key();
    r.busy = e.busy || heldElsewhere;
    r.hasManufacturer = e.hasManufacturer || id.known;
    r.manufacturer = e.hasManufacturer ? e.manufacturer : id.manufacturer;
    // A configured model is UTF-8 and is handed out in Windows-1251, as such instruments report it;
    // an identified one is handed out as it came.
    r.hasModel = e.hasModel || id.known;
    r.model = e.hasModel ? trv::cp1251::fromUtf8(e.model) : id.model;
    r.hasSerial = e.hasSerial || id.known;
    r.serial = e.hasSerial ? e.serial : id.serial;
    return r;
}

}  // namespace

uint32_t probeTimeoutMs() {
    if (const char* text = std::getenv("MIVISA_PROBE_TIMEOUT_MS")) {
        char* end = nullptr;
        const unsigned long v = std::strtoul(text, &end, 10);
        if (end != text && *end == '\0' && v > 0)
            return static_cast<uint32_t>(std::min<unsigned long>(v, kMaxProbeMs));
    }
    return kDefaultProbeMs;
}

std::vector<FoundResource> discover(const std::vector<ResourceEntry>& entries, const FindExpr& expr) {
    std::vector<const ResourceEntry*> wanted;
    for (const ResourceEntry& e : entries)
        if (expr.matches(e.name.canonical())) wanted.push_back(&e);

    std::vector<char> reachable(wanted.size(), 0);
    std::vector<char> held(wanted.size(), 0);
    std::vector<Identity> ids(wanted.size());
    std::atomic<size_t> next{0};
    auto worker = [&] {
        for (size_t i; (i = next.fetch_add(1)) < wanted.size();) {
            bool elsewhere = false;
            reachable[i] = probe(*wanted[i], ids[i], elsewhere) ? 1 : 0;
            held[i] = elsewhere ? 1 : 0;
        }
    };
    std::vector<std::thread> pool;
    const size_t threads = std::min(wanted.size(), kMaxProbeThreads);
    try {
        for (size_t t = 0; t < threads; ++t) pool.emplace_back(worker);
    } catch (const std::system_error&) {
        // Fewer workers still get through the whole list, only more slowly.
        if (pool.empty()) throw;
    }
    for (std::thread& t : pool) t.join();

    std::vector<FoundResource> found;
    for (size_t i = 0; i < wanted.size(); ++i)
        if (reachable[i]) found.push_back(describe(*wanted[i], ids[i], held[i] != 0));
    return found;
}

}  // namespace mivisa
