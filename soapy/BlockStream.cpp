#include "BlockStream.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>

namespace trelvan_soapy {

namespace {
// After an empty acquisition the reader waits this long before the next, so a failing instrument is
// not hammered.
constexpr std::chrono::milliseconds kRetryPause(20);

int16_t toShort(double v, double scale) {
    const double s = std::nearbyint(v * scale);
    return static_cast<int16_t>(std::max(-32768.0, std::min(32767.0, s)));
}
}  // namespace

void convertSamples(const IQ_Elem* in, std::size_t n, SampleFormat format, double fullScale, void* out) {
    const double unit = fullScale > 0 ? 1.0 / fullScale : 0.0;
    switch (format) {
        case SampleFormat::CF64: {
            double* d = static_cast<double*>(out);
            for (std::size_t i = 0; i < n; ++i) {
                d[2 * i] = in[i].I * unit;
                d[2 * i + 1] = in[i].Q * unit;
            }
            break;
        }
        case SampleFormat::CF32: {
            float* f = static_cast<float*>(out);
            for (std::size_t i = 0; i < n; ++i) {
                f[2 * i] = static_cast<float>(in[i].I * unit);
                f[2 * i + 1] = static_cast<float>(in[i].Q * unit);
            }
            break;
        }
        case SampleFormat::CS16: {
            const double scale = fullScale > 0 ? 32767.0 / fullScale : 0.0;
            int16_t* s = static_cast<int16_t*>(out);
            for (std::size_t i = 0; i < n; ++i) {
                s[2 * i] = toShort(in[i].I, scale);
                s[2 * i + 1] = toShort(in[i].Q, scale);
            }
            break;
        }
    }
}

BlockStream::BlockStream(Source source, std::size_t maxBlocks)
    : source_(std::move(source)), maxBlocks_(std::max<std::size_t>(1, maxBlocks)) {}

BlockStream::~BlockStream() {
    stop();
}

void BlockStream::start() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (thread_.joinable()) return;
    stopping_ = false;
    lost_ = false;
    thread_ = std::thread(&BlockStream::run, this);
}

void BlockStream::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    while (!queue_.empty()) {
        recycle(std::move(queue_.front().samples));
        queue_.pop_front();
    }
    if (haveCurrent_) recycle(std::move(current_.samples));
    haveCurrent_ = false;
    lost_ = false;
}

// Emptied blocks are kept for their storage (a fresh one costs the reader thread its pages), as many as
// keep the queue and the spares within one block more than the queue's bound.
void BlockStream::recycle(QVector<IQ_Elem>&& samples) {
    if (queue_.size() + spare_.size() <= maxBlocks_) spare_.push_back(std::move(samples));
}

void BlockStream::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        Block block;
        if (!spare_.empty()) {
            block.samples = std::move(spare_.back());
            spare_.pop_back();
        }
        lock.unlock();
        const bool ok = source_(block) && !block.samples.isEmpty();
        lock.lock();
        if (stopping_) break;
        if (ok && block.settings < oldestWanted_) {
            recycle(std::move(block.samples));
            continue;
        }
        if (!ok) {
            recycle(std::move(block.samples));
            changed_.wait_for(lock, kRetryPause, [this] { return stopping_; });
            continue;
        }
        while (queue_.size() >= maxBlocks_) {
            recycle(std::move(queue_.front().samples));
            queue_.pop_front();
            lost_ = true;
        }
        queue_.push_back(std::move(block));
        changed_.notify_all();
    }
}

void BlockStream::discardBefore(unsigned long long settings) {
    std::lock_guard<std::mutex> lock(mutex_);
    oldestWanted_ = settings;
    for (auto it = queue_.begin(); it != queue_.end();) {
        if (it->settings < settings) {
            recycle(std::move(it->samples));
            it = queue_.erase(it);
        } else {
            ++it;
        }
    }
}

ReadResult BlockStream::read(SampleFormat format, void* out, std::size_t maxSamples, long timeoutUs) {
    ReadResult result;
    if (!haveCurrent_) {
        std::unique_lock<std::mutex> lock(mutex_);
        const auto timeout = std::chrono::microseconds(std::max(0L, timeoutUs));
        if (!changed_.wait_for(lock, timeout, [this] { return !queue_.empty(); })) return result;
        // Blocks went missing before the one now at the front: say so before handing it out.
        if (lost_) {
            lost_ = false;
            result.kind = ReadResult::Overflow;
            return result;
        }
        current_ = std::move(queue_.front());
        queue_.pop_front();
        offset_ = 0;
        haveCurrent_ = true;
    }
    const std::size_t size = static_cast<std::size_t>(current_.samples.size());
    const std::size_t n = std::min(maxSamples, size - offset_);
    convertSamples(current_.samples.constData() + offset_, n, format, current_.fullScale, out);
    result.kind = ReadResult::Samples;
    result.count = n;
    result.timeNs =
        current_.timeNs +
        (current_.rate > 0 ? std::llround(static_cast<double>(offset_) * 1e9 / current_.rate) : 0);
    offset_ += n;
    result.moreInBlock = offset_ < size;
    if (!result.moreInBlock) {
        haveCurrent_ = false;
        std::lock_guard<std::mutex> lock(mutex_);
        recycle(std::move(current_.samples));
    }
    return result;
}

}  // namespace trelvan_soapy
