#include "facade/Trelvan.h"

#include "facade/FacadeTexts.h"
#include "util/Log.h"

#include "facade/FacadeLock.h"
#include "facade/Shielded.h"

namespace {
const Params kDefaultParams{1e9, 1e7, 0};
}

Trelvan::Trelvan()
    : backend(nullptr),
      init{},
      visa(nullptr),
      isPXA(false),
      isHarogic(false),
      params(kDefaultParams),
      status(1),
      resourceManager(0),
      session(0) {
    TRELVAN_LOG(facade) << trv::facade_text::kGreeting;
    status = visa.Initialize(kVisaLibraryName);
    TRELVAN_LOG(visa) << trv::facade_text::kVisaStatus << status;
}

Trelvan::~Trelvan() {
    lockForTeardown();
    status = VI_ERROR_ABORT;
    visa.Uninitialize();
    unlockFacade();
}

int Trelvan::getStatus() { return status; }

void Trelvan::setParam(Params p) {
    if (backend) shielded([&] { backend->setParams(p); });
}

void Trelvan::setNumPts(int n) {
    if (backend) shielded([&] { backend->setNumPoints(n); });
}

Params Trelvan::getParameters(suffix which) {
    // With nothing connected the facade's own record is the best answer there is.
    if (!backend) return params;
    return shielded([&] { return backend->getParams(which); }, [&] { return params; });
}

int Trelvan::getNumPTS(suffix which) {
    return backend ? shielded([&] { return backend->getNPts(which); }, [] { return 0; }) : 0;
}

double Trelvan::getCurSampleRate() {
    return backend ? shielded([&] { return backend->getCurSampleRate(); }, [] { return 0.0; }) : 0.0;
}

void Trelvan::setExtSyncState(bool on) {
    if (backend) shielded([&] { backend->setExtSyncState(on); });
}

void Trelvan::setExtSyncFreq(double frequency) {
    if (backend) shielded([&] { backend->setExtSyncFreq(frequency); });
}

void Trelvan::getData(QVector<IQ_Elem>* samples) {
    FacadeLock hold;
    if (samples == nullptr) return;
    samples->resize(0);
    if (backend == nullptr) return;
    try {
        backend->getData(samples);
    } catch (...) {
        // Nothing a backend throws (an allocation that failed, say) may reach the host; the host
        // sees what it got so far.
    }
}
