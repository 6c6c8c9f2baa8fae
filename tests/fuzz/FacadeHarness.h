// The global facade as connected to an N9030A, its VISA slots pointed at the fuzzed instrument.
#pragma once

#include <cstring>

#include "FuzzVisa.h"
#include "facade/Trelvan.h"

inline void connectFacade(FuzzVisa& instrument) {
    instrument.install(trelvan.visa);
    trelvan.isPXA = true;
    trelvan.isHarogic = false;
    trelvan.status = VI_SUCCESS;
    trelvan.resourceManager = 7;
    trelvan.session = 8;
    std::strcpy(trelvan.device.address, "TCPIP0::127.0.0.1::5025::SOCKET");
}
