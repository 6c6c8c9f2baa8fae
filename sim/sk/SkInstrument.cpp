#include "SkInstrument.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace sim::sk {

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr int kMaxResponsePoints = 2000;  // keeps the table reply far below the 64 KiB message limit
constexpr double kMaxVideoBandwidth = 2e9;
constexpr double kMaxCount = 2147483647.0;  // sample indices and totals travel as 32-bit integers

int valueBytes(uint8_t lenFrac) {
    return lenFrac == format::Double ? 8 : lenFrac >> 4;
}

// Writes interleaved I/Q counts, least significant byte first, rounded to nearest and clipped to the
// 32-bit range (NaN lands on the lower limit). Every sample of every data reply passes through here.
void putSamples(const std::complex<double>* x, int n, double scale, uint8_t* p) {
    const double* d = reinterpret_cast<const double*>(x);
#if defined(__SSE2__)
    // Branch-free: the signs of noisy samples would defeat branch prediction in the scalar version.
    const __m128d k = _mm_set1_pd(scale), lo = _mm_set1_pd(-2147483648.0), hi = _mm_set1_pd(2147483647.0);
    for (int i = 0; i < n; ++i, p += 8) {
        const __m128d v = _mm_min_pd(_mm_max_pd(_mm_mul_pd(_mm_loadu_pd(d + 2 * i), k), lo), hi);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_cvtpd_epi32(v));
    }
#else
    for (int i = 0; i < 2 * n; ++i) {
        const double v = std::min(2147483647.0, std::max(-2147483648.0, d[i] * scale));
        const uint32_t u = uint32_t(int32_t(std::nearbyint(v)));
        for (int b = 0; b < 4; ++b) *p++ = uint8_t(u >> (8 * b));
    }
#endif
}

uint8_t* grow(std::vector<uint8_t>& out, std::size_t n) {
    const std::size_t at = out.size();
    out.resize(at + n);
    return out.data() + at;
}

// A header-only reply, or one whose body is just the parameter ID.
void appendBare(std::vector<uint8_t>& out, const Header& rq, int16_t status, int pid = -1) {
    Header h;
    h.command = rq.command;
    h.status = status;
    h.sequence = rq.sequence;
    h.bodyLen = pid >= 0 ? 2 : 0;
    uint8_t* p = grow(out, kHeaderSize + h.bodyLen);
    writeHeader(h, p);
    if (pid >= 0) writeU16(uint16_t(pid), p + kHeaderSize);
}
}  // namespace

Instrument::Instrument(const Settings& settings) : scratch_(kMaxBlockSamples) {
    configure(settings);
    reset();
}

void Instrument::configure(const Settings& settings) {
    if (!generator_ || settings.seed != settings_.seed)
        generator_ = std::make_unique<SignalGenerator>(settings.seed);
    settings_ = settings;
    Settings& s = settings_;
    if (s.bandwidths.empty()) s.bandwidths = Settings{}.bandwidths;
    std::sort(s.bandwidths.begin(), s.bandwidths.end(),
              [](const Bandwidth& a, const Bandwidth& b) { return a.ifBandwidthHz < b.ifBandwidthHz; });
    if (s.maxFrequencyHz < s.minFrequencyHz) std::swap(s.minFrequencyHz, s.maxFrequencyHz);
    if (s.maxRefLevelDbm < s.minRefLevelDbm) std::swap(s.minRefLevelDbm, s.maxRefLevelDbm);
    s.responsePoints = std::clamp(s.responsePoints, 0, kMaxResponsePoints);
    s.responseSpan = s.responseSpan == s.responseSpan ? std::clamp(s.responseSpan, 0.0, 1.0) : 0.8;
    bandwidth_ = std::min(bandwidth_, s.bandwidths.size() - 1);
    frequency_ = std::clamp(frequency_, s.minFrequencyHz, s.maxFrequencyHz);
    refLevel_ = std::clamp(refLevel_, s.minRefLevelDbm, s.maxRefLevelDbm);
    retune();
}

void Instrument::reset() {
    frequency_ = std::clamp(1e9, settings_.minFrequencyHz, settings_.maxFrequencyHz);
    frequencyExtra_[0] = 1;
    frequencyExtra_[1] = 0;
    bandwidth_ = 0;
    refLevel_ = std::clamp(0.0, settings_.minRefLevelDbm, settings_.maxRefLevelDbm);
    refLevelExtra_[0] = 0;
    refLevelExtra_[1] = 1;
    videoBandwidth_ = kMaxVideoBandwidth;
    mode_ = 0;
    calibration_ = 0;
    clkIndex_ = 0;
    clkBlock_ = kMaxBlockSamples;
    clkExtra_ = 1;
    clkTotal_ = kMaxBlockSamples;
    retune();
}

double Instrument::responseDb(double f) const {
    const double span = settings_.responseSpan * sampleRate();
    if (!(span > 0)) return 0.0;
    const double x = (f - frequency_) / (span / 2);  // -1 .. 1 across the table
    // The ripple's phase follows the centre, so every retune gives a table of another shape.
    const double phase = std::fmod(frequency_ / 1e8, 2 * kPi);
    return settings_.tiltDb / 2 * x + settings_.rippleDb * std::sin(kPi * settings_.rippleCycles * x + phase);
}

// Every change of tuning moves the response table and changes what each tone looks like through it.
void Instrument::retune() {
    const double rate = sampleRate();
    const double span = settings_.responseSpan * rate;
    const int n = settings_.responsePoints;
    responseFrequencies_.resize(n);
    responseAmplitudes_.resize(n);
    for (int i = 0; i < n; ++i) {
        const double f = n == 1 ? frequency_ : frequency_ - span / 2 + span * i / (n - 1);
        responseFrequencies_[i] = std::round(f);
        responseAmplitudes_[i] = responseDb(responseFrequencies_[i]);
    }
    std::vector<Tone> shaped;
    for (const Tone& t : settings_.tones)
        if (std::abs(t.offsetHz) < rate / 2)
            shaped.push_back({t.offsetHz, t.levelDbm + responseDb(frequency_ + t.offsetHz)});
    generator_->setTones(std::move(shaped));
    generator_->setNoiseDbm(settings_.noiseDbm);
}

void Instrument::reply(const Header& rq, const uint8_t* body, std::vector<uint8_t>& out, bool emptyData) {
    switch (rq.command) {
        case cmd::Reset:
        case cmd::Init:
            reset();
            ++resets_;
            appendBare(out, rq, status::NoError);
            break;
        case cmd::Test:
            appendBare(out, rq, status::NoError);
            break;
        case cmd::Set:
        case cmd::Get:
            answerParameter(rq, body, out);
            break;
        case cmd::Run:
            answerData(rq, out, emptyData);
            break;
        default:
            appendBare(out, rq, status::UnknownCommand);
    }
}

void Instrument::answerParameter(const Header& rq, const uint8_t* body, std::vector<uint8_t>& out) {
    const bool isSet = rq.command == cmd::Set;
    const int pid = rq.bodyLen >= 2 ? readU16(body) : -1;
    const int len = valueBytes(rq.lenFrac);
    if (rq.bodyLen & 1) return appendBare(out, rq, status::SizeError, pid);
    if (rq.bodyLen < (isSet ? 4 : 2)) return appendBare(out, rq, status::SmallSize, pid);
    if (!validFormat(rq.lenFrac)) return appendBare(out, rq, status::ParameterIncorrect, pid);
    if (isSet && rq.numParam == 0) return appendBare(out, rq, status::NoParameters, pid);
    if (isSet && 2 + rq.numParam * len > rq.bodyLen) return appendBare(out, rq, status::SmallSize, pid);

    Outcome outcome{status::NoError, true};
    if (isSet) {
        std::vector<double> v(rq.numParam);
        for (int i = 0; i < rq.numParam; ++i) v[i] = decodeValue(body + 2 + i * len, rq.lenFrac);
        outcome = set(pid, v);
    } else if (values(pid).empty()) {
        outcome = {status::UnknownParameter, false};
    }
    if (!outcome.known) return appendBare(out, rq, outcome.status, pid);

    // The reply carries the parameter's values in the format the request named; the response tables
    // follow their two leading values (a table index and the point count) in the same format.
    const std::vector<double> v = values(pid);
    const std::vector<double>* table = pid == param::ResponseFrequency   ? &responseFrequencies_
                                       : pid == param::ResponseAmplitude ? &responseAmplitudes_
                                                                         : nullptr;
    const std::size_t points = table ? table->size() : 0;
    Header h;
    h.command = rq.command;
    h.status = outcome.status;
    h.sequence = rq.sequence;
    h.numParam = uint8_t(v.size());
    h.lenFrac = rq.lenFrac;
    h.bodyLen = uint16_t(2 + (v.size() + points) * len);
    uint8_t* p = grow(out, kHeaderSize + h.bodyLen);
    writeHeader(h, p);
    p += kHeaderSize;
    writeU16(uint16_t(pid), p);
    p += 2;
    for (double x : v) encodeValue(x, rq.lenFrac, p), p += len;
    for (std::size_t i = 0; i < points; ++i) encodeValue((*table)[i], rq.lenFrac, p), p += len;
}

std::vector<double> Instrument::values(int pid) const {
    switch (pid) {
        case param::Mode:
            return {double(mode_)};
        case param::RrsFrequency:
            return {frequency_, frequencyExtra_[0], frequencyExtra_[1]};
        case param::IfFilterBandwidth:
            return {settings_.bandwidths[bandwidth_].ifBandwidthHz};
        case param::SampleRate:
            return {sampleRate(), 1};  // a rate and its divisor
        case param::VideoFilterBandwidth:
            return {videoBandwidth_};
        case param::RrsReferenceLevel:
            return {refLevel_, refLevelExtra_[0], refLevelExtra_[1]};
        case param::PrefiltersCalibration:
            return {double(calibration_)};
        case param::Clk:
            return {double(clkIndex_), double(clkBlock_), clkExtra_, double(clkTotal_)};
        case param::ResponseFrequency:
        case param::ResponseAmplitude:
            return {0, double(responseFrequencies_.size())};
        default:
            return {};
    }
}

Instrument::Outcome Instrument::set(int pid, const std::vector<double>& v) {
    bool corrected = false;
    auto at = [&](std::size_t i, double keep) { return i < v.size() ? v[i] : keep; };
    auto limit = [&](double x, double lo, double hi) {
        const double y = x == x ? std::clamp(x, lo, hi) : lo;
        if (!(y == x)) corrected = true;
        return y;
    };
    auto whole = [&](double x, double lo, double hi) {
        const double y = limit(x, lo, hi), r = std::round(y);
        if (r != y) corrected = true;
        return r;
    };
    std::size_t used = 1;
    switch (pid) {
        case param::Mode:
            mode_ = int(whole(v[0], 0, 255));
            break;
        case param::RrsFrequency:
            frequency_ = whole(v[0], settings_.minFrequencyHz, settings_.maxFrequencyHz);
            frequencyExtra_[0] = at(1, frequencyExtra_[0]);
            frequencyExtra_[1] = at(2, frequencyExtra_[1]);
            used = 3;
            retune();
            break;
        case param::IfFilterBandwidth: {
            // The narrowest filter at least as wide as asked for; the widest when none is.
            const auto& bws = settings_.bandwidths;
            std::size_t i = 0;
            while (i + 1 < bws.size() && bws[i].ifBandwidthHz < v[0] - 0.5) ++i;
            bandwidth_ = i;
            corrected = bws[i].ifBandwidthHz != v[0];
            retune();
            break;
        }
        case param::SampleRate: {
            const double divisor = at(1, 1) != 0 ? at(1, 1) : 1;
            const double wanted = v[0] / divisor;
            const auto& bws = settings_.bandwidths;
            std::size_t best = 0;
            for (std::size_t i = 1; i < bws.size(); ++i)
                if (std::abs(bws[i].sampleRateHz - wanted) < std::abs(bws[best].sampleRateHz - wanted))
                    best = i;
            bandwidth_ = best;
            corrected = bws[best].sampleRateHz != wanted;
            used = 2;
            retune();
            break;
        }
        case param::VideoFilterBandwidth:
            videoBandwidth_ = whole(v[0], 10, kMaxVideoBandwidth);
            break;
        case param::RrsReferenceLevel:
            refLevel_ = limit(v[0], settings_.minRefLevelDbm, settings_.maxRefLevelDbm);
            refLevelExtra_[0] = at(1, refLevelExtra_[0]);
            refLevelExtra_[1] = at(2, refLevelExtra_[1]);
            used = 3;
            retune();
            break;
        case param::PrefiltersCalibration:
            calibration_ = int(whole(v[0], 0, 2));
            break;
        case param::Clk:
            clkIndex_ = int64_t(whole(v[0], 0, kMaxCount));
            clkBlock_ = int(whole(at(1, clkBlock_), 0, kMaxBlockSamples));
            clkExtra_ = at(2, clkExtra_);
            clkTotal_ = int64_t(whole(at(3, double(clkTotal_)), 0, kMaxCount));
            used = 4;
            // Sample 0 begins a new acquisition; later blocks continue the signal where the last ended.
            if (clkIndex_ == 0) generator_->restart();
            break;
        case param::ResponseFrequency:
        case param::ResponseAmplitude:
            return {status::ParameterIncorrect, false};  // measured, not settable
        default:
            return {status::UnknownParameter, false};
    }
    if (corrected) return {status::ParameterCorrected, true};
    return {v.size() > used ? status::ParameterIgnored : status::NoError, true};
}

void Instrument::answerData(const Header& rq, std::vector<uint8_t>& out, bool empty) {
    const int count = empty ? 0 : clkBlock_;
    Header h;
    h.command = cmd::Run;
    h.sequence = rq.sequence;
    h.numParam = 2;  // I and Q
    h.lenFrac = format::Int32;
    h.bodyLen = uint16_t(count * 8 + 2);
    uint8_t* p = grow(out, kHeaderSize + h.bodyLen);
    writeHeader(h, p);
    p += kHeaderSize;
    if (count > 0) {
        generator_->generate(sampleRate(), count, scratch_.data());
        putSamples(scratch_.data(), count, settings_.countsPerVolt, p);
        p += 8 * count;
    }
    writeU16(uint16_t(status::NoError), p);
    ++dataReplies_;
}

InstrumentState Instrument::state() const {
    InstrumentState s;
    s.frequencyHz = frequency_;
    s.ifBandwidthHz = settings_.bandwidths[bandwidth_].ifBandwidthHz;
    s.sampleRateHz = sampleRate();
    s.refLevelDbm = refLevel_;
    s.videoBandwidthHz = videoBandwidth_;
    s.mode = mode_;
    s.calibration = calibration_;
    s.clkIndex = clkIndex_;
    s.clkBlock = clkBlock_;
    s.clkTotal = clkTotal_;
    s.responseFrequencies = responseFrequencies_;
    s.responseAmplitudes = responseAmplitudes_;
    s.resets = resets_;
    s.dataReplies = dataReplies_;
    return s;
}

}  // namespace sim::sk
