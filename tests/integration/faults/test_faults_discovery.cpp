// Fault matrix, discovery: the resource list names a live N9030A beside hosts that are dead or misbehave,
// and the USB device library refuses devices; the search must stay bounded and list what it should.
#include <HtraSim.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "FaultMatrix.h"
#include "PxaEmulator.h"

namespace {

using namespace faults;

constexpr int kProbeMs = 300;
const char* const kPxaHost = "127.0.0.91";  // discovery lists an N9030A at port 5025, so it must listen there
const std::string kPxa = "TCPIP0::127.0.0.91::5025::SOCKET N9030A MY0042";
const std::string kUsb0 = "USB::0 E90-R0 1000001";
// A host that is reachable but says nothing usable is listed, under the SK port, with no texts.
const std::string kUnnamed = "TCPIP::127.0.0.1::8888::SOCKET  ";

// A peer on 127.0.0.1 that is not an instrument.
class Host {
public:
    enum Kind { Refuses, NeverAccepts, Silent, EndlessLine, ClosesAtOnce, OtherMaker };

    explicit Host(Kind kind) : kind_(kind) {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        if (kind == Refuses) {  // the port was free a moment ago and nobody listens on it now
            close(fd_);
            fd_ = -1;
            return;
        }
        listen(fd_, 0);
        if (kind == NeverAccepts) {
            // One connection nobody accepts fills the queue; later handshakes are never answered.
            for (int i = 0; i < 2; ++i) {
                const int c = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
                connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a);
                fillers_.push_back(c);
            }
            return;
        }
        thread_ = std::thread([this] { serve(); });
    }
    ~Host() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        for (int c : fillers_) close(c);
        if (fd_ >= 0) close(fd_);
    }
    std::string entry() const { return "TCPIP0::127.0.0.1::" + std::to_string(port_) + "::SOCKET"; }

private:
    void serve() {
        std::vector<int> peers;
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 20) > 0) {
                const int c = accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                if (c >= 0 && kind_ == ClosesAtOnce)
                    close(c);
                else if (c >= 0)
                    peers.push_back(c);
            }
            for (int c : peers) {
                char sink[256];
                const bool asked = recv(c, sink, sizeof sink, 0) > 0;
                if (kind_ == EndlessLine) {
                    const std::string noise(4096, 'A');
                    send(c, noise.data(), noise.size(), MSG_NOSIGNAL);
                } else if (kind_ == OtherMaker && asked) {
                    const std::string idn = "Bench Lab,K4-X,7,1.0\n";
                    send(c, idn.data(), idn.size(), MSG_NOSIGNAL);
                }
            }
        }
        for (int c : peers) close(c);
    }

    Kind kind_;
    int fd_ = -1;
    uint16_t port_ = 0;
    std::vector<int> fillers_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

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
    std::vector<Host::Kind> hosts;  // listed after the live N9030A
    std::function<void()> arm;      // faults of the USB library
    Bound bound;
    std::string listed;
};

const Bound kOneProbe = waits(1, kProbeMs, "probe timeout");

const std::vector<Row> kRows = {
    {"no fault", {}, [] {}, kOneProbe, kPxa + "; " + kUsb0},
    {"dead host (connection refused)", {Host::Refuses}, [] {}, kOneProbe, kPxa + "; " + kUsb0},
    {"host never answers the connection", {Host::NeverAccepts}, [] {}, kOneProbe, kPxa + "; " + kUsb0},
    {"eight hosts never answer the connection", std::vector<Host::Kind>(8, Host::NeverAccepts), [] {},
     kOneProbe, kPxa + "; " + kUsb0},
    {"host accepts but never answers *IDN?",
     {Host::Silent},
     [] {},
     kOneProbe,
     kUnnamed + "; " + kPxa + "; " + kUsb0},
    {"host answers *IDN? with an endless line",
     {Host::EndlessLine},
     [] {},
     kOneProbe,
     kUnnamed + "; " + kPxa + "; " + kUsb0},
    {"host closes the connection at once",
     {Host::ClosesAtOnce},
     [] {},
     kOneProbe,
     kUnnamed + "; " + kPxa + "; " + kUsb0},
    {"host names a maker the filter drops", {Host::OtherMaker}, [] {}, kOneProbe, kPxa + "; " + kUsb0},
    {"USB library refuses to open device 1 of 2",
     {},
     [] {
         HtraSim_SetDeviceCount(2);
         HtraSim_InjectStatus(1, HTRASIM_DEVICE_OPEN, 1, 1, -3);
     },
     kOneProbe,
     kPxa + "; " + kUsb0},
    {"USB library fails the info query of device 0 of 2",
     {},
     [] {
         HtraSim_SetDeviceCount(2);
         HtraSim_InjectStatus(0, HTRASIM_QUERY_DEVICE_INFO, 1, 1, -1);
     },
     kOneProbe,
     kPxa + "; USB::0 Undefined type 0"},
};

class DiscoveryFaults : public ::testing::TestWithParam<size_t> {
protected:
    static void SetUpTestSuite() { setenv("MIVISA_PROBE_TIMEOUT_MS", std::to_string(kProbeMs).c_str(), 1); }
    void SetUp() override {
        HtraSim_Reset();
        LogCapture::start();
        ASSERT_TRUE(pxa.start(kPxaHost, 5025));
        pxa.setSerial("MY0042");
    }
    void TearDown() override {
        unsetenv("MIVISA_RESOURCES");
        LogCapture::stop();
    }
    sim::PxaEmulator pxa;
};

TEST_P(DiscoveryFaults, ReturnsInBoundListsWhatItShouldAndConnects) {
    const Row& row = kRows[GetParam()];
    SCOPED_TRACE(row.name);
    std::vector<std::unique_ptr<Host>> hosts;
    std::string entries = pxa.resource();
    for (Host::Kind k : row.hosts) {
        hosts.push_back(std::make_unique<Host>(k));
        entries += ";" + hosts.back()->entry();
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
    const QVector<IQ_Elem> iq = captureFromAnotherThread(*t, kAllowanceMs);
    EXPECT_EQ(iq.size(), 4096);
    EXPECT_EQ(t->getStatus(), 0);
    disconnectFromAnotherThread(*t, kAllowanceMs);
}

INSTANTIATE_TEST_SUITE_P(Matrix, DiscoveryFaults, ::testing::Range<size_t>(0, kRows.size()),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                             return testName(info.param, kRows[info.param].name);
                         });

// Without a VISA library the search reports it and still lists the USB devices.
TEST_F(DiscoveryFaults, NoVisaLibraryListsTheUsbDevicesOnly) {
    Facade t = makeFacade();
    t->visa.Uninitialize();
    std::vector<DeviceData> list;
    const long took = guarded("no VISA library", kAllowanceMs, [&] { list = t->getDevList(); });
    record("discovery", "no VISA library", none(), took);
    EXPECT_EQ(describe(list), kUsb0);
    EXPECT_EQ(LogCapture::count("Connection Error"), 1);
    EXPECT_EQ(t->getStatus(), 1);
}

}  // namespace
