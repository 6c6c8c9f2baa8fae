// The N9030A's row: how its records are recognised, made and listed, and what its samples are.
#include <algorithm>
#include <cmath>

#include "backends/BackendRow.h"
#include "backends/ErrorTexts.h"
#include "backends/pxa/Pxa.h"
#include "backends/pxa/PxaScpi.h"

namespace {

bool recognisesModel(const QString& model) {
    return model.contains(QStringLiteral("N9030A"), Qt::CaseInsensitive);
}

analyzerInterface* make(Init init) {
    return new PXA(init);
}

// Read over the facade's session, so the list is the same whatever backend object stands behind it.
QVector<Error> errorList(const Init& facade, analyzerInterface*) {
    QVector<Error> list;
    if (facade.error->code != 0) list.append(*facade.error);
    if (*facade.status != VI_SUCCESS) {
        list.append(Error{trv::errors::kVisaTimeoutCode, trv::errors::visaTimeoutText()});
        return list;
    }
    trv::pxa::ScpiLink(*facade.visa, *facade.status, *facade.session, *facade.resourceManager, *facade.device)
        .readErrorQueue(list);
    return list;
}

// The samples are volts at the instrument's input.
double fullScale(int refLevelDbm) {
    return trv::backends::toneAmplitudeVolts(refLevelDbm + 3.0);
}

// The span sets the rate freely between the limits; offer the 1-2-5 steps between them and the limits.
std::vector<RateChoice> sampleRates(analyzerInterface*, const Params& min, const Params& max) {
    std::vector<RateChoice> rates;
    // Limits come from the instrument: an infinite one would make the list endless.
    if (!(min.sampleRate > 0) || !(max.sampleRate >= min.sampleRate) || !std::isfinite(max.sampleRate))
        return rates;
    rates.push_back({min.sampleRate, min.sampleRate});
    for (double decade = 1; decade <= max.sampleRate; decade *= 10)
        for (double step : {1.0, 2.0, 5.0}) {
            const double rate = decade * step;
            if (rate > min.sampleRate && rate < max.sampleRate) rates.push_back({rate, rate});
        }
    if (max.sampleRate > min.sampleRate) rates.push_back({max.sampleRate, max.sampleRate});
    return rates;
}

// The resolution bandwidth bounds the points: its lower limit gives the most, its upper the fewest.
void pointsLimits(analyzerInterface* backend, int& min, int& max) {
    const int a = backend->getNPts(MIN);
    const int b = backend->getNPts(MAX);
    min = std::min(a, b);
    max = std::max(a, b);
}

const char* const kMakers[] = {"Agilent", "Keysight", nullptr};

const BackendRow kPxaRow = {
    .name = "PXA",
    .order = 10,
    .recognisesModel = &recognisesModel,
    .recognisesAddress = nullptr,
    .takesTheRest = false,
    .needsVisaSession = true,
    .resourcePrefix = "TCPIP0::",
    .port = 5025,
    .makers = kMakers,
    .takesUnknownResources = false,
    .speaksFacadeScpi = true,
    .enumerate = nullptr,
    .make = &make,
    .errorList = &errorList,
    .disconnect = nullptr,
    .sampleUnit = "volt",
    .voltsPerUnit = 1.0,
    .fullScale = &fullScale,
    .continuousRates = true,
    .sampleRates = &sampleRates,
    .pointsLimits = &pointsLimits,
    .pointsMeaning = "samples per block, within the capture length the instrument allows at the current rate",
    .overloadCode = 0,
};

}  // namespace

TRELVAN_REGISTER_BACKEND(kPxaRow);
