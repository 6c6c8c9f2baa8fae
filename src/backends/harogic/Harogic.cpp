#include "backends/harogic/Harogic.h"

#include "backends/harogic/HarogicGuardedRecord.h"
#include "backends/harogic/HarogicTexts.h"
#include "util/Log.h"

#include <QByteArray>
#include <QMutex>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

// The module's mutex. Nothing here locks it: the one cross-thread path, a disconnect during an
// acquisition, is handed over with atomics so that the disconnect never blocks.
QMutex harogicMutex;

constexpr int kOpenAttempts = 30;
constexpr unsigned long kOpenRetryMs = 10;
constexpr int kPrimingPoints = 100;
constexpr double kTopNativeRate = 1.25e8;
constexpr double kNativeRate = 1.2e8;
constexpr uint32_t kMaxDecimation = 4096;
constexpr int kMaxTimeoutRecoveries = 4;

const char* openFailureText(int status) {
    switch (status) {
        case trv::htra::kNoDevice:
            return trv::harogic_text::kNoDevice;
        case trv::htra::kRfCalibrationMissing:
            return trv::harogic_text::kRfCalibrationMissing;
        case trv::htra::kIfCalibrationMissing:
            return trv::harogic_text::kIfCalibrationMissing;
        case trv::htra::kConfigurationMissing:
            return trv::harogic_text::kConfigurationMissing;
        case trv::htra::kDeviceFileMissing:
            return trv::harogic_text::kDeviceFileMissing;
        default:
            return trv::harogic_text::kOtherOpenError;
    }
}

// The largest power of two up to 4096 not above the ratio of the top native rate to the requested rate.
uint32_t decimationFor(double rate) {
    const double ratio = kTopNativeRate / rate;
    for (uint32_t candidate = 2; candidate <= kMaxDecimation; candidate *= 2) {
        if (candidate > ratio) return candidate / 2;
    }
    return kMaxDecimation;
}

// The native rate runs exactly at rate x decimation when that lies strictly inside the converter's range.
double nativeRateFor(double rate, uint32_t decimation) {
    const double x = rate * decimation;
    if (x > kNativeRate && x < kTopNativeRate) return std::trunc(x);
    return decimation > 1 ? kNativeRate : kTopNativeRate;
}

int32_t truncatedLevel(double level) {
    if (!std::isfinite(level)) return 0;
    level = std::clamp(level, double(std::numeric_limits<int32_t>::min()),
                       double(std::numeric_limits<int32_t>::max()));
    return static_cast<int32_t>(level);
}

}  // namespace

Harogic::Harogic() {
    modelNames = {{10, "E90-R0"},  {11, "E90-R1"},  {12, "E90-R2"},  {13, "E90-R3"},  {14, "E90-R8"},
                  {20, "E200-R0"}, {21, "E200-R1"}, {22, "E200-R2"}, {23, "E200-R3"}, {33, "TRX60_R3"},
                  {53, "N60_R4"},  {54, "M60_R4"},  {55, "N45_R4"},  {56, "M80_R5"},  {57, "M60_R5"},
                  {58, "N60_R5"},  {59, "M45_R5"},  {60, "E310_R0"}, {61, "E310_R1"}, {70, "E330_R0"},
                  {80, "TX90_R0"}, {90, "N400_R0"}, {91, "N400_R1"}, {92, "N400_R2"}, {93, "N150_R1"},
                  {94, "N400_R2"}, {95, "N400_R3"}};
}

Harogic::Harogic(Init init) : Harogic() {
    statusCell = init.status;
    const int number = init.device ? deviceNumberOf(init.device->address) : 0;
    TRELVAN_LOG(harogic) << trv::harogic_text::kOpening << number;
    connectH(number);
    if (lastStatus == trv::htra::kOk && init.params) setParams(*init.params);
}

Harogic::~Harogic() {
    // Leave the device free for whoever opens it next.
    releaseHandle();
}

int Harogic::deviceNumberOf(const char* address) {
    QString text = QString::fromUtf8(address, int(qstrnlen(address, sizeof(DeviceData::address)))).trimmed();
    if (text.startsWith(QLatin1String("USB::"), Qt::CaseInsensitive)) text = text.mid(5);
    bool ok = false;
    const int number = text.toInt(&ok, 10);
    return ok ? number : 0;
}

void Harogic::setStatus(int32_t status) {
    if (statusCell) *statusCell = status;
}

void Harogic::connectH(int number) {
    releaseHandle();
    deviceNumber = number;
    openProfile = {};
    void* device = nullptr;
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        openInfo = {};
        device = nullptr;
        lastStatus = trv::htra::openDevice(&device, deviceNumber, &openProfile, &openInfo);
        if (lastStatus == trv::htra::kOk) break;
        QThread::msleep(kOpenRetryMs);
    }
    if (lastStatus == trv::htra::kOk) handle.store(device);
    setStatus(lastStatus);
    if (lastStatus == trv::htra::kOk) {
        TRELVAN_LOG(harogic) << trv::harogic_text::kConnected;
    } else {
        TRELVAN_LOG(harogic) << openFailureText(lastStatus);
        TRELVAN_LOG(harogic) << lastStatus;
    }
}

void Harogic::disconnectH() {
    releaseHandle();
}

// disconnectH and getData may run on different threads. Both sides act first and look second
// (sequentially consistent): the disconnect parks the device and then looks for a running acquisition,
// an acquisition registers and then looks for the device, so either the acquisition never sees the
// device or the disconnect sees the acquisition and leaves the close to it.
void Harogic::releaseHandle() {
    void* device = handle.exchange(nullptr);
    if (device == nullptr) return;
    // Only one device can be parked: a second would need a connect during the acquisition.
    if (void* earlier = orphan.exchange(device)) Device_Close(&earlier);
    if (acquisitions.load() == 0) closeOrphan();
}

void Harogic::closeOrphan() {
    if (void* device = orphan.exchange(nullptr)) Device_Close(&device);
}

void Harogic::closeOwned(void* device) {
    // A disconnect that got there first owns the close.
    if (handle.compare_exchange_strong(device, nullptr)) Device_Close(&device);
}

void* Harogic::beginAcquisition() {
    const bool outermost = acquisitions.fetch_add(1) == 0;
    void* device = handle.load();
    if (device == nullptr) {
        endAcquisition();
        return nullptr;
    }
    if (outermost) recoveriesLeft = kMaxTimeoutRecoveries;
    return device;
}

void Harogic::endAcquisition() {
    if (acquisitions.fetch_sub(1) == 1) closeOrphan();
}

void Harogic::reconnect() {
    releaseHandle();
    connectH(deviceNumber);
    setParams(lastParams);
}

void Harogic::setParams(Params& p) {
    void* device = handle.load();
    if (device == nullptr) return;
    lastParams = p;
    IQS_ProfileDeInit(&device, &profile);
    profile.centreFrequency = p.frequency;
    profile.referenceLevel = p.refLevel;
    profile.fixed124 = 0;
    profile.fixed36 = 0;
    profile.points = static_cast<uint64_t>(static_cast<int64_t>(numPoints));
    profile.fixed28 = 2;
    profile.fixed24 = 5000;
    profile.extSyncFrequency = extSyncFreq;
    profile.extSyncOn = extSyncState ? 1 : 0;

    if (minParams.sampleRate > p.sampleRate) p.sampleRate = minParams.sampleRate;
    if (p.sampleRate > maxParams.sampleRate) p.sampleRate = maxParams.sampleRate;
    const uint32_t decimation = decimationFor(p.sampleRate);
    const double nativeRate = nativeRateFor(p.sampleRate, decimation);
    profile.decimation = decimation;
    profile.nativeRate = nativeRate;
    curSampleRate = nativeRate;  // until the first packet reports the output rate

    lastStatus = IQS_Configuration(&device, &profile, &profileOut, &streamInfo);
    setStatus(lastStatus);
    if (lastStatus != trv::htra::kOk) {
        TRELVAN_LOG(harogic) << trv::harogic_text::kConfigurationError << lastStatus;
        closeOwned(device);
    }

    // One short acquisition so the current values reflect what the device reports.
    const int points = numPoints;
    setNumPoints(kPrimingPoints);
    QVector<IQ_Elem> scratch;
    getData(&scratch);
    setNumPoints(points);
}

void Harogic::setNumPoints(int n) {
    numPoints = std::max(n, 0);
    profile.points = static_cast<uint64_t>(static_cast<int64_t>(numPoints));
    void* device = handle.load();
    if (device == nullptr) return;
    lastStatus = IQS_Configuration(&device, &profile, &profileOut, &streamInfo);
    setStatus(lastStatus);
}

void Harogic::setExtSyncState(bool on) {
    extSyncState = on;
    setParams(lastParams);
}

void Harogic::setExtSyncFreq(double frequency) {
    extSyncFreq = frequency;
    setParams(lastParams);
}

Params Harogic::getParams(suffix which) {
    if (which == MIN) return minParams;
    if (which == MAX) return maxParams;
    return Params{curFrequency, curSampleRate, truncatedLevel(curRefLevel)};
}

int Harogic::getNPts(suffix) {
    return numPoints;
}

double Harogic::getCurSampleRate() {
    return curSampleRate;
}

QVector<Error> Harogic::getErr() {
    Error error;
    error.code = statusCell ? *statusCell : lastStatus;
    return {error};
}

void Harogic::getState(DeviceState_TypeDef* out) {
    void* device = handle.load();
    if (device == nullptr) return;
    lastStatus = IQS_BusTriggerStart(&device);
    lastStatus = Device_QueryDeviceState_Realtime(&device, &deviceState);
    switch (lastStatus) {
        case trv::htra::kOk:
            if (out) std::memcpy(out, &deviceState, sizeof deviceState);
            lastStatus = IQS_BusTriggerStop(&device);
            break;
        case trv::htra::kTemperatureWarning:
            TRELVAN_LOG(harogic) << trv::harogic_text::kTemperatureWarning;
            break;
        case trv::htra::kIfSaturation:
            TRELVAN_LOG(harogic) << trv::harogic_text::kIfSaturation;
            break;
        default:
            TRELVAN_LOG(harogic) << trv::harogic_text::kOtherError << lastStatus;
            closeOwned(device);
    }
}

namespace trv::harogic {

// One rate per decimation, each the rate that decimation gives from the converter's usual native rate
// (the top rate undecimated), as setParams would choose them for that request within the limits.
std::vector<RateChoice> deliverableRates(const Params& min, const Params& max) {
    std::vector<RateChoice> rates;
    for (uint32_t d = kMaxDecimation; d >= 1; d /= 2) {
        double request = d > 1 ? kNativeRate / d : kTopNativeRate;
        request = std::min(std::max(request, min.sampleRate), max.sampleRate);
        const uint32_t decimation = decimationFor(request);
        const double delivered = nativeRateFor(request, decimation) / decimation;
        if (rates.empty() || delivered > rates.back().delivered) rates.push_back({delivered, request});
    }
    return rates;
}

}  // namespace trv::harogic
