// The receive stream behind readStream: a reader thread asks the library for one block after another
// and queues them; the application takes them in pieces of whatever size its buffer has.
#pragma once

#include <trelvan/Records.h>

#include <QVector>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace trelvan_soapy {

enum class SampleFormat { CF64, CF32, CS16 };

// One acquisition as the library delivered it.
struct Block {
    QVector<IQ_Elem> samples;
    long long timeNs = 0;             // time of its first sample
    double rate = 0;                  // the rate it was taken at, for the time of a later piece
    double fullScale = 1.0;           // the amplitude that floats map to 1.0 and CS16 to 32767
    unsigned long long settings = 0;  // which settings it was taken with; see discardBefore
};

struct ReadResult {
    enum Kind { Samples, Timeout, Overflow };
    Kind kind = Timeout;
    std::size_t count = 0;
    long long timeNs = 0;
    bool moreInBlock = false;  // the block goes on in the next read
};

class BlockStream {
public:
    // Fills one block on the reader thread; false when the library delivered nothing.
    using Source = std::function<bool(Block&)>;

    // At most `maxBlocks` wait in the queue; when the application falls behind, the oldest waiting
    // blocks go, and the next read reports the loss once.
    BlockStream(Source source, std::size_t maxBlocks);
    ~BlockStream();
    BlockStream(const BlockStream&) = delete;
    BlockStream& operator=(const BlockStream&) = delete;

    void start();
    // Returns once the acquisition in progress has ended; what was queued is discarded.
    void stop();

    // One reader at a time. Waits up to timeoutUs for a block when none is being handed out.
    ReadResult read(SampleFormat format, void* out, std::size_t maxSamples, long timeoutUs);

    // Drops the waiting blocks taken with settings older than `settings`, and those still coming.
    void discardBefore(unsigned long long settings);

private:
    void run();
    void recycle(QVector<IQ_Elem>&& samples);

    const Source source_;
    const std::size_t maxBlocks_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Block> queue_;
    std::vector<QVector<IQ_Elem>> spare_;  // emptied blocks, kept for their capacity
    bool lost_ = false;
    bool stopping_ = true;
    unsigned long long oldestWanted_ = 0;
    std::thread thread_;

    // Owned by the reader of read().
    Block current_;
    std::size_t offset_ = 0;
    bool haveCurrent_ = false;
};

// Copies n samples into `out` in the given format, with fullScale as 1.0 (floats) or 32767 (CS16, clipped).
void convertSamples(const IQ_Elem* in, std::size_t n, SampleFormat format, double fullScale, void* out);

}  // namespace trelvan_soapy
