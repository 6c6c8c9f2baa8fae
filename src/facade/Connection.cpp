#include <cstring>

#include "facade/FacadeLock.h"
#include "facade/Trelvan.h"

bool Trelvan::setConnect(DeviceData selected) {
    std::memcpy(device.address, selected.address, sizeof device.address);
    device.model = selected.model;
    device.serial = selected.serial;
    device.busy = selected.busy;
    // No backend is built into the library yet, so no instrument can be driven.
    return false;
}

void Trelvan::setDisconnect() {
    status = 1;
    lockForTeardown(facadeMutex);
    if (session != 0) {
        visa.viClose(session);
        visa.viClose(resourceManager);
    }
    facadeMutex.unlock();
    isPXA = false;
    isHarogic = false;
}
