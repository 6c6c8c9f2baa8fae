// An open TCPIP SOCKET session: the socket, its receive buffer and its attributes.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "Locks.h"
#include "Registry.h"
#include "ResourceName.h"

namespace mivisa {

class Session : public Object {
public:
    static constexpr Kind kKind = Kind::Session;
    // Large enough that a stream read in small pieces costs one system call per this many bytes.
    static constexpr size_t kBufferSize = 4 << 20;
    // A request at least this large skips the buffer and is received straight into the caller's.
    static constexpr size_t kDirectThreshold = 256 << 10;
    static constexpr ViUInt32 kDefaultTimeoutMs = 2000;

    Session(ViSession handle, ResourceName name, int fd, std::shared_ptr<ResourceState> state);
    ~Session() override;
    void close() override;

    // Reads end on count (VI_SUCCESS), term char if enabled (VI_SUCCESS_TERM_CHAR), a closed peer
    // (VI_ERROR_CONN_LOST) or the timeout (VI_ERROR_TMO), in that order of precedence.
    ViStatus read(ViByte* buf, ViUInt32 count, ViUInt32* got);
    ViStatus write(const ViByte* buf, size_t count, size_t* sent);
    // One line for formatted reads: a line feed always ends it. At most `keep` bytes are stored; the
    // rest of the line is read and dropped.
    ViStatus readLine(std::string& line, size_t keep);
    // Drops buffered input and whatever the socket already holds.
    void clearInput();
    void discardBuffered() { head_ = tail_ = 0; }
    // VI_ERROR_RSRC_LOCKED while another session holds a lock on the instrument.
    ViStatus checkAccess();

    void setNoDelay(bool on);
    void setKeepAlive(bool on);

    const ViSession handle;
    const ResourceName name;
    std::atomic<ViUInt32> timeoutMs{kDefaultTimeoutMs};
    std::atomic<ViUInt8> termChar{'\n'};
    std::atomic<bool> termCharEnabled{false};
    std::atomic<bool> sendEnd{true};
    std::atomic<bool> suppressEnd{false};
    std::atomic<bool> noDelay{true};
    std::atomic<bool> keepAlive{true};
    const std::shared_ptr<ResourceState> state;

private:
    enum class Fill { Data, Closed, Timeout };
    // Receives into `dst` (at most `room` bytes), waiting until the deadline. Sets `n` on Data.
    Fill receive(ViByte* dst, size_t room, const Deadline& deadline, size_t& n);

    int fd_;
    std::unique_ptr<ViByte[]> buffer_;
    size_t head_ = 0;
    size_t tail_ = 0;
    bool peerClosed_ = false;
    std::atomic<bool> closed_{false};
};

}  // namespace mivisa
