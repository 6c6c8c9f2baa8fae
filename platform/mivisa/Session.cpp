#include "Session.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "Socket.h"

namespace mivisa {

namespace {
// Bytes dropped by a clear at most, so a peer that never stops sending cannot hold it forever.
constexpr size_t kMaxClearBytes = 64 << 20;
}  // namespace

Session::Session(ViSession h, ResourceName n, int fd, std::shared_ptr<ResourceState> s)
    : Object(kKind),
      handle(h),
      name(std::move(n)),
      state(std::move(s)),
      fd_(fd),
      buffer_(new ViByte[kBufferSize]) {}

Session::~Session() {
    close();
    ::close(fd_);
}

void Session::close() {
    if (closed_.exchange(true)) return;
    // Wakes a read or write still waiting in another thread; the descriptor itself is released only
    // when the last user lets go of the session.
    ::shutdown(fd_, SHUT_RDWR);
    Locks::instance().release(state, handle);
}

ViStatus Session::checkAccess() {
    return Locks::instance().mayAccess(*state, handle) ? VI_SUCCESS : VI_ERROR_RSRC_LOCKED;
}

Session::Fill Session::receive(ViByte* dst, size_t room, const Deadline& deadline, size_t& n) {
    for (;;) {
        if (peerClosed_) return Fill::Closed;
        const ssize_t r = ::recv(fd_, dst, room, MSG_DONTWAIT);
        if (r > 0) {
            n = static_cast<size_t>(r);
            return Fill::Data;
        }
        if (r == 0) {
            peerClosed_ = true;
            return Fill::Closed;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            peerClosed_ = true;
            return Fill::Closed;
        }
        if (waitReadable(fd_, deadline) == Wait::Timeout) return Fill::Timeout;
    }
}

ViStatus Session::read(ViByte* buf, ViUInt32 count, ViUInt32* got) {
    if (count == 0) {
        if (got != nullptr) *got = 0;
        return VI_SUCCESS;
    }
    // Set when the socket is first needed: a read served from the buffer does not look at the clock.
    Deadline deadline;
    bool timing = false;
    const bool useTerm = termCharEnabled.load();
    const ViByte term = termChar.load();
    ViUInt32 n = 0;
    ViStatus status = VI_SUCCESS;
    for (;;) {
        if (head_ < tail_) {
            size_t take = std::min<size_t>(tail_ - head_, count - n);
            bool sawTerm = false;
            if (useTerm) {
                if (const void* at = std::memchr(buffer_.get() + head_, term, take)) {
                    take = static_cast<size_t>(static_cast<const ViByte*>(at) - (buffer_.get() + head_)) + 1;
                    sawTerm = true;
                }
            }
            std::memcpy(buf + n, buffer_.get() + head_, take);
            head_ += take;
            n += static_cast<ViUInt32>(take);
            if (head_ == tail_) head_ = tail_ = 0;
            if (sawTerm && n < count) {
                status = VI_SUCCESS_TERM_CHAR;
                break;
            }
        }
        if (n == count) break;
        // The buffer is empty here. A large remainder goes straight into the caller's buffer when no
        // term char has to be looked for, saving a copy.
        if (!timing) {
            deadline = Deadline::afterMs(timeoutMs.load());
            timing = true;
        }
        const size_t want = count - n;
        const bool direct = !useTerm && want >= kDirectThreshold;
        size_t r = 0;
        const Fill f =
            direct ? receive(buf + n, want, deadline, r) : receive(buffer_.get(), kBufferSize, deadline, r);
        if (f == Fill::Closed) {
            status = VI_ERROR_CONN_LOST;
            break;
        }
        if (f == Fill::Timeout) {
            status = VI_ERROR_TMO;
            break;
        }
        if (direct)
            n += static_cast<ViUInt32>(r);
        else
            tail_ = r;
    }
    if (got != nullptr) *got = n;
    return status;
}

ViStatus Session::write(const ViByte* buf, size_t count, size_t* sent) {
    const Deadline deadline = Deadline::afterMs(timeoutMs.load());
    size_t n = 0;
    ViStatus status = VI_SUCCESS;
    while (n < count) {
        const ssize_t r = ::send(fd_, buf + n, count - n, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (r > 0) {
            n += static_cast<size_t>(r);
            continue;
        }
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (waitWritable(fd_, deadline) == Wait::Timeout) {
                status = VI_ERROR_TMO;
                break;
            }
            continue;
        }
        status = VI_ERROR_CONN_LOST;
        break;
    }
    if (sent != nullptr) *sent = n;
    return status;
}

ViStatus Session::readLine(std::string& line, size_t keep) {
    const Deadline deadline = Deadline::afterMs(timeoutMs.load());
    line.clear();
    for (;;) {
        if (head_ < tail_) {
            const ViByte* start = buffer_.get() + head_;
            const void* lf = std::memchr(start, '\n', tail_ - head_);
            const size_t take =
                lf ? static_cast<size_t>(static_cast<const ViByte*>(lf) - start) + 1 : tail_ - head_;
            if (line.size() < keep)
                line.append(reinterpret_cast<const char*>(start), std::min(take, keep - line.size()));
            head_ += take;
            if (head_ == tail_) head_ = tail_ = 0;
            if (lf) return VI_SUCCESS;
        }
        size_t r = 0;
        const Fill f = receive(buffer_.get(), kBufferSize, deadline, r);
        if (f == Fill::Closed) return VI_ERROR_CONN_LOST;
        if (f == Fill::Timeout) return VI_ERROR_TMO;
        tail_ = r;
    }
}

void Session::clearInput() {
    discardBuffered();
    size_t dropped = 0;
    while (dropped < kMaxClearBytes) {
        const ssize_t r = ::recv(fd_, buffer_.get(), kBufferSize, MSG_DONTWAIT);
        if (r <= 0) break;
        dropped += static_cast<size_t>(r);
    }
}

void Session::setNoDelay(bool on) {
    noDelay = on;
    setBoolOption(fd_, IPPROTO_TCP, TCP_NODELAY, on);
}

void Session::setKeepAlive(bool on) {
    keepAlive = on;
    mivisa::setKeepAlive(fd_, on);
}

}  // namespace mivisa
