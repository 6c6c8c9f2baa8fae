#include "SkServer.h"

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <list>
#include <mutex>
#include <thread>

#include "Listener.h"
#include "SkFaults.h"
#include "SkInstrument.h"

namespace sim::sk {

namespace {
constexpr std::size_t kLogCapacity = 100000;
constexpr std::size_t kQueueCapacity = 4096;  // requests waiting for their reply, per connection
constexpr std::size_t kFlushBytes = 1 << 20;  // replies are gathered into writes of about this size
constexpr std::size_t kReadChunk = 1 << 16;

// One request waiting for its reply.
struct Item {
    Header head;
    std::vector<uint8_t> body;
    bool badSignature = false;
};

bool sendAll(int fd, const uint8_t* p, std::size_t n) {
    while (n > 0) {
        const ssize_t k = ::send(fd, p, n, MSG_NOSIGNAL);
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) return false;
        p += k;
        n -= std::size_t(k);
    }
    return true;
}
}  // namespace

struct Connection {
    int fd = -1;
    int id = 0;
    std::mutex mutex;
    std::condition_variable cv;
    std::deque<Item> queue;
    bool readerDone = false;
    bool writerDone = false;
    std::atomic<int> running{2};
    std::thread reader;
    std::thread writer;
};

struct Server::Impl {
    mutable std::mutex instrumentMutex;
    Instrument instrument;

    mutable std::mutex logMutex;
    mutable std::condition_variable logCv;
    std::deque<Request> log;
    std::size_t logged = 0;  // ever, so waiters are not fooled by entries dropped from the front
    std::size_t clearedAt = 0;
    std::function<void(const Request&)> observer;

    FaultTable faults;

    std::mutex connMutex;
    std::list<std::unique_ptr<Connection>> connections;
    int accepted = 0;

    net::Listener listener;

    std::mutex sleepMutex;
    std::condition_variable sleepCv;

    explicit Impl(const Settings& s) : instrument(s) {}

    void accept(int fd);
    void reap(bool all);
    void readLoop(Connection& c);
    void writeLoop(Connection& c);
    void record(Connection& c, const Item& item);
    bool sleepFor(int ms);
};

bool Server::Impl::sleepFor(int ms) {
    std::unique_lock<std::mutex> lock(sleepMutex);
    return !sleepCv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return listener.stopping(); });
}

void Server::Impl::record(Connection& c, const Item& item) {
    Request r;
    r.connection = c.id;
    r.command = item.head.command;
    r.status = item.head.status;
    r.bodyLen = item.head.bodyLen;
    r.numParam = item.head.numParam;
    r.lenFrac = item.head.lenFrac;
    r.sequence = item.head.sequence;
    r.badSignature = item.badSignature;
    const bool parameterMessage = r.command == cmd::Set || r.command == cmd::Get;
    if (!item.badSignature && parameterMessage && item.body.size() >= 2) {
        r.parameter = readU16(item.body.data());
        if (r.command == cmd::Set && validFormat(r.lenFrac)) {
            const std::size_t len = r.lenFrac == format::Double ? 8 : r.lenFrac >> 4;
            const std::size_t n = std::min<std::size_t>(r.numParam, (item.body.size() - 2) / len);
            for (std::size_t i = 0; i < n; ++i)
                r.values.push_back(decodeValue(&item.body[2 + i * len], r.lenFrac));
        }
    }
    std::function<void(const Request&)> notify;
    {
        std::lock_guard<std::mutex> lock(logMutex);
        log.push_back(r);
        if (log.size() > kLogCapacity) log.pop_front();
        ++logged;
        notify = observer;
    }
    logCv.notify_all();
    if (notify) notify(r);
}

void Server::Impl::readLoop(Connection& c) {
    std::vector<uint8_t> buf(2 * kReadChunk + kHeaderSize + 65535);
    std::size_t begin = 0, end = 0;
    // Makes at least n unread bytes available; false at end of stream or on failure.
    auto need = [&](std::size_t n) {
        while (end - begin < n) {
            if (buf.size() - begin < n + kReadChunk) {
                std::memmove(buf.data(), buf.data() + begin, end - begin);
                end -= begin;
                begin = 0;
            }
            const ssize_t k = ::recv(c.fd, buf.data() + end, buf.size() - end, 0);
            if (k < 0 && errno == EINTR) continue;
            if (k <= 0) return false;
            end += std::size_t(k);
        }
        return true;
    };
    while (!listener.stopping() && need(kHeaderSize)) {
        Item item;
        item.head = readHeader(buf.data() + begin);
        item.badSignature = item.head.signature != kSignature;
        // Without a signature the stream has lost step and nothing after it can be framed.
        if (!item.badSignature) {
            if (!need(kHeaderSize + item.head.bodyLen)) break;
            item.body.assign(buf.begin() + begin + kHeaderSize,
                             buf.begin() + begin + kHeaderSize + item.head.bodyLen);
        }
        begin += kHeaderSize + item.body.size();
        record(c, item);
        const bool last = item.badSignature;
        {
            std::unique_lock<std::mutex> lock(c.mutex);
            c.cv.wait(lock,
                      [&] { return c.queue.size() < kQueueCapacity || c.writerDone || listener.stopping(); });
            if (!c.writerDone) c.queue.push_back(std::move(item));
        }
        c.cv.notify_all();
        if (last) break;
    }
    {
        std::lock_guard<std::mutex> lock(c.mutex);
        c.readerDone = true;
    }
    c.cv.notify_all();
    --c.running;
}

void Server::Impl::writeLoop(Connection& c) {
    std::vector<uint8_t> out;
    out.reserve(kFlushBytes + kHeaderSize + 65536);
    std::deque<Item> batch;
    bool stalled = false, alive = true;
    while (alive) {
        {
            std::unique_lock<std::mutex> lock(c.mutex);
            c.cv.wait(lock, [&] { return !c.queue.empty() || c.readerDone || listener.stopping(); });
            if (listener.stopping() || (c.queue.empty() && c.readerDone)) break;
            batch.swap(c.queue);
        }
        c.cv.notify_all();
        for (const Item& item : batch) {
            if (listener.stopping()) {
                alive = false;
                break;
            }
            const bool parameterMessage = item.head.command == cmd::Set || item.head.command == cmd::Get;
            const int pid = parameterMessage && item.body.size() >= 2 ? readU16(item.body.data()) : -1;
            const Spoils s = item.badSignature ? Spoils{} : faults.take(item.head.command, pid);
            if (s.stop) stalled = true;
            if (stalled) continue;
            const std::size_t start = out.size();
            if (item.badSignature) {
                Header h;
                h.command = item.head.command;
                h.status = status::SignatureError;
                h.sequence = item.head.sequence;
                out.resize(start + kHeaderSize);
                writeHeader(h, out.data() + start);
            } else {
                std::lock_guard<std::mutex> lock(instrumentMutex);
                instrument.reply(item.head, item.body.data(), out, s.emptyData);
            }
            if (s.any) spoil(out, start, s);
            const bool special = s.delayMs > 0 || s.drip || s.cutShortKeep >= 0 || item.badSignature;
            if (!special) {
                if (out.size() >= kFlushBytes) {
                    alive = sendAll(c.fd, out.data(), out.size());
                    out.clear();
                }
                if (!alive) break;
                continue;
            }
            // Whatever came before this reply goes out first, untouched.
            alive = sendAll(c.fd, out.data(), start);
            if (alive && s.delayMs > 0) alive = sleepFor(s.delayMs);
            const uint8_t* reply = out.data() + start;
            std::size_t size = out.size() - start;
            if (s.cutShortKeep >= 0) {
                const std::size_t body = size - kHeaderSize;
                size = body == 0 ? kHeaderSize / 2
                                 : kHeaderSize + (s.cutShortKeep > 0
                                                      ? std::min<std::size_t>(s.cutShortKeep, body - 1)
                                                      : body / 2);
            }
            if (alive && s.drip) {
                for (std::size_t i = 0; alive && i < size; ++i) {
                    alive = sendAll(c.fd, reply + i, 1);
                    if (alive && s.dripMs > 0 && i + 1 < size) alive = sleepFor(s.dripMs);
                }
            } else if (alive) {
                alive = sendAll(c.fd, reply, size);
            }
            out.clear();
            if (s.cutShortKeep >= 0 || item.badSignature) alive = false;
            if (!alive) break;
        }
        batch.clear();
        if (alive && !out.empty()) alive = sendAll(c.fd, out.data(), out.size());
        out.clear();
    }
    // Closing our side tells the client; it also wakes the reader if it still waits for requests.
    ::shutdown(c.fd, SHUT_RDWR);
    {
        std::lock_guard<std::mutex> lock(c.mutex);
        c.writerDone = true;
    }
    c.cv.notify_all();
    --c.running;
}

void Server::Impl::reap(bool all) {
    std::lock_guard<std::mutex> lock(connMutex);
    for (auto it = connections.begin(); it != connections.end();) {
        Connection& c = **it;
        if (!all && c.running > 0) {
            ++it;
            continue;
        }
        if (all) {
            ::shutdown(c.fd, SHUT_RDWR);
            // Taking the lock orders the stop flag before any wait that is about to begin.
            { std::lock_guard<std::mutex> connLock(c.mutex); }
            c.cv.notify_all();
        }
        c.reader.join();
        c.writer.join();
        ::close(c.fd);
        it = connections.erase(it);
    }
}

void Server::Impl::accept(int fd) {
    // Connections that have finished are cleared up as new ones come, and all of them on stop.
    reap(false);
    auto c = std::make_unique<Connection>();
    c->fd = fd;
    Connection& ref = *c;
    std::lock_guard<std::mutex> lock(connMutex);
    c->id = ++accepted;
    c->reader = std::thread([this, &ref] { readLoop(ref); });
    c->writer = std::thread([this, &ref] { writeLoop(ref); });
    connections.push_back(std::move(c));
}

Server::Server(Settings settings) : impl_(std::make_unique<Impl>(settings)) {}

Server::~Server() {
    stop();
}

bool Server::start(const std::string& address, uint16_t port) {
    Impl& d = *impl_;
    return d.listener.start(address, port, [&d](int fd) { d.accept(fd); });
}

void Server::stop() {
    Impl& d = *impl_;
    if (!d.listener.listening()) return;
    d.listener.stop();
    // Taking the lock orders the stop flag before any sleep that is about to begin.
    { std::lock_guard<std::mutex> lock(d.sleepMutex); }
    d.sleepCv.notify_all();
    d.reap(true);
}

uint16_t Server::port() const {
    return impl_->listener.port();
}

std::string Server::error() const {
    return impl_->listener.error();
}

void Server::setSettings(const Settings& settings) {
    std::lock_guard<std::mutex> lock(impl_->instrumentMutex);
    impl_->instrument.configure(settings);
}

Settings Server::settings() const {
    std::lock_guard<std::mutex> lock(impl_->instrumentMutex);
    return impl_->instrument.settings();
}

void Server::setTones(std::vector<Tone> tones) {
    std::lock_guard<std::mutex> lock(impl_->instrumentMutex);
    Settings s = impl_->instrument.settings();
    s.tones = std::move(tones);
    impl_->instrument.configure(s);
}

void Server::setNoiseDbm(double dbm) {
    std::lock_guard<std::mutex> lock(impl_->instrumentMutex);
    Settings s = impl_->instrument.settings();
    s.noiseDbm = dbm;
    impl_->instrument.configure(s);
}

InstrumentState Server::state() const {
    std::lock_guard<std::mutex> lock(impl_->instrumentMutex);
    return impl_->instrument.state();
}

double Server::responseDb(double frequencyHz) const {
    std::lock_guard<std::mutex> lock(impl_->instrumentMutex);
    return impl_->instrument.responseDb(frequencyHz);
}

void Server::injectFault(const Fault& fault) {
    impl_->faults.add(fault);
}

void Server::clearFaults() {
    impl_->faults.clear();
}

std::vector<Request> Server::requests() const {
    std::lock_guard<std::mutex> lock(impl_->logMutex);
    return {impl_->log.begin(), impl_->log.end()};
}

void Server::clearRequests() {
    std::lock_guard<std::mutex> lock(impl_->logMutex);
    impl_->log.clear();
    impl_->clearedAt = impl_->logged;
}

bool Server::waitForRequests(std::size_t n, int timeoutMs) const {
    Impl& d = *impl_;
    std::unique_lock<std::mutex> lock(d.logMutex);
    return d.logCv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                            [&] { return d.logged - d.clearedAt >= n; });
}

void Server::setRequestObserver(std::function<void(const Request&)> observer) {
    std::lock_guard<std::mutex> lock(impl_->logMutex);
    impl_->observer = std::move(observer);
}

int Server::connectionsAccepted() const {
    std::lock_guard<std::mutex> lock(impl_->connMutex);
    return impl_->accepted;
}

}  // namespace sim::sk
