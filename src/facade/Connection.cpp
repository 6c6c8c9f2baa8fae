// Connecting: the backend table chooses the row from the record, a VISA row has its session opened here,
// and the backend's constructor sets the instrument up. The facade keeps the row it connected.
#include <cstring>

#include "backends/BackendTable.h"
#include "facade/Facade.h"
#include "facade/FacadeLock.h"
#include "facade/FacadeState.h"
#include "facade/FacadeTexts.h"
#include "facade/Shielded.h"
#include "util/Log.h"

namespace {

constexpr ViUInt32 kOpenTimeoutMs = 5000;

// Closes the facade's instrument session and its resource manager when they are still open: a connect
// that failed after its open, or a link that failed since, still holds the instrument, which is opened
// exclusively, so a new open beside it would be refused.
void releaseSessions(Trelvan& t) {
    ViAttrState timeout = 0;
    if (t.session != 0 && t.visa.viGetAttribute(t.session, VI_ATTR_TMO_VALUE, &timeout) == VI_SUCCESS) {
        t.visa.viClose(t.session);
        t.visa.viClose(t.resourceManager);
        t.session = 0;
        t.resourceManager = 0;
    }
}

}  // namespace

void Trelvan::replaceBackend(analyzerInterface* next) {
    analyzerInterface* previous = backend;
    backend = next;
    if (previous == nullptr) return;
    // A replaced backend's destructor may close the sessions its Init points at, which are the facade's:
    // let it see none while it goes.
    const ViSession keptSession = session;
    const ViSession keptManager = resourceManager;
    session = 0;
    resourceManager = 0;
    delete previous;
    session = keptSession;
    resourceManager = keptManager;
}

bool Trelvan::setConnect(DeviceData selected) {
    std::memcpy(device.address, selected.address, sizeof device.address);
    device.model = selected.model;
    device.serial = selected.serial;
    device.busy = selected.busy;

    const BackendRow* chosen = trv::backends::forDevice(device);
    trv::facade::stateOf(*this).row = chosen;
    if (chosen == nullptr) return false;
    const BackendRow& row = *chosen;
    isPXA = row.speaksFacadeScpi;
    isHarogic = !row.needsVisaSession;
    init = Init{&visa, &status, &session, &resourceManager, &params, &error, &device};

    if (!row.needsVisaSession) {
        replaceBackend(shielded(
            "setConnect", [&] { return row.make(init); }, [] { return nullptr; }));
        return backend != nullptr && status == 0;
    }
    if (device.busy) return false;
    if (status == 0) return true;
    releaseSessions(*this);
    status = visa.viOpenDefaultRM(&resourceManager);
    TRELVAN_LOG(facade) << trv::facade_text::kOpening << QString::fromLocal8Bit(device.address);
    status = visa.viOpen(resourceManager, device.address, VI_EXCLUSIVE_LOCK, kOpenTimeoutMs, &session);
    if (status != 0) {
        // Nothing of this attempt may outlive it, so the next one starts from scratch.
        if (resourceManager != 0) visa.viClose(resourceManager);
        resourceManager = 0;
        session = 0;
        return false;
    }
    replaceBackend(shielded(
        "setConnect", [&] { return row.make(init); }, []() -> analyzerInterface* { return nullptr; }));
    if (backend != nullptr && status == 0) return true;
    releaseSessions(*this);
    return false;
}

void Trelvan::setDisconnect() {
    trv::facade::State& state = trv::facade::stateOf(*this);
    const BackendRow* row = state.row;
    if (row != nullptr && !row->needsVisaSession) {
        if (backend != nullptr && row->disconnect != nullptr)
            shielded("setDisconnect", [&] { row->disconnect(backend); });
    } else {
        // The status word is written only once the running acquisition is over: before that, the
        // backend would overwrite it, and the two threads would race on it.
        lockForTeardown(state.acquisition);
        status = 1;
        if (session != 0) {
            visa.viClose(session);
            visa.viClose(resourceManager);
        }
        unlockFacade(state.acquisition);
    }
    state.row = nullptr;
    isPXA = false;
    isHarogic = false;
}
