// Name resolution that gives up at a deadline, since the system resolver can take far longer than an
// instrument timeout.
#pragma once

#include <sys/socket.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Deadline.h"
#include "base/VisaConstants.h"

namespace mivisa {

struct Address {
    sockaddr_storage storage{};
    socklen_t length = 0;
};

// VI_SUCCESS with at least one address, VI_ERROR_TMO, or VI_ERROR_RSRC_NFOUND.
ViStatus resolveHost(const std::string& host, uint16_t port, const Deadline& deadline,
                     std::vector<Address>& out);

}  // namespace mivisa
