// Fault matrix, SK instrument: the emulated instrument spoils chosen replies while a host drives the
// facade. Setting up an SK session takes seconds of settling, so the rows share one connection and only
// the rows whose recovery is a reconnect make a new one.
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
const std::string kEmptyRead = "404:Ошибка чтения оцифрованных данных";
const std::string kHeaderStatus = "20486:Ошибка в заголовке команды, при выполнении MI_RUN";
const std::string kBodyStatus = "-32768:Ошибка в теле команды, при выполнении MI_RUN";

class Sk : public Instrument {
public:
    Sk() : Instrument("SK", kPoints, "") {
        errorsPersist = true;
        start();
    }
    void start() {
        stopped = false;
        ASSERT_TRUE(server.start("127.0.0.1", port)) << server.error();
        port = server.port();
        device = deviceAt("TCPIP::127.0.0.1::" + std::to_string(port) + "::SOCKET", "К4-Э1");
    }
    // Nothing in the library clears the pending error record; each row, and each new session, starts
    // without one.
    void reset() override { t->error = Error{}; }
    bool connect() override {
        t->error = Error{};
        if (!t->setConnect(device)) return false;
        t->setParam(Params{1e9, 4.5e6, 0});  // a rate the instrument has: nothing is modified
        t->setNumPts(points);
        return t->getStatus() == 0;
    }
    void disarm() override {
        server.clearFaults();
        if (stopped) start();
    }

    sim::sk::Server server;
    uint16_t port = 0;
    bool stopped = false;
};

std::function<void(Instrument&)> spoil(Fault::Kind kind, int command, int parameter, int arg = 0) {
    return [=](Instrument& in) {
        static_cast<Sk&>(in).server.injectFault(Fault{kind, command, parameter, 0, 1, arg});
    };
}

void stopServer(Instrument& in) {
    static_cast<Sk&>(in).server.stop();
    static_cast<Sk&>(in).stopped = true;
}

// Start-up of a session: the limits query's pause, the calibration pause, and its exchanges.
const Bound kStartUp = waits(1, 1000, "limits pause") + waits(1, 3000, "calibration pause") + roundTrips(20);
const auto kCapture = Entry::Capture;
const auto kEmpty = Block::Empty;
const auto kFull = Block::Full;
const auto kNext = Recovery::NextCapture;
const auto kReconnect = Recovery::Reconnect;
const auto kProtocol = VI_ERROR_RAW_RD_PROT_VIOL;

const std::vector<Row> kRows = {
    {"data reply never comes", kCapture, spoil(Fault::StopReplying, kRun, -1),
     waits(1, kSkLongMs, "data reply timeout"), kEmpty, VI_ERROR_TMO, "", kReconnect},
    {"P_CLK reply never comes", kCapture, spoil(Fault::StopReplying, kSet, kClk),
     waits(1, kSkMs, "parameter reply timeout"), kEmpty, VI_ERROR_TMO, "", kReconnect},
    {"corrupt signature on the data reply", kCapture, spoil(Fault::BadSignature, kRun, -1), kNoWait, kEmpty,
     kProtocol, "", kReconnect},
    {"odd BodyLen on the data reply", kCapture, spoil(Fault::OddBodyLen, kRun, -1), kNoWait, kFull},
    {"BodyLen 65535 on the data reply", kCapture, spoil(Fault::OversizedBodyLen, kRun, -1, 65535), kNoWait,
     kEmpty, kProtocol, "", kReconnect},
    {"connection cut inside the data reply", kCapture, spoil(Fault::CutShort, kRun, -1), kNoWait, kEmpty,
     VI_ERROR_CONN_LOST, "", kReconnect},
    {"wrong parameter ID in the P_CLK reply", kCapture, spoil(Fault::WrongParameterId, kSet, kClk), kNoWait,
     kFull, 0, "", kNext, kEmpty, 0, "ASSERT: \"PID == P_CLK\" in file ..\\trelvan\\sk, line 868"},
    {"data reply without samples", kCapture, spoil(Fault::EmptyData, kRun, -1), kNoWait, kEmpty, 0,
     kEmptyRead},
    {"header status SE_READ_TIMEOUT in the data reply", kCapture, spoil(Fault::HeaderStatus, kRun, -1),
     kNoWait, Block::Zeros, 0, kHeaderStatus, kReconnect, Block::Zeros},
    {"body status MI_CRITICAL_ERROR in the data reply", kCapture, spoil(Fault::BodyStatus, kRun, -1), kNoWait,
     Block::Zeros, 0, kBodyStatus},
    {"data reply dripped one byte per write", kCapture, spoil(Fault::Drip, kRun, -1),
     Bound{"32786 one-byte writes x 50 us", 1640}, kFull},
    // A data reply delayed within its timeout: the disconnect waits for the running acquisition, which
    // ends normally with the whole block; then the session is gone.
    {"setDisconnect from another thread during a delayed data reply", Entry::DisconnectDuringCapture,
     spoil(Fault::Delay, kRun, -1, 500), stall(500), kFull, 1, "", Recovery::Retry},
    {"connect: instrument mute from the reset on", Entry::Connect, spoil(Fault::StopReplying, -1, -1),
     kStartUp + waits(1, 3 * kSkMs + kSkLongMs, "reply timeouts"), Block::Unchanged, VI_ERROR_TMO, "",
     Recovery::Retry},
    {"connect: nothing listens at the address", Entry::Connect, stopServer, kOpenTimeout, Block::Unchanged,
     VI_ERROR_RSRC_NFOUND, "", Recovery::Retry},
};

class SkFaults : public ::testing::TestWithParam<size_t> {
protected:
    static void TearDownTestSuite() {
        if (sk != nullptr) sk->t->setDisconnect();
        delete sk;
        sk = nullptr;
    }
    static Sk* sk;
};
Sk* SkFaults::sk = nullptr;

TEST_P(SkFaults, ReturnsInBoundReportsAndRecovers) {
    if (sk == nullptr) sk = new Sk;
    run(*sk, kRows[GetParam()]);
}

FAULT_ROWS(SkFaults, kRows);

}  // namespace
