// The demo's instruments: an emulated N9030A and SK instrument on free loopback addresses, and a
// simulated USB device in the htra_api stand-in, each with a tone of known offset and level.
#pragma once

#include <QString>
#include <memory>
#include <vector>

#include "Acquire.h"

namespace cli {

struct DemoInstrument {
    QString name;         // file name stem and table label
    QString addressHint;   // text that the discovered address contains
    bool simulated = false;  // instead: the device library's simulated device
    Request request;
    double toneOffsetHz = 0;
    double toneLevelDbm = 0;
    // Volts per sample unit where the instrument itself does not fix it (the SK's counts depend on the
    // emulator's converter); 0 keeps what the device type says.
    double voltsPerUnit = 0;
};

class DemoLab {
public:
    DemoLab();
    ~DemoLab();
    // Starts everything and points our VISA library at the emulators through MIVISA_RESOURCES.
    bool start(QString& error);
    const std::vector<DemoInstrument>& instruments() const { return instruments_; }
    // Why an instrument kind is left out of this run (e.g. a vendor htra_api in use), or empty.
    QString skipped() const { return skipped_; }

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::vector<DemoInstrument> instruments_;
    QString skipped_;
};

}  // namespace cli
