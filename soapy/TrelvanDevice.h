// One connected instrument as a receive-only SoapySDR device with one channel.
#pragma once

#include "BlockStream.h"

#include <trelvan/Records.h>

#include <SoapySDR/Device.hpp>
#include <atomic>
#include <memory>
#include <string>

namespace trelvan_soapy {

class TrelvanDevice : public SoapySDR::Device {
public:
    // The library is already connected to `device`. `args` may name the block size, "points".
    TrelvanDevice(const DeviceData& device, const SoapySDR::Kwargs& args);
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
    void setFrequency(const int direction, const size_t channel, const std::string& name, const double frequency,
                      const SoapySDR::Kwargs& args) override;
    double getFrequency(const int direction, const size_t channel) const override;
    double getFrequency(const int direction, const size_t channel, const std::string& name) const override;

    std::vector<double> listSampleRates(const int direction, const size_t channel) const override;
    SoapySDR::RangeList getSampleRateRange(const int direction, const size_t channel) const override;
    void setSampleRate(const int direction, const size_t channel, const double rate) override;
    double getSampleRate(const int direction, const size_t channel) const override;

    std::vector<std::string> listGains(const int direction, const size_t channel) const override;
    SoapySDR::Range getGainRange(const int direction, const size_t channel) const override;
    SoapySDR::Range getGainRange(const int direction, const size_t channel, const std::string& name) const override;
    void setGain(const int direction, const size_t channel, const double value) override;
    void setGain(const int direction, const size_t channel, const std::string& name, const double value) override;
    double getGain(const int direction, const size_t channel) const override;
    double getGain(const int direction, const size_t channel, const std::string& name) const override;

    std::vector<std::string> getStreamFormats(const int direction, const size_t channel) const override;
    std::string getNativeStreamFormat(const int direction, const size_t channel, double& fullScale) const override;
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

    std::vector<std::string> listSensors(const int direction, const size_t channel) const override;
    SoapySDR::ArgInfo getSensorInfo(const int direction, const size_t channel, const std::string& key) const override;
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

    // With libraryMutex held: hands the requested values to the library and reads back what it applied.
    void applyLocked();
    double fullScaleLocked() const;
    bool fetch(Block& block, bool& failing);
    void checkChannel(const int direction, const size_t channel) const;

    const DeviceData device_;
    const std::string backend_;
    Params min_{}, max_{};
    int minPoints_ = 0, maxPoints_ = 0;
    // Guarded by libraryMutex.
    Params requested_{};
    Params current_{};
    double rate_ = 0;
    int points_ = 0;
    double fullScale_ = 1.0;
    std::string scpiReply_;

    std::atomic<long long> timeOffsetNs_{0};
    std::unique_ptr<RxStream> stream_;
};

}  // namespace trelvan_soapy
