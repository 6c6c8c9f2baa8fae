#include "facade/Facade.h"
#include "visa/LibraryName.h"

#include "facade/FacadeTexts.h"
#include "util/Log.h"

#include "facade/FacadeLock.h"
#include "facade/FacadeState.h"
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
    trv::facade::stateOf(*this);
    TRELVAN_LOG(facade) << trv::facade_text::kGreeting;
    status = visa.Initialize(kVisaLibraryName);
    TRELVAN_LOG(visa) << trv::facade_text::kVisaStatus << status;
}

Trelvan::~Trelvan() {
    QMutex& acquisition = trv::facade::stateOf(*this).acquisition;
    lockForTeardown(acquisition);
    status = VI_ERROR_ABORT;
    // An object a program made for an instrument of its own goes with its backend and the sessions its
    // connect opened, so the instrument is free again. The global instance keeps its unload sequence: it
    // ends with the process, when the device library may already be gone.
    if (this != &trelvan) {
        const BackendRow* row = trv::facade::stateOf(*this).row;
        replaceBackend(nullptr);
        if (row != nullptr && row->needsVisaSession && session != 0) {
            visa.viClose(session);
            visa.viClose(resourceManager);
        }
    }
    visa.Uninitialize();
    unlockFacade(acquisition);
    trv::facade::forget(*this);
}

int Trelvan::getStatus() {
    return status;
}

void Trelvan::setParam(Params p) {
    if (backend) shielded("setParam", [&] { backend->setParams(p); });
}

void Trelvan::setNumPts(int n) {
    if (backend) shielded("setNumPts", [&] { backend->setNumPoints(n); });
}

Params Trelvan::getParameters(suffix which) {
    // With nothing connected the facade's own record is the best answer there is.
    if (!backend) return params;
    return shielded(
        "getParameters", [&] { return backend->getParams(which); }, [&] { return params; });
}

int Trelvan::getNumPTS(suffix which) {
    return backend ? shielded(
                         "getNumPTS", [&] { return backend->getNPts(which); }, [] { return 0; })
                   : 0;
}

double Trelvan::getCurSampleRate() {
    return backend ? shielded(
                         "getCurSampleRate", [&] { return backend->getCurSampleRate(); }, [] { return 0.0; })
                   : 0.0;
}

void Trelvan::setExtSyncState(bool on) {
    if (backend) shielded("setExtSyncState", [&] { backend->setExtSyncState(on); });
}

void Trelvan::setExtSyncFreq(double frequency) {
    if (backend) shielded("setExtSyncFreq", [&] { backend->setExtSyncFreq(frequency); });
}

void Trelvan::getData(QVector<IQ_Elem>* samples) {
    FacadeLock hold(trv::facade::stateOf(*this).acquisition);
    if (samples == nullptr) return;
    samples->resize(0);
    // The host sees what arrived before anything was thrown.
    if (backend != nullptr) shielded("getData", [&] { backend->getData(samples); });
}
