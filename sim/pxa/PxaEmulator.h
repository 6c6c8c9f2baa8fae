// An emulated Keysight N9030A on a TCP socket: the SCPI it understands, the settings it keeps with their
// limits, a tone plus noise as its input, and faults on request. Start it in-process on a loopback
// address; port 0 picks a free port, which port() then reports.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sim {

struct PxaFaults {
    // Stall and close faults hit the capture block (the reply to ":CALCulate:VECTor:DATA2:RAW?") unless
    // everyReply is set. Byte offsets count from the reply's first byte.
    bool everyReply = false;
    int stallBeforeMs = 0;           // pause before the first byte
    long long stallAfterBytes = -1;  // pause after this many bytes ...
    int stallInsideMs = 0;           // ... for this long
    long long closeAfterBytes = -1;  // drop the connection after this many bytes
    // Every reply goes out one byte per write, this many microseconds apart (negative: off).
    int dripDelayUs = -1;

    // The block header announces one length digit fewer than it sends.
    bool wrongDigitCount = false;
    // The block header's length digits are letters.
    bool nonNumericLength = false;
    // When not empty, sent in place of the whole block header ("#", digit count, length digits), so a
    // header can announce what the data do not hold ("#0", "#A...", "#102147483647").
    std::string blockHeader;

    // ":SYSTem:ERRor:NEXT?" keeps answering an error and never reaches "+0".
    bool errorQueueNeverEmpties = false;
    enum class Opc { Normal, Garbage, Zero };
    Opc opc = Opc::Normal;  // what "*OPC?" answers
};

// What the instrument is set to now.
struct PxaSettings {
    double centerHz;
    double spanHz;
    double sampleRate;  // span x 1.28
    double rbwHz;
    double rfRangeDbm;
    long long points;  // samples per capture: 3.8194 x sample rate / RBW
    int mode;
    bool asciiFormat;  // else REAL (32-bit floats)
    bool swapped;      // byte order SWAPped (least significant first), else NORMal
};

class PxaEmulator {
public:
    PxaEmulator();
    ~PxaEmulator();  // stops
    PxaEmulator(const PxaEmulator&) = delete;
    PxaEmulator& operator=(const PxaEmulator&) = delete;

    // Listens on an IPv4 address; false, with error(), when it cannot, and for a start while it listens.
    bool start(const std::string& address = "127.0.0.1", uint16_t port = 0);
    // Closes the listener and every connection; safe to call twice.
    void stop();
    uint16_t port() const;
    std::string address() const;
    // "TCPIP0::<address>::<port>::SOCKET"
    std::string resource() const;
    std::string error() const;

    // The input: one tone at an offset from the centre frequency, plus noise (total power over the
    // sample rate). A tone outside the span is filtered out, as the instrument's IF would.
    void setTone(double offsetHz, double levelDbm);
    void setNoiseDbm(double dbm);
    void setSerial(const std::string& serial);

    void setFaults(const PxaFaults& faults);
    PxaFaults faults() const;
    void clearFaults();

    // Every message received, in order, without its line end.
    std::vector<std::string> log() const;
    void clearLog();
    int connectionsAccepted() const;

    PxaSettings settings() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace sim
