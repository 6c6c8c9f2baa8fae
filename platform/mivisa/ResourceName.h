// TCPIP[board]::host::port::SOCKET resource strings.
#pragma once

#include <cstdint>
#include <string>

#include "base/VisaConstants.h"

namespace mivisa {

struct ResourceName {
    unsigned board = 0;
    std::string host;  // IPv6 addresses without their brackets
    bool ipv6 = false;
    uint16_t port = 0;

    // "TCPIP<board>::<host>::<port>::SOCKET", the form find lists and VI_ATTR_RSRC_NAME report.
    std::string canonical() const;
    // Identifies the instrument whatever the spelling: locks and the busy flag are kept per key.
    std::string key() const;
};

// VI_SUCCESS; VI_ERROR_RSRC_NFOUND for a well-formed resource of another kind (INSTR, USB, GPIB...);
// VI_ERROR_INV_RSRC_NAME for anything else.
ViStatus parseResourceName(const char* text, ResourceName& out);

}  // namespace mivisa
