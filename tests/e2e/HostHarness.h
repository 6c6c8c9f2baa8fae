// What a host-style test needs besides the library: emulated instruments run as separate programs on
// fixed loopback addresses, our VISA library pointed at them, and a way to find a tone in a block.
#pragma once

#include <QProcess>
#include <QVector>
#include <memory>
#include <string>
#include <trelvan/Trelvan.h>
#include <vector>

namespace host {

// One emulator program, started on construction and stopped on destruction.
class Emulator {
public:
    Emulator(const std::string& program, const std::string& listen, const std::vector<std::string>& options = {});
    ~Emulator();
    bool running() const;

private:
    std::unique_ptr<QProcess> process_;
    bool ready_ = false;
};

// Starts an N9030A on address:5025 and an SK instrument on address2:8888, and sets the VISA resource
// list to name them plus `extraEntries` (already formatted entries, ';'-separated).
struct Bench {
    Bench(const std::string& pxaHost, const std::string& skHost, const std::string& extraEntries = "",
          const std::vector<std::string>& pxaOptions = {});
    std::string pxaAddress() const;
    std::string skAddress() const;
    std::unique_ptr<Emulator> pxa;
    std::unique_ptr<Emulator> sk;
    std::string pxaHost, skHost;
};

// The entry of the discovered list whose address is `address` and that is not busy; null when none.
const DeviceData* find(const std::vector<DeviceData>& list, const std::string& address);

// Frequency offset of the strongest spectral line in the block, from a plain DFT, in Hz.
double strongestOffsetHz(const QVector<IQ_Elem>& block, double sampleRate);

// Resident set size of this process in bytes.
long residentBytes();

}  // namespace host
