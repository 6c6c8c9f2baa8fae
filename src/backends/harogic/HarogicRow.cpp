// The Harogic USB devices' row: how their records are recognised, made, listed and released, and what
// their samples are.
#include "backends/BackendRow.h"
#include "backends/ErrorTexts.h"
#include "backends/harogic/Harogic.h"

namespace {

// The attached devices, found by a probe object that touches no open device.
void enumerate(QVector<DeviceData>* found) {
    Harogic probe;
    probe.getDevList(found);
}

analyzerInterface* make(Init init) {
    return new Harogic(init);
}

// The backend's own list; the device library's IF overload code reads "Overload!".
QVector<Error> errorList(const Init&, analyzerInterface* backend) {
    if (backend == nullptr) return {};
    QVector<Error> list = backend->getErr();
    if (!list.isEmpty() && list[0].code == trv::errors::kOverloadCode) list[0].text = trv::errors::overloadText();
    return list;
}

void disconnect(analyzerInterface* backend) {
    // The table hands this row only the backends it made.
    static_cast<Harogic*>(backend)->disconnectH();
}

// Volts at the input, multiplied by the backend's constant gain.
double fullScale(int refLevelDbm) {
    return trv::backends::toneAmplitudeVolts(refLevelDbm + 3.0) * Harogic::kScale;
}

std::vector<RateChoice> sampleRates(analyzerInterface*, const Params& min, const Params& max) {
    return trv::harogic::deliverableRates(min, max);
}

// Any count the device streams; a block is one sample vector, which holds at most 2^27 samples.
void pointsLimits(analyzerInterface*, int& min, int& max) {
    min = 1;
    max = 1 << 27;
}

const BackendRow kHarogicRow = {
    .name = "Harogic",
    .order = 30,
    .recognisesModel = nullptr,
    .recognisesAddress = nullptr,
    .takesTheRest = true,
    .needsVisaSession = false,
    .resourcePrefix = "",
    .port = 0,
    .makers = nullptr,
    .takesUnknownResources = false,
    .speaksFacadeScpi = false,
    .enumerate = &enumerate,
    .make = &make,
    .errorList = &errorList,
    .disconnect = &disconnect,
    .sampleUnit = "scaled volts",
    .voltsPerUnit = 1.0 / Harogic::kScale,
    .fullScale = &fullScale,
    .continuousRates = false,
    .sampleRates = &sampleRates,
    .pointsLimits = &pointsLimits,
    .pointsMeaning = "samples per block, gathered from as many packets as it takes",
    .overloadCode = trv::errors::kOverloadCode,
};

}  // namespace

TRELVAN_REGISTER_BACKEND(kHarogicRow);
