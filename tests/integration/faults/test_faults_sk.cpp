// Fault matrix, SK instrument: the emulated instrument spoils chosen replies while a host drives the
// facade. Setting up an SK session takes seconds of settling, so the rows share one connection and only
// the rows whose recovery is a reconnect make a new one.
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "FaultMatrix.h"
#include "SkServer.h"

namespace {

using namespace faults;
using sim::sk::Fault;

constexpr int kPoints = 1000;  // 4096 raw samples: one P_CLK/MI_RUN pair per acquisition
constexpr int kSet = 3, kRun = 6, kClk = 50;
const char* const kModel = "К4-Э1";
const std::string kEmptyRead = "404:Ошибка чтения оцифрованных данных";
const std::string kHeaderStatus = "20486:Ошибка в заголовке команды, при выполнении MI_RUN";
const std::string kBodyStatus = "-32768:Ошибка в теле команды, при выполнении MI_RUN";

enum class Entry { Capture, Connect };
enum class Block { Empty, Full, Zeros };
// Retry: a failed connect is left by connecting again, with no disconnect between.
enum class Recovery { NextCapture, Reconnect, Retry };

struct Bench;

struct Row {
    const char* name;
    Entry entry;
    std::function<void(Bench&)> arm;
    Bound bound;
    Block block;
    ViStatus status;
    std::string errors;
    Recovery recovery;
    Block stuck = Block::Empty;    // what acquisitions deliver until the reconnect
    const char* logged = nullptr;  // the diagnostic the fault leaves in the debug log
};

// Start-up of a session: the limits query's pause, the calibration pause, and its exchanges.
const Bound kStartUp = waits(1, 1000, "limits pause") + waits(1, 3000, "calibration pause") + roundTrips(20);

struct Bench {
    sim::sk::Server server;
    Facade t = makeFacade();
    DeviceData device;
    uint16_t port = 0;
    bool stopped = false;

    void start() {
        stopped = false;
        ASSERT_TRUE(server.start("127.0.0.1", port)) << server.error();
        port = server.port();
        char address[64];
        std::snprintf(address, sizeof address, "TCPIP::127.0.0.1::%u::SOCKET", port);
        device = deviceAt(address, kModel);
    }
    bool connect() {
        if (!t->setConnect(device)) return false;
        t->setParam(Params{1e9, 4.5e6, 0});  // a rate the instrument has: nothing is modified
        t->setNumPts(kPoints);
        return t->getStatus() == 0;
    }
    void reconnect() {
        t->setDisconnect();
        ASSERT_TRUE(connect()) << "status " << t->getStatus();
    }
};

std::function<void(Bench&)> spoil(Fault::Kind kind, int command, int parameter, int arg = 0) {
    return [=](Bench& b) { b.server.injectFault(Fault{kind, command, parameter, 0, 1, arg}); };
}

void expectBlock(Block expected, const QVector<IQ_Elem>& iq, const char* when) {
    SCOPED_TRACE(when);
    if (expected == Block::Empty) {
        EXPECT_TRUE(iq.isEmpty()) << iq.size() << " samples";
        return;
    }
    ASSERT_EQ(iq.size(), kPoints);
    double power = 0;
    for (const IQ_Elem& e : iq) power += e.I * e.I + e.Q * e.Q;
    if (expected == Block::Zeros)
        EXPECT_EQ(power, 0.0) << "samples were stored";
    else
        EXPECT_GT(power, 0.0) << "no samples were stored";
}

const std::vector<Row> kRows = {
    {"data reply delayed within its timeout (500 ms)", Entry::Capture, spoil(Fault::Delay, kRun, -1, 500),
     stall(500), Block::Full, VI_SUCCESS, "", Recovery::NextCapture},
    {"data reply never comes", Entry::Capture, spoil(Fault::StopReplying, kRun, -1),
     waits(1, kSkLongMs, "data reply timeout"), Block::Empty, VI_ERROR_TMO, "", Recovery::Reconnect},
    {"P_CLK reply never comes", Entry::Capture, spoil(Fault::StopReplying, kSet, kClk),
     waits(1, kSkMs, "parameter reply timeout"), Block::Empty, VI_ERROR_TMO, "", Recovery::Reconnect},
    {"corrupt signature on the data reply", Entry::Capture, spoil(Fault::BadSignature, kRun, -1), none(),
     Block::Empty, VI_ERROR_RAW_RD_PROT_VIOL, "", Recovery::Reconnect},
    {"corrupt signature on the P_CLK reply", Entry::Capture, spoil(Fault::BadSignature, kSet, kClk), none(),
     Block::Empty, VI_ERROR_RAW_RD_PROT_VIOL, "", Recovery::Reconnect},
    {"odd BodyLen on the data reply", Entry::Capture, spoil(Fault::OddBodyLen, kRun, -1), none(), Block::Full,
     VI_SUCCESS, "", Recovery::NextCapture},
    {"odd BodyLen on the P_CLK reply", Entry::Capture, spoil(Fault::OddBodyLen, kSet, kClk), none(),
     Block::Full, VI_SUCCESS, "", Recovery::NextCapture},
    {"BodyLen 65535 on the data reply", Entry::Capture, spoil(Fault::OversizedBodyLen, kRun, -1, 65535),
     none(), Block::Empty, VI_ERROR_RAW_RD_PROT_VIOL, "", Recovery::Reconnect},
    {"BodyLen 65535 on the P_CLK reply", Entry::Capture, spoil(Fault::OversizedBodyLen, kSet, kClk, 65535),
     none(), Block::Empty, VI_ERROR_RAW_RD_PROT_VIOL, "", Recovery::Reconnect},
    {"connection cut inside the data reply", Entry::Capture, spoil(Fault::CutShort, kRun, -1), none(),
     Block::Empty, VI_ERROR_CONN_LOST, "", Recovery::Reconnect},
    {"wrong parameter ID in the P_CLK reply", Entry::Capture, spoil(Fault::WrongParameterId, kSet, kClk),
     none(), Block::Full, VI_SUCCESS, "", Recovery::NextCapture, Block::Empty,
     "ASSERT: \"PID == P_CLK\" in file ..\\trelvan\\sk, line 868"},
    {"data reply without samples", Entry::Capture, spoil(Fault::EmptyData, kRun, -1), none(), Block::Empty,
     VI_SUCCESS, kEmptyRead, Recovery::NextCapture},
    {"header status SE_READ_TIMEOUT in the data reply", Entry::Capture, spoil(Fault::HeaderStatus, kRun, -1),
     none(), Block::Zeros, VI_SUCCESS, kHeaderStatus, Recovery::Reconnect, Block::Zeros},
    {"body status MI_CRITICAL_ERROR in the data reply", Entry::Capture, spoil(Fault::BodyStatus, kRun, -1),
     none(), Block::Zeros, VI_SUCCESS, kBodyStatus, Recovery::NextCapture},
    {"data reply dripped one byte per write", Entry::Capture, spoil(Fault::Drip, kRun, -1),
     Bound{"32786 one-byte writes x 50 us", 1640}, Block::Full, VI_SUCCESS, "", Recovery::NextCapture},
    {"connect: instrument mute from the reset on", Entry::Connect,
     [](Bench& b) {
         b.t->setDisconnect();
         b.server.injectFault(Fault{Fault::StopReplying, -1, -1, 0, 1, 0});
     },
     kStartUp + waits(1, 3 * kSkMs + kSkLongMs, "reply timeouts"), Block::Empty, VI_ERROR_TMO, "",
     Recovery::Retry},
    {"connect: nothing listens at the address", Entry::Connect,
     [](Bench& b) {
         b.t->setDisconnect();
         b.server.stop();
         b.stopped = true;
     },
     openTimeout(), Block::Empty, VI_ERROR_RSRC_NFOUND, "", Recovery::Retry},
};

class SkFaults : public ::testing::TestWithParam<size_t> {
protected:
    static void SetUpTestSuite() {
        LogCapture::start();
        bench = new Bench;
        bench->start();
        ASSERT_TRUE(bench->connect());
    }
    static void TearDownTestSuite() {
        bench->t->setDisconnect();
        delete bench;
        LogCapture::stop();
    }
    static Bench* bench;
};
Bench* SkFaults::bench = nullptr;

TEST_P(SkFaults, ReturnsInBoundReportsAndRecovers) {
    const Row& row = kRows[GetParam()];
    SCOPED_TRACE(row.name);
    Bench& b = *bench;
    if (b.t->getStatus() != 0) b.reconnect();  // an earlier row failed half-way
    // Nothing in the library clears the pending error record; each row starts without one.
    b.t->error = Error{};
    LogCapture::start();
    QVector<IQ_Elem> iq;
    b.t->getData(&iq);
    expectBlock(Block::Full, iq, "before the fault");

    row.arm(b);
    bool connected = true;
    const long took = guarded(row.name, row.bound.ms + kAllowanceMs + kRelaxedMs, [&] {
        if (row.entry == Entry::Capture)
            b.t->getData(&iq);
        else
            connected = b.t->setConnect(b.device);
    });
    record("SK", row.name, row.bound, took);
    if (row.entry == Entry::Capture) expectBlock(row.block, iq, "faulted");
    EXPECT_EQ(connected, row.entry == Entry::Capture);
    EXPECT_EQ(b.t->getStatus(), row.status);
    EXPECT_EQ(describe(b.t->getError()), row.errors);
    if (row.logged != nullptr) {
        EXPECT_EQ(LogCapture::count(row.logged), 1) << row.logged;
    }

    b.server.clearFaults();
    if (b.stopped) b.start();
    if (row.recovery == Recovery::Reconnect) {
        expectBlock(row.stuck, captureFromAnotherThread(*b.t, kAllowanceMs + kRelaxedMs),
                    "before the reconnect");
        disconnectFromAnotherThread(*b.t, kAllowanceMs);
        EXPECT_EQ(b.t->getStatus(), 1);
        b.t->error = Error{};
        ASSERT_TRUE(b.connect()) << "status " << b.t->getStatus();
    }
    if (row.recovery == Recovery::Retry) {
        ASSERT_TRUE(b.connect()) << "retry: status " << b.t->getStatus();
    }
    expectBlock(Block::Full, captureFromAnotherThread(*b.t, kAllowanceMs + kRelaxedMs), "recovered");
    EXPECT_EQ(b.t->getStatus(), VI_SUCCESS);
    EXPECT_EQ(describe(b.t->getError()), row.recovery == Recovery::NextCapture ? row.errors : "");
}

INSTANTIATE_TEST_SUITE_P(Matrix, SkFaults, ::testing::Range<size_t>(0, kRows.size()),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                             return testName(info.param, kRows[info.param].name);
                         });

}  // namespace
