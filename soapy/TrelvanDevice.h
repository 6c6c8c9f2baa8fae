// One connected instrument as a receive-only SoapySDR device with one channel. What it lacks (transmit,
// other channels, unknown names) answers as SoapySDR's defaults do, since applications ask about both
// directions from their GUI threads and stop on an exception.
#pragma once

#include "BlockStream.h"

#include <trelvan/Backend.h>
#include <trelvan/Records.h>

#include <SoapySDR/Device.hpp>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

class Trelvan;

namespace trelvan_soapy {

class TrelvanDevice : public SoapySDR::Device {
public:
    // `lib` is already connected to `device`; the device is its only user. `args` may name the block
    // size, "points".
    TrelvanDevice(std::unique_ptr<Trelvan> lib, const DeviceData& device, const SoapySDR::Kwargs& args);
    ~TrelvanDevice() override;

    std::string getDriverKey() const override;
    std::string getHardwareKey() const override;
    SoapySDR::Kwargs getHardwareInfo() const override;
    size_t getNumChannels(const int direction) const override;
    SoapySDR::Kwargs getChannelInfo(const int direction, const size_t channel) const override;

    std::vector<std::string> listAntennas(const int direction, const size_t channel) const override;
    std::string getAntenna(const int direction, const size_t channel) const override;

    std::vector<std::string> listFrequencies(const int direction, const size_t channel) const override;
    SoapySDR::RangeList getFrequencyRange(const int direction, const size_t channel) const override;
    SoapySDR::RangeList getFrequencyRange(const int direction, const size_t channel,
                                          const std::string& name) const override;
    void setFrequency(const int direction, const size_t channel, const double frequency,
                      const SoapySDR::Kwargs& args) override;
    void setFrequency(const int direction, const size_t channel, const std::string& name,
                      const double frequency, const SoapySDR::Kwargs& args) override;
    double getFrequency(const int direction, const size_t channel) const override;
    double getFrequency(const int direction, const size_t channel, const std::string& name) const override;

    std::vector<double> listSampleRates(const int direction, const size_t channel) const override;
    SoapySDR::RangeList getSampleRateRange(const int direction, const size_t channel) const override;
    void setSampleRate(const int direction, const size_t channel, const double rate) override;
    double getSampleRate(const int direction, const size_t channel) const override;

    std::vector<std::string> listGains(const int direction, const size_t channel) const override;
    SoapySDR::Range getGainRange(const int direction, const size_t channel) const override;
    SoapySDR::Range getGainRange(const int direction, const size_t channel,
                                 const std::string& name) const override;
    void setGain(const int direction, const size_t channel, const double value) override;
    void setGain(const int direction, const size_t channel, const std::string& name,
                 const double value) override;
    double getGain(const int direction, const size_t channel) const override;
    double getGain(const int direction, const size_t channel, const std::string& name) const override;

    std::vector<std::string> getStreamFormats(const int direction, const size_t channel) const override;
    std::string getNativeStreamFormat(const int direction, const size_t channel,
                                      double& fullScale) const override;
    SoapySDR::Stream* setupStream(const int direction, const std::string& format,
                                  const std::vector<size_t>& channels, const SoapySDR::Kwargs& args) override;
    void closeStream(SoapySDR::Stream* stream) override;
    size_t getStreamMTU(SoapySDR::Stream* stream) const override;
    int activateStream(SoapySDR::Stream* stream, const int flags, const long long timeNs,
                       const size_t numElems) override;
    int deactivateStream(SoapySDR::Stream* stream, const int flags, const long long timeNs) override;
    int readStream(SoapySDR::Stream* stream, void* const* buffs, const size_t numElems, int& flags,
                   long long& timeNs, const long timeoutUs) override;

    bool hasHardwareTime(const std::string& what) const override;
    long long getHardwareTime(const std::string& what) const override;
    void setHardwareTime(const long long timeNs, const std::string& what) override;

    std::vector<std::string> listSensors() const override;
    SoapySDR::ArgInfo getSensorInfo(const std::string& key) const override;
    std::string readSensor(const std::string& key) const override;
    std::vector<std::string> listSensors(const int direction, const size_t channel) const override;
    SoapySDR::ArgInfo getSensorInfo(const int direction, const size_t channel,
                                    const std::string& key) const override;
    std::string readSensor(const int direction, const size_t channel, const std::string& key) const override;

    SoapySDR::ArgInfoList getSettingInfo() const override;
    void writeSetting(const std::string& key, const std::string& value) override;
    std::string readSetting(const std::string& key) const override;

private:
    struct RxStream {
        RxStream(BlockStream::Source source, std::size_t maxBlocks, SampleFormat f)
            : format(f), blocks(std::move(source), maxBlocks) {}
        SampleFormat format;
        BlockStream blocks;
    };

    // What the instrument applied, as last read back.
    struct Applied {
        Params params{};
        double rate = 0;  // delivered
        int points = 0;   // per block
        InstrumentFacts facts;
        unsigned long long settings = 0;  // counts the changes, so blocks taken before one are dropped
    };

    // With io_ held: sends `p` (if any), puts the user's point count back (a new rate may change it),
    // reads back what the instrument applied and drops the blocks taken before.
    void applyLocked(const Params* p);
    Applied applied() const;
    bool fetch(Block& block, bool& failing);
    bool isStream(SoapySDR::Stream* stream) const;
    bool isPxa() const;

    const std::unique_ptr<Trelvan> lib_;
    // Held around every call into the library: its configuration calls and acquisitions must not overlap.
    mutable std::mutex io_;
    const DeviceData device_;
    Params min_{}, max_{};
    int wantedPoints_ = 0;   // guarded by io_
    std::string scpiReply_;  // guarded by io_

    // Guards applied_ and stream_; never held while waiting for the instrument, so that the queries of an
    // application's GUI thread answer during an acquisition.
    mutable std::mutex state_;
    Applied applied_;
    std::unique_ptr<RxStream> stream_;

    std::atomic<long long> timeOffsetNs_{0};
};

}  // namespace trelvan_soapy
