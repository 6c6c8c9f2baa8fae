// Building and tearing down an SK session, and the getters of the analyzer interface.
#include <QMutex>

#include <trelvan/DynamicVisa.h>
#include "backends/sk/Sk.h"
#include "base/VisaConstants.h"

namespace {
// Serialises SK destructors only; everything else in SK runs unlocked on one thread at a time.
QMutex skMutex;
constexpr Params kDefaultLimits{1e9, 1e7, 0};
}  // namespace

SK::SK(Init init) : SK(init, SkSettleTimes{}) {}

SK::SK(Init init, SkSettleTimes settle)
    : visa(init.visa),
      status(init.status),
      session(init.session),
      resourceManager(init.resourceManager),
      device(init.device),
      error(init.error),
      params(init.params),
      m_settle(settle) {
    resetState();
    runStartUpSequence();
}

SK::SK()
    : visa(nullptr),
      status(nullptr),
      session(nullptr),
      resourceManager(nullptr),
      device(nullptr),
      error(nullptr),
      params(nullptr) {
    resetState();
}

void SK::resetState() {
    m_requestCounter = 0;
    m_ifBandwidth = 0;
    m_numPoints = 0;
    m_blockPoints = 100;
    m_nRUNcounter = 0;
    m_minLimits = kDefaultLimits;
    m_maxLimits = kDefaultLimits;
    m_lastRunHeaderStatus = 1;
    m_lastRunBodyStatus = 1;
    m_curSampleRate = 1e6;
}

SK::~SK() {
    // Wait as long as it takes, in slices, as every teardown in this library does.
    while (!skMutex.tryLock(50)) {
    }
    if (visa != nullptr) {
        if (session != nullptr) visa->viClose(*session);
        if (resourceManager != nullptr) visa->viClose(*resourceManager);
    }
    skMutex.unlock();
}

// Published members of their own; the contract's defaults (no external synchronisation) serve.
void SK::setExtSyncState(bool on) {
    analyzerInterface::setExtSyncState(on);
}

void SK::setExtSyncFreq(double frequency) {
    analyzerInterface::setExtSyncFreq(frequency);
}

Params SK::getParams(suffix which) {
    if (which != MIN && which != MAX) return params != nullptr ? *params : kDefaultLimits;
    Params limits = which == MIN ? m_minLimits : m_maxLimits;
    // No rate can be delivered without a usable response table.
    double span = 0;
    if (!responseSpan(span)) limits.sampleRate = 0;
    return limits;
}

QVector<Error> SK::getErr() {
    QVector<Error> errors;
    if (error != nullptr) errors.append(*error);
    return errors;
}

int SK::getNPts(suffix) {
    double span = 0;
    return responseSpan(span) ? m_numPoints : 0;
}

double SK::getCurSampleRate() {
    return m_curSampleRate;
}
