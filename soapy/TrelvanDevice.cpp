#include "TrelvanDevice.h"

#include "Discovery.h"

#include <trelvan/Trelvan.h>

#include <SoapySDR/Logger.hpp>
#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace trelvan_soapy {

namespace {

const char* const kFrequencyName = "RF";
const char* const kGainName = "REF";
// Blocks of a few milliseconds or more: every block is an acquisition of its own, and an instrument's
// default of a hundred points makes a stream of mostly seams.
const int kDefaultPoints = 65536;

// How each backend's samples are scaled, and what full scale means for it. The N9030A delivers volts;
// the Harogic backend volts multiplied by its constant gain; the SK backend 32-bit converter counts
// after its correction, whose scale does not depend on the reference level.
const double kHarogicGain = 4.638686262403692;
const double kSkCorrectionScale = 0.4263694993781802;

std::string sampleUnit(const std::string& backend) {
    if (backend == "PXA") return "volts";
    if (backend == "Harogic") return "scaled volts";
    return "corrected counts";
}

// Amplitude of a complex tone 3 dB above the reference level, its power |x|^2 across 50 Ohm: the
// converter's headroom.
double fullScaleVolts(int refLevelDbm) { return std::sqrt(50.0 * std::pow(10.0, (refLevelDbm + 3 - 30) / 10.0)); }

SoapySDR::Range range(double lo, double hi, double step = 0.0) {
    return SoapySDR::Range(std::min(lo, hi), std::max(lo, hi), step);
}

std::string errorsText() {
    std::string text;
    for (const Error& e : getError()) {
        if (e.code == 0) continue;
        if (!text.empty()) text += "; ";
        text += std::to_string(e.code) + " " + e.text.trimmed().toStdString();
    }
    return text;
}

// A command for the instrument as typed: with a line end, and percent signs kept as text rather than
// read as format directives on the way through VISA.
std::string scpiLine(const std::string& command) {
    std::string line;
    for (char c : command) {
        line += c;
        if (c == '%') line += '%';
    }
    if (line.empty() || line.back() != '\n') line += '\n';
    return line;
}

bool isQuery(const std::string& command) {
    const auto end = command.find_first_of(" \t\n");
    const std::string head = command.substr(0, end);
    return !head.empty() && head.back() == '?';
}

}  // namespace

TrelvanDevice::TrelvanDevice(const DeviceData& device, const SoapySDR::Kwargs& args)
    : device_(device), backend_(backendOf(device)) {
    const auto points = args.find("points");
    const int wantPoints = points == args.end() ? kDefaultPoints : std::stoi(points->second);
    if (wantPoints <= 0) throw std::invalid_argument("trelvan: points must be positive");
    std::lock_guard<std::mutex> lock(libraryMutex());
    setNumPts(wantPoints);
    min_ = getParameters(MIN);
    max_ = getParameters(MAX);
    minPoints_ = getNumPTS(MIN);
    maxPoints_ = getNumPTS(MAX);
    current_ = getParameters(CUR);
    requested_ = current_;
    rate_ = getCurSampleRate();
    points_ = getNumPTS(CUR);
    fullScale_ = fullScaleLocked();
    SoapySDR::logf(SOAPY_SDR_INFO, "trelvan: connected to %s %s at %s", device_.model.c_str(),
                   device_.serial.c_str(), device_.address);
}

TrelvanDevice::~TrelvanDevice() {
    stream_.reset();
    {
        std::lock_guard<std::mutex> lock(libraryMutex());
        setDisconnect();
    }
    instrumentClosed();
}

void TrelvanDevice::checkChannel(const int direction, const size_t channel) const {
    if (direction != SOAPY_SDR_RX || channel != 0)
        throw std::invalid_argument("trelvan: only receive channel 0 exists");
}

void TrelvanDevice::applyLocked() {
    setParam(requested_);
    current_ = getParameters(CUR);
    rate_ = getCurSampleRate();
    fullScale_ = fullScaleLocked();
    const std::string errors = errorsText();
    if (!errors.empty()) SoapySDR::logf(SOAPY_SDR_NOTICE, "trelvan: %s", errors.c_str());
}

double TrelvanDevice::fullScaleLocked() const {
    if (backend_ == "SK") return 2147483648.0 * kSkCorrectionScale;
    const double volts = fullScaleVolts(current_.refLevel);
    return backend_ == "Harogic" ? volts * kHarogicGain : volts;
}

std::string TrelvanDevice::getDriverKey() const { return "trelvan"; }

std::string TrelvanDevice::getHardwareKey() const { return device_.model; }

SoapySDR::Kwargs TrelvanDevice::getHardwareInfo() const {
    SoapySDR::Kwargs info;
    info["model"] = device_.model;
    info["serial"] = device_.serial;
    info["address"] = device_.address;
    info["backend"] = backend_;
    info["sample_unit"] = sampleUnit(backend_);
    return info;
}

size_t TrelvanDevice::getNumChannels(const int direction) const { return direction == SOAPY_SDR_RX ? 1 : 0; }

SoapySDR::Kwargs TrelvanDevice::getChannelInfo(const int direction, const size_t channel) const {
    checkChannel(direction, channel);
    return {{"sample_unit", sampleUnit(backend_)}};
}

std::vector<std::string> TrelvanDevice::listAntennas(const int direction, const size_t channel) const {
    checkChannel(direction, channel);
    return {"RF"};
}

std::string TrelvanDevice::getAntenna(const int direction, const size_t channel) const {
    checkChannel(direction, channel);
    return "RF";
}

std::vector<std::string> TrelvanDevice::listFrequencies(const int direction, const size_t channel) const {
    checkChannel(direction, channel);
    return {kFrequencyName};
}

SoapySDR::RangeList TrelvanDevice::getFrequencyRange(const int direction, const size_t channel) const {
    checkChannel(direction, channel);
    return {range(min_.frequency, max_.frequency)};
}

SoapySDR::RangeList TrelvanDevice::getFrequencyRange(const int direction, const size_t channel,
                                                     const std::string& name) const {
    if (name != kFrequencyName) throw std::invalid_argument("trelvan: no frequency component " + name);
    return getFrequencyRange(direction, channel);
}

void TrelvanDevice::setFrequency(const int direction, const size_t channel, const double frequency,
                                 const SoapySDR::Kwargs&) {
    checkChannel(direction, channel);
    std::lock_guard<std::mutex> lock(libraryMutex());
    requested_.frequency = frequency;
    applyLocked();
}

void TrelvanDevice::setFrequency(const int direction, const size_t channel, const std::string& name,
                                 const double frequency, const SoapySDR::Kwargs& args) {
    if (name != kFrequencyName) throw std::invalid_argument("trelvan: no frequency component " + name);
    setFrequency(direction, channel, frequency, args);
}

double TrelvanDevice::getFrequency(const int direction, const size_t channel) const {
    checkChannel(direction, channel);
    std::lock_guard<std::mutex> lock(libraryMutex());
    return current_.frequency;
}

double TrelvanDevice::getFrequency(const int direction, const size_t channel, const std::string& name) const {
    if (name != kFrequencyName) throw std::invalid_argument("trelvan: no frequency component " + name);
    return getFrequency(direction, channel);
}

std::vector<double> TrelvanDevice::listSampleRates(const int direction, const size_t channel) const {
    checkChannel(direction, channel);
    // The limits, and the 1-2-5 steps between them.
    const double lo = std::min(min_.sampleRate, max_.sampleRate), hi = std::max(min_.sampleRate, max_.sampleRate);
    std::vector<double> rates{lo};
    if (lo > 0) {
        for (double decade = std::pow(10.0, std::floor(std::log10(lo))); decade <= hi; decade *= 10)
            for (double m : {1.0, 2.0, 5.0})
                if (m * decade > lo && m * decade < hi) rates.push_back(m * decade);
    }
    if (hi > lo) rates.push_back(hi);
    return rates;
}

SoapySDR::RangeList TrelvanDevice::getSampleRateRange(const int direction, const size_t channel) const {
    checkChannel(direction, channel);
    return {range(min_.sampleRate, max_.sampleRate)};
}

void TrelvanDevice::setSampleRate(const int direction, const size_t channel, const double rate) {
    checkChannel(direction, channel);
    std::lock_guard<std::mutex> lock(libraryMutex());
    requested_.sampleRate = rate;
    applyLocked();
}

double TrelvanDevice::getSampleRate(const int direction, const size_t channel) const {
    checkChannel(direction, channel);
    std::lock_guard<std::mutex> lock(libraryMutex());
    return rate_;
}

std::vector<std::string> TrelvanDevice::listGains(const int direction, const size_t channel) const {
    checkChannel(direction, channel);
    return {kGainName};
}

SoapySDR::Range TrelvanDevice::getGainRange(const int direction, const size_t channel) const {
    checkChannel(direction, channel);
    return range(min_.refLevel, max_.refLevel, 1.0);
}

SoapySDR::Range TrelvanDevice::getGainRange(const int direction, const size_t channel,
                                            const std::string& name) const {
    if (name != kGainName) throw std::invalid_argument("trelvan: no gain element " + name);
    return getGainRange(direction, channel);
}

void TrelvanDevice::setGain(const int direction, const size_t channel, const double value) {
    checkChannel(direction, channel);
    std::lock_guard<std::mutex> lock(libraryMutex());
    requested_.refLevel = static_cast<int32_t>(std::lround(value));
    applyLocked();
}

void TrelvanDevice::setGain(const int direction, const size_t channel, const std::string& name, const double value) {
    if (name != kGainName) throw std::invalid_argument("trelvan: no gain element " + name);
    setGain(direction, channel, value);
}

double TrelvanDevice::getGain(const int direction, const size_t channel) const {
    checkChannel(direction, channel);
    std::lock_guard<std::mutex> lock(libraryMutex());
    return current_.refLevel;
}

double TrelvanDevice::getGain(const int direction, const size_t channel, const std::string& name) const {
    if (name != kGainName) throw std::invalid_argument("trelvan: no gain element " + name);
    return getGain(direction, channel);
}

std::vector<std::string> TrelvanDevice::listSensors(const int, const size_t) const { return {"status", "errors"}; }

SoapySDR::ArgInfo TrelvanDevice::getSensorInfo(const int, const size_t, const std::string& key) const {
    SoapySDR::ArgInfo info;
    info.key = key;
    if (key == "status") {
        info.name = "Status word";
        info.type = SoapySDR::ArgInfo::INT;
        info.description = "The library's status: 0 connected and well, otherwise the last failure code";
    } else if (key == "errors") {
        info.name = "Errors";
        info.type = SoapySDR::ArgInfo::STRING;
        info.description = "The errors the library and the instrument report, as code and text";
    } else {
        throw std::invalid_argument("trelvan: no sensor " + key);
    }
    return info;
}

std::string TrelvanDevice::readSensor(const int, const size_t, const std::string& key) const {
    std::lock_guard<std::mutex> lock(libraryMutex());
    if (key == "status") return std::to_string(getStatus());
    if (key == "errors") return errorsText();
    throw std::invalid_argument("trelvan: no sensor " + key);
}

SoapySDR::ArgInfoList TrelvanDevice::getSettingInfo() const {
    SoapySDR::ArgInfo points;
    points.key = "points";
    points.name = "Block size";
    points.type = SoapySDR::ArgInfo::INT;
    points.description = "Complex samples per acquisition";
    points.range = range(minPoints_, maxPoints_, 1.0);
    SoapySDR::ArgInfo ref;
    ref.key = "ref_level";
    ref.name = "Reference level";
    ref.units = "dBm";
    ref.type = SoapySDR::ArgInfo::INT;
    ref.description = "The instrument's reference level, also the gain element REF";
    ref.range = range(min_.refLevel, max_.refLevel, 1.0);
    SoapySDR::ArgInfoList list{points, ref};
    if (backend_ == "PXA") {
        SoapySDR::ArgInfo scpi;
        scpi.key = "scpi";
        scpi.name = "SCPI";
        scpi.type = SoapySDR::ArgInfo::STRING;
        scpi.description = "Writing sends a command to the instrument (a query when its header ends in '?'); "
                           "reading gives the reply to the last query";
        list.push_back(scpi);
    }
    return list;
}

void TrelvanDevice::writeSetting(const std::string& key, const std::string& value) {
    if (key == "ref_level") {
        setGain(SOAPY_SDR_RX, 0, std::stod(value));
        return;
    }
    std::lock_guard<std::mutex> lock(libraryMutex());
    if (key == "points") {
        const int points = std::stoi(value);
        if (points <= 0) throw std::invalid_argument("trelvan: points must be positive");
        setNumPts(points);
        points_ = getNumPTS(CUR);
    } else if (key == "scpi" && backend_ == "PXA") {
        const bool query = isQuery(value);
        const std::string reply = CustomCommand(scpiLine(value), query);
        if (query) scpiReply_ = reply.substr(0, reply.find_last_not_of("\r\n") + 1);
    } else {
        throw std::invalid_argument("trelvan: no setting " + key);
    }
}

std::string TrelvanDevice::readSetting(const std::string& key) const {
    std::lock_guard<std::mutex> lock(libraryMutex());
    if (key == "points") return std::to_string(points_);
    if (key == "ref_level") return std::to_string(current_.refLevel);
    if (key == "scpi" && backend_ == "PXA") return scpiReply_;
    throw std::invalid_argument("trelvan: no setting " + key);
}

}  // namespace trelvan_soapy
