// Fault matrix, discovery: the resource list names a live N9030A beside hosts that are dead or misbehave,
// and the USB device library refuses devices; the search must stay bounded and list what it should.
#include <HtraSim.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "FaultMatrix.h"
#include "PxaEmulator.h"
#include "support/LogCapture.h"
#include "support/LoopbackServer.h"

namespace {

using namespace faults;

constexpr int kProbeMs = 300;
const char* const kPxaHost = "127.0.0.91";  // discovery lists an N9030A at port 5025, so it must listen there
const std::string kPxa = "TCPIP0::127.0.0.91::5025::SOCKET N9030A MY0042";
const std::string kUsb0 = "USB::0 E90-R0 1000001";
// A host that is reachable but says nothing usable is listed, under the SK port, with no texts.
const std::string kUnnamed = "TCPIP::127.0.0.1::8888::SOCKET  ";

using support::LoopbackServer;
using Host = std::function<std::unique_ptr<LoopbackServer>()>;

Host kind(LoopbackServer::Kind k) {
    return [k] { return std::make_unique<LoopbackServer>(k); };
}
Host script(LoopbackServer::Script s) {
    return [s] { return std::make_unique<LoopbackServer>(s); };
}
const Host kRefuses = kind(LoopbackServer::Kind::Refuse);
const Host kNeverAccepts = kind(LoopbackServer::Kind::NeverAccept);
const Host kSilent = kind(LoopbackServer::Kind::Silent);
const Host kEndlessLine = script([](LoopbackServer::Peer& p) {
    std::string line;
    p.line(line);
    while (p.send(std::string(4096, 'A'))) {
    }
});
const Host kClosesAtOnce = script([](LoopbackServer::Peer&) {});

std::string describe(const std::vector<DeviceData>& list) {
    std::string out;
    for (const DeviceData& d : list) {
        if (!out.empty()) out += "; ";
        out += std::string(d.address) + " " + d.model + " " + d.serial + (d.busy ? " busy" : "");
    }
    return out;
}

struct Row {
    const char* name;
    std::vector<Host> hosts;    // listed after the live N9030A
    std::function<void()> arm;  // faults of the USB library
    Bound bound;
    std::string listed;
};

const Bound kOneProbe = waits(1, kProbeMs, "probe timeout");
const std::string kBoth = kPxa + "; " + kUsb0;
const std::string kUnnamedToo = kUnnamed + "; " + kBoth;
const auto kNoUsbFault = [] {};

// Two simulated devices, and the first call of `f` for `device` returns `status`.
std::function<void()> usbFault(int device, HtraSimFunction f, int status) {
    return [=] {
        HtraSim_SetDeviceCount(2);
        HtraSim_InjectStatus(device, f, 1, 1, status);
    };
}

const std::vector<Row> kRows = {
    {"no fault", {}, kNoUsbFault, kOneProbe, kBoth},
    {"dead host (connection refused)", {kRefuses}, kNoUsbFault, kOneProbe, kBoth},
    {"eight hosts never answer the connection", std::vector<Host>(8, kNeverAccepts), kNoUsbFault, kOneProbe,
     kBoth},
    {"host accepts but never answers *IDN?", {kSilent}, kNoUsbFault, kOneProbe, kUnnamedToo},
    {"host answers *IDN? with an endless line", {kEndlessLine}, kNoUsbFault, kOneProbe, kUnnamedToo},
    {"host closes the connection at once", {kClosesAtOnce}, kNoUsbFault, kOneProbe, kUnnamedToo},
    {"USB library refuses to open device 1 of 2", {}, usbFault(1, HTRASIM_DEVICE_OPEN, -3), kOneProbe, kBoth},
    {"USB library fails the info query of device 0 of 2",
     {},
     usbFault(0, HTRASIM_QUERY_DEVICE_INFO, -1),
     kOneProbe,
     kPxa + "; USB::0 Undefined type 0"},
};

class DiscoveryFaults : public ::testing::TestWithParam<size_t> {
protected:
    static void SetUpTestSuite() { setenv("MIVISA_PROBE_TIMEOUT_MS", std::to_string(kProbeMs).c_str(), 1); }
    void SetUp() override {
        HtraSim_Reset();
        ASSERT_TRUE(pxa.start(kPxaHost, 5025));
        pxa.setSerial("MY0042");
    }
    void TearDown() override { unsetenv("MIVISA_RESOURCES"); }
    sim::PxaEmulator pxa;
    support::LogCapture log;
};

TEST_P(DiscoveryFaults, ReturnsInBoundListsWhatItShouldAndConnects) {
    const Row& row = kRows[GetParam()];
    SCOPED_TRACE(row.name);
    std::vector<std::unique_ptr<LoopbackServer>> hosts;
    std::string entries = pxa.resource();
    for (const Host& make : row.hosts) {
        hosts.push_back(make());
        entries += ";" + hosts.back()->resource();
    }
    setenv("MIVISA_RESOURCES", entries.c_str(), 1);
    row.arm();
    Facade t = makeFacade();

    std::vector<DeviceData> list;
    const long took =
        guarded(row.name, row.bound.ms + kAllowanceMs + kRelaxedMs, [&] { list = t->getDevList(); });
    record("discovery", row.name, row.bound, took);
    EXPECT_EQ(describe(list), row.listed);
    EXPECT_EQ(t->getStatus(), 1);
    EXPECT_EQ(faults::describe(t->getError()), "");

    // Whatever else was on the list, the instrument on it can be used.
    const auto found =
        std::find_if(list.begin(), list.end(), [](const DeviceData& d) { return d.model == "N9030A"; });
    ASSERT_NE(found, list.end());
    ASSERT_TRUE(t->setConnect(*found));
    t->setNumPts(4096);
    QVector<IQ_Elem> iq;
    t->getData(&iq);
    EXPECT_EQ(iq.size(), 4096);
    EXPECT_EQ(t->getStatus(), 0);
    // Our own session makes it busy to the next search, which does not connect to it again.
    const int connections = pxa.connectionsAccepted();
    EXPECT_NE(describe(t->getDevList()).find(kPxa + " busy"), std::string::npos);
    EXPECT_EQ(pxa.connectionsAccepted(), connections);
    t->setDisconnect();
}

FAULT_ROWS(DiscoveryFaults, kRows);

// Without a VISA library the search reports it and still lists the USB devices.
TEST_F(DiscoveryFaults, NoVisaLibraryListsTheUsbDevicesOnly) {
    Facade t = makeFacade();
    t->visa.Uninitialize();
    std::vector<DeviceData> list;
    const long took = guarded("no VISA library", kAllowanceMs, [&] { list = t->getDevList(); });
    record("discovery", "no VISA library", kNoWait, took);
    EXPECT_EQ(describe(list), kUsb0);
    EXPECT_EQ(log.count("Connection Error"), 1);
    EXPECT_EQ(t->getStatus(), 1);
}

}  // namespace
