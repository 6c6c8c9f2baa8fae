#include <algorithm>
#include <new>

#include "backends/SampleConversion.h"
#include "backends/harogic/Harogic.h"
#include "backends/harogic/HarogicGuardedRecord.h"
#include "backends/harogic/HarogicTexts.h"
#include "util/Log.h"

void Harogic::getData(QVector<IQ_Elem>* out) {
    if (out == nullptr) return;
    void* device = beginAcquisition();
    if (device == nullptr) return;
    try {
        acquire(out, device);
    } catch (const std::bad_alloc&) {
        out->resize(0);  // a point count the host cannot hold
    }
    endAcquisition();
}

void Harogic::acquire(QVector<IQ_Elem>* out, void* device) {
    const int wanted = std::max(numPoints, 0);
    const int64_t perPacket = streamInfo.samplesPerPacket;
    if (wanted > 0 && perPacket <= 0) {  // no packet could ever fill it
        out->resize(0);
        return;
    }
    // Sized once for the whole block. A vector the host hands back each time already has that size,
    // so nothing is zeroed only to be overwritten; one the host still shares is let go instead of
    // being copied.
    if (!out->isDetached()) *out = QVector<IQ_Elem>();
    out->resize(wanted);
    IQ_Elem* const block = out->data();

    lastStatus = IQS_BusTriggerStart(&device);
    trv::htra::GuardedRecord<StreamPacketRecord> guarded("packet record");
    StreamPacketRecord& packet = *guarded;
    bool gotPacket = false;
    int64_t filled = 0;
    while (filled < wanted) {
        lastStatus = guarded.judge(IQS_GetIQStream_PM1(&device, &packet));
        if (lastStatus != trv::htra::kOk && lastStatus != trv::htra::kIfSaturation) {
            onPacketFailure(out, device);
            return;
        }
        setStatus(lastStatus);
        if (!gotPacket) {
            gotPacket = true;
            if (packet.profile.decimation != 0) {
                const double rate = packet.profile.nativeRate / double(packet.profile.decimation);
                if (rate != curSampleRate) curSampleRate = rate;
            }
        }
        const int64_t fits = std::min(perPacket, wanted - filled);
        if (packet.samples)
            trv::convert::fromScaledInt16(packet.samples, packet.scale, kScale, block + filled,
                                          std::size_t(fits));
        else
            std::fill(block + filled, block + filled + fits, IQ_Elem{0, 0});
        filled += perPacket;
        timeoutRetried = false;
        if (handle.load() == nullptr) {  // disconnected from another thread
            out->resize(0);
            return;
        }
    }
    if (gotPacket) {
        curFrequency = packet.profile.centreFrequency;
        curRefLevel = packet.profile.referenceLevel;
    }
    if (handle.load() != nullptr) lastStatus = IQS_BusTriggerStop(&device);
}

void Harogic::onPacketFailure(QVector<IQ_Elem>* out, void* device) {
    out->resize(0);
    setStatus(lastStatus);
    switch (lastStatus) {
        case trv::htra::kBusTimeout:
            TRELVAN_LOG(harogic) << trv::harogic_text::kBusTimeout;
            // One reconfiguration per run of time-outs; a bounded number per host call, so a device that
            // only ever times out on long acquisitions cannot recurse without end.
            if (!timeoutRetried && recoveriesLeft > 0) {
                timeoutRetried = true;
                --recoveriesLeft;
                setParams(lastParams);
                if (lastStatus == trv::htra::kOk) getData(out);
            }
            break;
        case trv::htra::kTemperatureWarning:
            TRELVAN_LOG(harogic) << trv::harogic_text::kTemperatureWarning;
            break;
        default:
            TRELVAN_LOG(harogic) << trv::harogic_text::kOtherError << lastStatus;
            closeOwned(device);
    }
}
