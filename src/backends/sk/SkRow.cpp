// The SK instruments' row: how their records are recognised, made and listed, and what their samples are.
#include "backends/BackendRow.h"
#include "backends/sk/Sk.h"

namespace {

// "K4" in either alphabet, in any case.
bool recognisesModel(const QString& model) {
    return model.contains(QStringLiteral("k4"), Qt::CaseInsensitive) ||
           model.contains(QStringLiteral("к4"), Qt::CaseInsensitive);
}

bool recognisesAddress(const QString& address) {
    return address.contains(QStringLiteral("k4"), Qt::CaseInsensitive);
}

analyzerInterface* make(Init init) {
    return new SK(init);
}

// Corrected 32-bit converter counts: the converter's full scale after the post-processing's scale,
// whatever the reference level.
double fullScale(int) {
    return 2147483648.0 * trv::sk::kOutputScale;
}

std::vector<RateChoice> sampleRates(analyzerInterface* backend, const Params&, const Params&) {
    // The table hands this row only the backends it made.
    return backend == nullptr ? std::vector<RateChoice>{}
                              : trv::sk::deliverableRates(*static_cast<SK*>(backend));
}

void pointsLimits(analyzerInterface* backend, int& min, int& max) {
    trv::sk::pointsLimits(*static_cast<SK*>(backend), min, max);
}

const char* const kMakers[] = {"Reruro", nullptr};

const BackendRow kSkRow = {
    .name = "SK",
    .order = 20,
    .recognisesModel = &recognisesModel,
    .recognisesAddress = &recognisesAddress,
    .takesTheRest = false,
    .needsVisaSession = true,
    .resourcePrefix = "TCPIP::",
    .port = 8888,
    .makers = kMakers,
    .takesUnknownResources = true,
    .speaksFacadeScpi = false,
    .enumerate = nullptr,
    .make = &make,
    .errorList = nullptr,
    .disconnect = nullptr,
    .sampleUnit = "corrected counts",
    .voltsPerUnit = 0.0,
    .fullScale = &fullScale,
    .continuousRates = false,
    .sampleRates = &sampleRates,
    .pointsLimits = &pointsLimits,
    .pointsMeaning = "points delivered per block after band narrowing; the raw block behind them, a power of "
                     "two, is bounded by the session",
    .overloadCode = 0,
};

}  // namespace

TRELVAN_REGISTER_BACKEND(kSkRow);
