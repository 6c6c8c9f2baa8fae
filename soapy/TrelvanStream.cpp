// The receive stream and the device's clock.
#include "TrelvanDevice.h"

#include <trelvan/Trelvan.h>

#include <SoapySDR/Formats.hpp>
#include <SoapySDR/Logger.hpp>
#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace trelvan_soapy {

namespace {

// Blocks waiting for the application, at most; fewer when blocks are large.
constexpr std::size_t kQueueBytes = std::size_t(64) << 20;
constexpr std::size_t kMaxQueuedBlocks = 16;

long long steadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

std::vector<std::string> TrelvanDevice::getStreamFormats(const int direction, const size_t channel) const {
    if (direction != SOAPY_SDR_RX || channel != 0) return {};
    return {SOAPY_SDR_CF32, SOAPY_SDR_CF64, SOAPY_SDR_CS16};
}

std::string TrelvanDevice::getNativeStreamFormat(const int direction, const size_t channel,
                                                 double& fullScale) const {
    if (direction != SOAPY_SDR_RX || channel != 0)
        return SoapySDR::Device::getNativeStreamFormat(direction, channel, fullScale);
    // Float samples are scaled to the instrument's full scale.
    fullScale = 1.0;
    return SOAPY_SDR_CF64;
}

SoapySDR::Stream* TrelvanDevice::setupStream(const int direction, const std::string& format,
                                             const std::vector<size_t>& channels, const SoapySDR::Kwargs&) {
    if (direction != SOAPY_SDR_RX) throw std::invalid_argument("trelvan: the instruments only receive");
    if (channels.size() > 1 || (channels.size() == 1 && channels[0] != 0))
        throw std::invalid_argument("trelvan: only channel 0 exists");
    SampleFormat f;
    if (format == SOAPY_SDR_CF32)
        f = SampleFormat::CF32;
    else if (format == SOAPY_SDR_CF64)
        f = SampleFormat::CF64;
    else if (format == SOAPY_SDR_CS16)
        f = SampleFormat::CS16;
    else
        throw std::invalid_argument("trelvan: stream format " + format + " not offered (CF32, CF64, CS16)");
    std::lock_guard<std::mutex> lock(state_);
    if (stream_) throw std::runtime_error("trelvan: the receive stream is already set up");
    const std::size_t blockBytes = static_cast<std::size_t>(std::max(applied_.points, 1)) * sizeof(IQ_Elem);
    const std::size_t maxBlocks =
        std::max<std::size_t>(2, std::min(kMaxQueuedBlocks, kQueueBytes / blockBytes));
    // The reader thread keeps its own note of a failing instrument, so a run of empty acquisitions is
    // logged once.
    auto source = [this, failing = false](Block& b) mutable { return fetch(b, failing); };
    stream_.reset(new RxStream(source, maxBlocks, f));
    return reinterpret_cast<SoapySDR::Stream*>(stream_.get());
}

bool TrelvanDevice::isStream(SoapySDR::Stream* stream) const {
    return stream_ && stream == reinterpret_cast<SoapySDR::Stream*>(stream_.get());
}

void TrelvanDevice::closeStream(SoapySDR::Stream* stream) {
    std::unique_ptr<RxStream> closing;
    {
        std::lock_guard<std::mutex> lock(state_);
        if (!isStream(stream)) return;
        closing = std::move(stream_);
    }
    // Outside the lock: the reader thread needs it to finish its acquisition.
    closing.reset();
}

size_t TrelvanDevice::getStreamMTU(SoapySDR::Stream*) const {
    return static_cast<size_t>(std::max(applied().points, 1));
}

int TrelvanDevice::activateStream(SoapySDR::Stream* stream, const int flags, const long long, const size_t) {
    if (!isStream(stream)) return SOAPY_SDR_STREAM_ERROR;
    // Acquisitions start when asked; there is neither a timed start nor a burst of fixed length.
    if (flags & (SOAPY_SDR_HAS_TIME | SOAPY_SDR_END_BURST)) return SOAPY_SDR_NOT_SUPPORTED;
    stream_->blocks.start();
    return 0;
}

int TrelvanDevice::deactivateStream(SoapySDR::Stream* stream, const int, const long long) {
    if (!isStream(stream)) return SOAPY_SDR_STREAM_ERROR;
    stream_->blocks.stop();
    return 0;
}

int TrelvanDevice::readStream(SoapySDR::Stream* stream, void* const* buffs, const size_t numElems, int& flags,
                              long long& timeNs, const long timeoutUs) {
    flags = 0;
    if (!isStream(stream)) return SOAPY_SDR_STREAM_ERROR;
    const ReadResult r = stream_->blocks.read(stream_->format, buffs[0], numElems, timeoutUs);
    switch (r.kind) {
        case ReadResult::Timeout:
            return SOAPY_SDR_TIMEOUT;
        case ReadResult::Overflow:
            return SOAPY_SDR_OVERFLOW;
        case ReadResult::Samples:
            break;
    }
    timeNs = r.timeNs;
    flags = SOAPY_SDR_HAS_TIME | (r.moreInBlock ? SOAPY_SDR_MORE_FRAGMENTS : 0);
    return static_cast<int>(r.count);
}

// On the reader thread.
bool TrelvanDevice::fetch(Block& block, bool& failing) {
    bool ok;
    int status = 0;
    {
        std::lock_guard<std::mutex> lock(io_);
        const Applied a = applied();
        block.timeNs = getHardwareTime("");
        block.rate = a.rate;
        block.fullScale = a.facts.fullScale > 0 ? a.facts.fullScale : 1.0;
        block.settings = a.settings;
        lib_->getData(&block.samples);
        ok = !block.samples.isEmpty();
        if (!ok) status = lib_->getStatus();
    }
    if (!ok && !failing)
        SoapySDR::logf(SOAPY_SDR_WARNING, "trelvan: the instrument delivered no samples (status %d)", status);
    failing = !ok;
    return ok;
}

bool TrelvanDevice::hasHardwareTime(const std::string& what) const {
    return what.empty();
}

// No instrument reports when it sampled, so the clock is this host's, stamped on each block when the
// acquisition was asked for.
long long TrelvanDevice::getHardwareTime(const std::string&) const {
    return steadyNs() + timeOffsetNs_.load();
}

void TrelvanDevice::setHardwareTime(const long long timeNs, const std::string&) {
    timeOffsetNs_.store(timeNs - steadyNs());
}

}  // namespace trelvan_soapy
