// Fault matrix, Harogic USB analyzer: the device library's stand-in returns the statuses -1 to -14 at
// each call the backend makes, while a host drives the facade. A fault that names several statuses is one
// row for each.
#include <HtraSim.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "FaultMatrix.h"

namespace {

using namespace faults;

constexpr int kPoints = 10000;  // three packets of 4096
constexpr int kInjected = 1;    // in a fault's status column: the injected status

class Harogic : public Instrument {
public:
    Harogic() : Instrument("Harogic", kPoints, "0:") { device = deviceAt("USB::0", "E90-R0"); }
    void reset() override { HtraSim_Reset(); }
    void disarm() override { undo(); }
    std::function<void()> undo = [] {};
};

// The next `count` calls of `f` return the row's status, beginning `after` calls from now.
std::function<void(Instrument&, int)> failNext(HtraSimFunction f, int count, int after = 0) {
    return [=](Instrument&, int status) {
        HtraSim_InjectStatus(0, f, HtraSim_CallCount(0, f) + 1 + after, count, status);
    };
}

struct Fault {
    const char* name;
    Entry entry;
    std::vector<int> statuses;
    std::function<void(Instrument&, int)> arm;
    Bound bound;
    Block block;
    int status;  // kInjected: the injected one
    bool open;   // the device afterwards
    Recovery recovery = Recovery::NextCapture;
    const char* logged = nullptr;
};

std::vector<int> allBut(std::vector<int> left) {
    std::vector<int> out;
    for (int s = -1; s >= -14; --s)
        if (std::find(left.begin(), left.end(), s) == left.end()) out.push_back(s);
    return out;
}

const std::vector<int> kAll = allBut({});
const auto kCapture = Entry::Capture;
const auto kEmpty = Block::Empty;
const auto kFull = Block::Full;
const auto kUnchanged = Block::Unchanged;
const auto kNext = Recovery::NextCapture;
const auto kReconnect = Recovery::Reconnect;

void noSamplesPerPacket(Instrument& in, int) {
    HtraSim_SetSamplesPerPacket(0, 0);
    in.t->setNumPts(kPoints);  // takes effect at the next configuration
    static_cast<Harogic&>(in).undo = [] { HtraSim_SetSamplesPerPacket(0, 4096); };
}

void slowPackets(Instrument& in, int) {
    HtraSim_SetPacketDelay(0, 50000);
    static_cast<Harogic&>(in).undo = [] { HtraSim_SetPacketDelay(0, 0); };
}

void busNeverDelivers(Instrument& in, int status) {
    failNext(HTRASIM_GET_IQ_STREAM, 1000000)(in, status);
    static_cast<Harogic&>(in).undo = [] { HtraSim_Reset(); };
}

const std::vector<Fault> kFaults = {
    {"Device_Open fails on all 30 attempts", Entry::Connect, kAll, failNext(HTRASIM_DEVICE_OPEN, 30),
     waits(30, 10, "open retry"), kUnchanged, kInjected, false, kReconnect},
    {"Device_Open fails 29 times, then opens", Entry::Connect, {-1}, failNext(HTRASIM_DEVICE_OPEN, 29),
     waits(29, 10, "open retry"), kUnchanged, 0, true},
    {"IQS_ProfileDeInit fails at connect", Entry::Connect, kAll, failNext(HTRASIM_PROFILE_DEINIT, 1), kNoWait,
     kUnchanged, 0, true},
    {"IQS_Configuration fails at connect", Entry::Connect, kAll, failNext(HTRASIM_CONFIGURATION, 1), kNoWait,
     kUnchanged, kInjected, false, kReconnect},
    {"IQS_Configuration fails when the host sets the points", Entry::SetPoints, kAll,
     failNext(HTRASIM_CONFIGURATION, 1), kNoWait, kUnchanged, kInjected, true},
    {"IQS_BusTriggerStart fails", kCapture, kAll, failNext(HTRASIM_BUS_TRIGGER_START, 1), kNoWait, kFull, 0,
     true},
    {"IQS_BusTriggerStop fails", kCapture, kAll, failNext(HTRASIM_BUS_TRIGGER_STOP, 1), kNoWait, kFull, 0,
     true},
    {"packet read fails", kCapture, allBut({-10, -12, -14}), failNext(HTRASIM_GET_IQ_STREAM, 1), kNoWait,
     kEmpty, kInjected, false, kReconnect},
    {"device vanishes after the first packet", kCapture, {-1}, failNext(HTRASIM_GET_IQ_STREAM, 1, 1),
     kNoWait, kEmpty, kInjected, false, kReconnect},
    {"packet read: bus time-out once", kCapture, {-10}, failNext(HTRASIM_GET_IQ_STREAM, 1), kNoWait,
     kFull, 0, true, kNext, "Warning: bus timeout "},
    {"packet read: bus time-out three times in a row", kCapture, {-10},
     failNext(HTRASIM_GET_IQ_STREAM, 3), kNoWait, kEmpty, kInjected, true},
    {"packet read: the bus never delivers", kCapture, {-10}, busNeverDelivers, kNoWait, kEmpty, kInjected,
     true, kReconnect},
    {"packet read: IF saturation on every packet", kCapture, {-12}, failNext(HTRASIM_GET_IQ_STREAM, 3),
     kNoWait, kFull, kInjected, true},
    {"packet read: temperature warning", kCapture, {-14}, failNext(HTRASIM_GET_IQ_STREAM, 1), kNoWait,
     kEmpty, kInjected, true},
    {"device reports 0 samples per packet", kCapture, {0}, noSamplesPerPacket, kNoWait, kEmpty, 0, true,
     kReconnect},
    {"packets arrive slowly (50 ms each)", kCapture, {0}, slowPackets, waits(3, 50, "packet delay"),
     kFull, 0, true},
};

// One row per fault and status; the facade reports the library's status, -12 as the overload a host shows.
std::vector<Row> rows() {
    std::vector<Row> out;
    for (const Fault& f : kFaults) {
        for (int injected : f.statuses) {
            const int status = f.status == kInjected ? injected : f.status;
            const auto arm = f.arm;
            const bool open = f.open;
            out.push_back({std::string(f.name) + (injected ? " (" + std::to_string(injected) + ")" : ""),
                           f.entry, [arm, injected](Instrument& in) { arm(in, injected); }, f.bound, f.block,
                           status, std::to_string(status) + ":" + (status == -12 ? "Overload!" : ""),
                           f.recovery, Block::Empty, 0, f.logged});
            out.back().also = [open] { EXPECT_EQ(HtraSim_IsOpen(0) == 1, open) << "device open"; };
        }
    }
    return out;
}
const std::vector<Row> kRows = rows();

FAULT_MATRIX(HarogicFaults, Harogic, kRows);

}  // namespace
