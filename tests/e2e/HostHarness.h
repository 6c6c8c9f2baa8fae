// What a host-style test needs besides the library: an emulated N9030A and SK instrument run as separate
// programs on loopback addresses of their own, and our VISA library pointed at them.
#pragma once

#include <QProcess>
#include <memory>
#include <string>
#include <trelvan/Trelvan.h>
#include <vector>

namespace host {

// Starts an N9030A on pxaHost:5025 and an SK instrument on skHost:8888, stopped on destruction, and sets
// the VISA resource list to name them.
struct Bench {
    Bench(const std::string& pxaHost, const std::string& skHost, const QStringList& pxaOptions = {});
    ~Bench();
    bool running();
    std::string pxaAddress() const { return "TCPIP0::" + pxaHost + "::5025::SOCKET"; }
    std::string skAddress() const { return "TCPIP::" + skHost + "::8888::SOCKET"; }
    std::string pxaHost, skHost;
    QProcess pxa, sk;
};

// The entry of the discovered list whose address is `address` and that is not busy; null when none.
const DeviceData* find(const std::vector<DeviceData>& list, const std::string& address);

}  // namespace host
