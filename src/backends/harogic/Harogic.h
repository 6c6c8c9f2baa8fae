// Backend for the USB analyzers driven through their vendor's device library in I/Q streaming mode.
#pragma once

#include <trelvan/Backend.h>
#include <trelvan/Export.h>
#include <trelvan/Records.h>

#include <QString>
#include <QVector>
#include <atomic>
#include <cstdint>
#include <utility>
#include <vector>

#include "backends/AnalyzerInterface.h"
#include "backends/harogic/HtraApi.h"
#include "base/VisaConstants.h"

class TRELVAN_EXPORT Harogic : public analyzerInterface {
public:
    // Enumeration only: touches no device.
    Harogic();
    // Opens the device the address names ("USB::2", or a plain number) and applies *init.params.
    explicit Harogic(Init init);
    ~Harogic() override;
    Harogic(const Harogic&) = delete;
    Harogic& operator=(const Harogic&) = delete;

    void setParams(Params& p) override;
    void setNumPoints(int n) override;
    void setExtSyncState(bool on) override;
    void setExtSyncFreq(double frequency) override;
    Params getParams(suffix which) override;
    QVector<Error> getErr() override;
    int getNPts(suffix which) override;
    void getData(QVector<IQ_Elem>* out) override;
    double getCurSampleRate() override;

    void connectH(int number);
    // Forgets the device; safe to call from another thread while getData runs.
    void disconnectH();
    void reconnect();
    void getState(DeviceState_TypeDef* out);

    void getDevList(QVector<DeviceData>* list);
    QString model2Text(int code);

    // Parses "USB::<n>" or a plain decimal number; anything else names device 0.
    static int deviceNumberOf(const char* address);

    static constexpr double kScale = 4.638686262403692;  // 13.3279 dB of gain after the device's scale

    std::atomic<void*> handle{nullptr};
    int32_t lastStatus = 0;
    int32_t deviceNumber = 0;
    OpenProfileRecord openProfile{};
    OpenInfoRecord openInfo{};
    StreamProfileRecord profile{};
    StreamProfileRecord profileOut{};
    StreamInfoRecord streamInfo{};
    int32_t numPoints = 10000;
    double curSampleRate = 0;
    double curFrequency = 0;
    double curRefLevel = 0;
    Params lastParams{1e9, 1e7, 0};
    bool extSyncState = false;
    double extSyncFreq = 1e7;
    DeviceState_TypeDef deviceState{};
    bool timeoutRetried = false;
    Params minParams{9000.0, 29297.0, -50};
    Params maxParams{2e10, 1.25e8, 20};
    int32_t* statusCell = nullptr;
    std::vector<std::pair<int32_t, QString>> modelNames;

private:
    void setStatus(int32_t status);
    // Closes `device` unless a disconnect took it over meanwhile, and forgets it.
    void closeOwned(void* device);
    // Takes the device away from the object; closes it now, or when the running acquisition ends.
    void releaseHandle();
    // Registers a running acquisition and returns its device, or null when none is open.
    void* beginAcquisition();
    // Ends it; the outermost one closes what a disconnect forgot meanwhile.
    void endAcquisition();
    void closeOrphan();
    void acquire(QVector<IQ_Elem>* out, void* device);
    void onPacketFailure(QVector<IQ_Elem>* out, void* device);

    // Lock-free so that a disconnect never waits for the acquisition it ends.
    std::atomic<int> acquisitions{0};    // nesting depth of getData (a time-out recovery runs inside one)
    std::atomic<void*> orphan{nullptr};  // forgotten during an acquisition; closed when it ends
    int recoveriesLeft = 0;              // bus time-out recoveries still allowed in this host call
};

namespace trv::harogic {
// The rates the device delivers between the limits, one per decimation, ascending, with the request for each.
std::vector<RateChoice> deliverableRates(const Params& min, const Params& max);
}  // namespace trv::harogic
