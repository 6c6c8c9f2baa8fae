#include "TrelvanDevice.h"

#include "Discovery.h"

#include <trelvan/Trelvan.h>

#include <SoapySDR/Logger.hpp>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <stdexcept>

namespace trelvan_soapy {

namespace {

const char* const kFrequencyName = "RF";
const char* const kAntennaName = "RF";
const char* const kGainName = "REF";
// Blocks of a few milliseconds or more: every block is an acquisition of its own, and an instrument's
// default of a hundred points makes a stream of mostly seams.
const int kDefaultPoints = 65536;

bool rx0(const int direction, const size_t channel) {
    return direction == SOAPY_SDR_RX && channel == 0;
}

// A whole decimal integer, and nothing else.
bool parseNumber(const std::string& text, long& number) {
    char* end = nullptr;
    errno = 0;
    number = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && end != nullptr && *end == '\0' && errno == 0;
}

SoapySDR::Range range(double lo, double hi, double step = 0.0) {
    return SoapySDR::Range(std::min(lo, hi), std::max(lo, hi), step);
}

std::string errorsText(Trelvan& lib) {
    std::string text;
    for (const Error& e : lib.getError()) {
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

TrelvanDevice::TrelvanDevice(std::unique_ptr<Trelvan> lib, const DeviceData& device,
                             const SoapySDR::Kwargs& args)
    : lib_(std::move(lib)), device_(device) {
    const auto points = args.find("points");
    wantedPoints_ = points == args.end() ? kDefaultPoints : std::stoi(points->second);
    if (wantedPoints_ <= 0) throw std::invalid_argument("trelvan: points must be positive");
    std::lock_guard<std::mutex> lock(io_);
    min_ = lib_->getParameters(MIN);
    max_ = lib_->getParameters(MAX);
    // The instrument's settings once over, so that what it reports (rates above all) is in force.
    const Params current = lib_->getParameters(CUR);
    applyLocked(&current);
    SoapySDR::logf(SOAPY_SDR_DEBUG, "trelvan: connected to %s %s at %s", device_.model.c_str(),
                   device_.serial.c_str(), device_.address);
}

TrelvanDevice::~TrelvanDevice() {
    stream_.reset();
    {
        std::lock_guard<std::mutex> lock(io_);
        lib_->setDisconnect();
    }
    deviceClosed(device_);
}

TrelvanDevice::Applied TrelvanDevice::applied() const {
    std::lock_guard<std::mutex> lock(state_);
    return applied_;
}

void TrelvanDevice::applyLocked(const Params* p) {
    // The error record holds the last report until another replaces it; cleared, it tells of this change.
    lib_->error = Error{};
    if (p != nullptr) lib_->setParam(*p);
    lib_->setNumPts(wantedPoints_);
    Applied a;
    a.params = lib_->getParameters(CUR);
    a.rate = lib_->getCurSampleRate();
    a.points = lib_->getNumPTS(CUR);
    a.facts = connectedFacts(*lib_);
    {
        std::lock_guard<std::mutex> lock(state_);
        a.settings = applied_.settings + 1;
        applied_ = a;
        if (stream_) stream_->blocks.discardBefore(a.settings);
    }
    // What the instrument changed is read back above and answered by the getters; its reports stay in
    // the "errors" sensor.
    const std::string errors = errorsText(*lib_);
    if (!errors.empty()) SoapySDR::logf(SOAPY_SDR_DEBUG, "trelvan: %s", errors.c_str());
}

std::string TrelvanDevice::getDriverKey() const {
    return "trelvan";
}

std::string TrelvanDevice::getHardwareKey() const {
    return device_.model;
}

SoapySDR::Kwargs TrelvanDevice::getHardwareInfo() const {
    SoapySDR::Kwargs info;
    info["model"] = device_.model;
    info["serial"] = device_.serial;
    info["address"] = device_.address;
    const Applied a = applied();
    info["backend"] = a.facts.backend;
    info["sample_unit"] = a.facts.sampleUnit;
    return info;
}

size_t TrelvanDevice::getNumChannels(const int direction) const {
    return direction == SOAPY_SDR_RX ? 1 : 0;
}

SoapySDR::Kwargs TrelvanDevice::getChannelInfo(const int direction, const size_t channel) const {
    if (!rx0(direction, channel)) return {};
    return {{"sample_unit", applied().facts.sampleUnit}};
}

std::vector<std::string> TrelvanDevice::listAntennas(const int direction, const size_t channel) const {
    if (!rx0(direction, channel)) return {};
    return {kAntennaName};
}

std::string TrelvanDevice::getAntenna(const int direction, const size_t channel) const {
    return rx0(direction, channel) ? kAntennaName : "";
}

std::vector<std::string> TrelvanDevice::listFrequencies(const int direction, const size_t channel) const {
    if (!rx0(direction, channel)) return {};
    return {kFrequencyName};
}

SoapySDR::RangeList TrelvanDevice::getFrequencyRange(const int direction, const size_t channel) const {
    if (!rx0(direction, channel)) return {};
    return {range(min_.frequency, max_.frequency)};
}

SoapySDR::RangeList TrelvanDevice::getFrequencyRange(const int direction, const size_t channel,
                                                     const std::string& name) const {
    return name == kFrequencyName ? getFrequencyRange(direction, channel) : SoapySDR::RangeList{};
}

void TrelvanDevice::setFrequency(const int direction, const size_t channel, const double frequency,
                                 const SoapySDR::Kwargs&) {
    if (!rx0(direction, channel)) return;
    std::lock_guard<std::mutex> lock(io_);
    // The rate and level as the instrument has them: sending the request again would have the SK
    // instruments report a modified rate on every retune.
    Params p = applied().params;
    p.frequency = frequency;
    applyLocked(&p);
}

void TrelvanDevice::setFrequency(const int direction, const size_t channel, const std::string& name,
                                 const double frequency, const SoapySDR::Kwargs& args) {
    if (name == kFrequencyName) setFrequency(direction, channel, frequency, args);
}

double TrelvanDevice::getFrequency(const int direction, const size_t channel) const {
    return rx0(direction, channel) ? applied().params.frequency : 0.0;
}

double TrelvanDevice::getFrequency(const int direction, const size_t channel, const std::string& name) const {
    return name == kFrequencyName ? getFrequency(direction, channel) : 0.0;
}

std::vector<double> TrelvanDevice::listSampleRates(const int direction, const size_t channel) const {
    if (!rx0(direction, channel)) return {};
    std::vector<double> rates;
    for (const RateChoice& c : applied().facts.rates) rates.push_back(c.delivered);
    return rates;
}

SoapySDR::RangeList TrelvanDevice::getSampleRateRange(const int direction, const size_t channel) const {
    if (!rx0(direction, channel)) return {};
    const InstrumentFacts facts = applied().facts;
    if (facts.rates.empty()) return {};
    if (facts.continuousRates) return {range(facts.rates.front().delivered, facts.rates.back().delivered)};
    SoapySDR::RangeList ranges;
    for (const RateChoice& c : facts.rates) ranges.emplace_back(c.delivered, c.delivered);
    return ranges;
}

void TrelvanDevice::setSampleRate(const int direction, const size_t channel, const double rate) {
    if (!rx0(direction, channel)) return;
    std::lock_guard<std::mutex> lock(io_);
    const Applied a = applied();
    const RateChoice choice = nearestRate(a.facts, rate);
    // The rate that comes out already: nothing to send (an SK instrument would report it modified).
    if (std::abs(choice.delivered - a.rate) <= 1e-6 * choice.delivered) return;
    Params p = a.params;
    p.sampleRate = choice.request;
    applyLocked(&p);
}

double TrelvanDevice::getSampleRate(const int direction, const size_t channel) const {
    return rx0(direction, channel) ? applied().rate : 0.0;
}

std::vector<std::string> TrelvanDevice::listGains(const int direction, const size_t channel) const {
    if (!rx0(direction, channel)) return {};
    return {kGainName};
}

SoapySDR::Range TrelvanDevice::getGainRange(const int direction, const size_t channel) const {
    if (!rx0(direction, channel)) return SoapySDR::Range();
    return range(min_.refLevel, max_.refLevel, 1.0);
}

SoapySDR::Range TrelvanDevice::getGainRange(const int direction, const size_t channel,
                                            const std::string& name) const {
    return name == kGainName ? getGainRange(direction, channel) : SoapySDR::Range();
}

void TrelvanDevice::setGain(const int direction, const size_t channel, const double value) {
    if (!rx0(direction, channel)) return;
    std::lock_guard<std::mutex> lock(io_);
    Params p = applied().params;
    p.refLevel = static_cast<int32_t>(std::lround(value));
    applyLocked(&p);
}

void TrelvanDevice::setGain(const int direction, const size_t channel, const std::string& name,
                            const double value) {
    if (name == kGainName) setGain(direction, channel, value);
}

double TrelvanDevice::getGain(const int direction, const size_t channel) const {
    return rx0(direction, channel) ? applied().params.refLevel : 0.0;
}

double TrelvanDevice::getGain(const int direction, const size_t channel, const std::string& name) const {
    return name == kGainName ? getGain(direction, channel) : 0.0;
}

bool TrelvanDevice::isPxa() const {
    return applied().facts.backend == "PXA";
}

std::vector<std::string> TrelvanDevice::listSensors() const {
    std::vector<std::string> keys{"status", "errors"};
    if (applied().facts.voltsPerUnit > 0) keys.push_back("full_scale");
    return keys;
}

SoapySDR::ArgInfo TrelvanDevice::getSensorInfo(const std::string& key) const {
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
    } else if (key == "full_scale" && applied().facts.voltsPerUnit > 0) {
        info.name = "Full scale";
        info.type = SoapySDR::ArgInfo::FLOAT;
        info.units = "V";
        info.description =
            "Amplitude at the input of a sample of magnitude 1.0 (a tone 3 dB above the reference "
            "level), across 50 Ohm";
    } else {
        return SoapySDR::ArgInfo();
    }
    return info;
}

std::string TrelvanDevice::readSensor(const std::string& key) const {
    if (key == "full_scale") {
        const InstrumentFacts facts = applied().facts;
        return facts.voltsPerUnit > 0 ? std::to_string(facts.fullScale * facts.voltsPerUnit) : "";
    }
    if (key != "status" && key != "errors") return "";
    std::lock_guard<std::mutex> lock(io_);
    if (key == "status") return std::to_string(lib_->getStatus());
    return errorsText(*lib_);
}

std::vector<std::string> TrelvanDevice::listSensors(const int direction, const size_t channel) const {
    return rx0(direction, channel) ? listSensors() : std::vector<std::string>{};
}

SoapySDR::ArgInfo TrelvanDevice::getSensorInfo(const int direction, const size_t channel,
                                               const std::string& key) const {
    return rx0(direction, channel) ? getSensorInfo(key) : SoapySDR::ArgInfo();
}

std::string TrelvanDevice::readSensor(const int direction, const size_t channel,
                                      const std::string& key) const {
    return rx0(direction, channel) ? readSensor(key) : "";
}

SoapySDR::ArgInfoList TrelvanDevice::getSettingInfo() const {
    SoapySDR::ArgInfo points;
    points.key = "points";
    points.name = "Block size";
    points.type = SoapySDR::ArgInfo::INT;
    points.description = "Complex samples per acquisition";
    const Applied a = applied();
    points.range = range(a.facts.minPoints, a.facts.maxPoints, 1.0);
    SoapySDR::ArgInfo ref;
    ref.key = "ref_level";
    ref.name = "Reference level";
    ref.units = "dBm";
    ref.type = SoapySDR::ArgInfo::INT;
    ref.description = "The instrument's reference level, also the gain element REF";
    ref.range = range(min_.refLevel, max_.refLevel, 1.0);
    SoapySDR::ArgInfoList list{points, ref};
    if (isPxa()) {
        SoapySDR::ArgInfo scpi;
        scpi.key = "scpi";
        scpi.name = "SCPI";
        scpi.type = SoapySDR::ArgInfo::STRING;
        scpi.description =
            "Writing sends a command to the instrument (a query when its header ends in '?'); "
            "reading gives the reply to the last query";
        list.push_back(scpi);
    }
    return list;
}

void TrelvanDevice::writeSetting(const std::string& key, const std::string& value) {
    long number = 0;
    const bool numeric = parseNumber(value, number);
    if (key == "ref_level" && numeric) {
        setGain(SOAPY_SDR_RX, 0, static_cast<double>(number));
    } else if (key == "points" && numeric && number > 0 && number <= std::numeric_limits<int>::max()) {
        std::lock_guard<std::mutex> lock(io_);
        wantedPoints_ = static_cast<int>(number);
        applyLocked(nullptr);
    } else if (key == "scpi" && isPxa()) {
        std::lock_guard<std::mutex> lock(io_);
        const bool query = isQuery(value);
        const std::string reply = lib_->CustomCommand(scpiLine(value), query);
        if (query) scpiReply_ = reply.substr(0, reply.find_last_not_of("\r\n") + 1);
    } else {
        // Ignored, as SoapySDR does with a setting a device lacks.
        SoapySDR::logf(SOAPY_SDR_WARNING, "trelvan: setting %s=%s ignored", key.c_str(), value.c_str());
    }
}

std::string TrelvanDevice::readSetting(const std::string& key) const {
    if (key == "points") return std::to_string(applied().points);
    if (key == "ref_level") return std::to_string(applied().params.refLevel);
    if (key == "scpi" && isPxa()) {
        std::lock_guard<std::mutex> lock(io_);
        return scpiReply_;
    }
    return "";
}

}  // namespace trelvan_soapy
