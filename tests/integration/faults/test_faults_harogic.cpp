// Fault matrix, Harogic USB analyzer: the device library's stand-in returns the statuses -1 to -14 at
// each call the backend makes, while a host drives the facade.
#include <HtraSim.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "FaultMatrix.h"

namespace {

using namespace faults;

constexpr int kPoints = 10000;  // three packets of 4096
constexpr int kInjected = 1;    // in a row's status column: the status the row injects
const int kStatuses[] = {-1, -2, -3, -4, -5, -6, -7, -8, -9, -10, -11, -12, -13, -14};

enum class Entry { Connect, SetPoints, Capture };
enum class Block { Empty, Full, Unchanged };
enum class Device { Closed, Open };
enum class Recovery { NextCapture, Reconnect };

struct Row {
    const char* name;
    Entry entry;
    std::vector<int> statuses;  // one case per status; {0} for a row without an injected status
    std::function<void(Trelvan&, int status)> arm;
    Bound bound;
    Block block;
    int status;    // the status word afterwards; kInjected for the injected one
    Device after;  // the device, open or closed, after the fault
    Recovery recovery;
    std::function<void()> disarm = [] {};
};

int calls(HtraSimFunction f) {
    return HtraSim_CallCount(0, f);
}

// The next `count` calls of `f` return `status`.
std::function<void(Trelvan&, int)> failNext(HtraSimFunction f, int count, int after = 0) {
    return [=](Trelvan&, int status) { HtraSim_InjectStatus(0, f, calls(f) + 1 + after, count, status); };
}

std::vector<int> except(std::initializer_list<int> left) {
    std::vector<int> out;
    for (int s : kStatuses)
        if (std::find(left.begin(), left.end(), s) == left.end()) out.push_back(s);
    return out;
}

const std::vector<int> kAll(std::begin(kStatuses), std::end(kStatuses));
const Bound kOpenRetries = waits(30, 10, "open retry");
// A configuration, its 100-point priming acquisition, and a capture of three packets: no waits.
const Bound kInProcess = none();

const std::vector<Row> kRows = {
    {"Device_Open fails on all 30 attempts", Entry::Connect, kAll, failNext(HTRASIM_DEVICE_OPEN, 30),
     kOpenRetries, Block::Unchanged, kInjected, Device::Closed, Recovery::Reconnect},
    {"Device_Open fails 29 times, then opens",
     Entry::Connect,
     {-1},
     failNext(HTRASIM_DEVICE_OPEN, 29),
     waits(29, 10, "open retry"),
     Block::Unchanged,
     0,
     Device::Open,
     Recovery::NextCapture},
    {"IQS_ProfileDeInit fails at connect", Entry::Connect, kAll, failNext(HTRASIM_PROFILE_DEINIT, 1),
     kInProcess, Block::Unchanged, 0, Device::Open, Recovery::NextCapture},
    {"IQS_Configuration fails at connect", Entry::Connect, kAll, failNext(HTRASIM_CONFIGURATION, 1),
     kInProcess, Block::Unchanged, kInjected, Device::Closed, Recovery::Reconnect},
    {"IQS_Configuration fails when the host sets the points", Entry::SetPoints, kAll,
     failNext(HTRASIM_CONFIGURATION, 1), kInProcess, Block::Unchanged, kInjected, Device::Open,
     Recovery::NextCapture},
    {"IQS_BusTriggerStart fails", Entry::Capture, kAll, failNext(HTRASIM_BUS_TRIGGER_START, 1), kInProcess,
     Block::Full, 0, Device::Open, Recovery::NextCapture},
    {"IQS_BusTriggerStop fails", Entry::Capture, kAll, failNext(HTRASIM_BUS_TRIGGER_STOP, 1), kInProcess,
     Block::Full, 0, Device::Open, Recovery::NextCapture},
    {"packet read fails", Entry::Capture, except({-10, -12, -14}), failNext(HTRASIM_GET_IQ_STREAM, 1),
     kInProcess, Block::Empty, kInjected, Device::Closed, Recovery::Reconnect},
    {"device vanishes after the first packet",
     Entry::Capture,
     {-1},
     failNext(HTRASIM_GET_IQ_STREAM, 1, 1),
     kInProcess,
     Block::Empty,
     kInjected,
     Device::Closed,
     Recovery::Reconnect},
    {"packet read: bus time-out once",
     Entry::Capture,
     {-10},
     failNext(HTRASIM_GET_IQ_STREAM, 1),
     kInProcess,
     Block::Full,
     0,
     Device::Open,
     Recovery::NextCapture},
    {"packet read: bus time-out three times in a row",
     Entry::Capture,
     {-10},
     failNext(HTRASIM_GET_IQ_STREAM, 3),
     kInProcess,
     Block::Empty,
     kInjected,
     Device::Open,
     Recovery::NextCapture},
    {"packet read: the bus never delivers",
     Entry::Capture,
     {-10},
     failNext(HTRASIM_GET_IQ_STREAM, 1000000),
     kInProcess,
     Block::Empty,
     kInjected,
     Device::Open,
     Recovery::Reconnect,
     [] { HtraSim_Reset(); }},
    {"packet read: IF saturation on every packet",
     Entry::Capture,
     {-12},
     failNext(HTRASIM_GET_IQ_STREAM, 3),
     kInProcess,
     Block::Full,
     kInjected,
     Device::Open,
     Recovery::NextCapture},
    {"packet read: temperature warning",
     Entry::Capture,
     {-14},
     failNext(HTRASIM_GET_IQ_STREAM, 1),
     kInProcess,
     Block::Empty,
     kInjected,
     Device::Open,
     Recovery::NextCapture},
    {"device reports 0 samples per packet",
     Entry::Capture,
     {0},
     [](Trelvan& t, int) {
         HtraSim_SetSamplesPerPacket(0, 0);
         t.setNumPts(kPoints);  // takes effect at the next configuration
     },
     kInProcess,
     Block::Empty,
     0,
     Device::Open,
     Recovery::Reconnect,
     [] { HtraSim_SetSamplesPerPacket(0, 4096); }},
    {"packets arrive slowly (50 ms each)",
     Entry::Capture,
     {0},
     [](Trelvan&, int) { HtraSim_SetPacketDelay(0, 50000); },
     waits(3, 50, "packet delay"),
     Block::Full,
     0,
     Device::Open,
     Recovery::NextCapture,
     [] { HtraSim_SetPacketDelay(0, 0); }},
};

struct Case {
    size_t row;
    int status;
};

std::vector<Case> cases() {
    std::vector<Case> out;
    for (size_t r = 0; r < kRows.size(); ++r)
        for (int s : kRows[r].statuses) out.push_back({r, s});
    return out;
}
const std::vector<Case> kCases = cases();

std::string errorsFor(int status) {
    // The facade reports the device library's status; -12 is the overload the host shows.
    return std::to_string(status) + ":" + (status == -12 ? "Overload!" : "");
}

void expectBlock(Block expected, const QVector<IQ_Elem>& iq, const char* when) {
    SCOPED_TRACE(when);
    if (expected == Block::Empty) {
        EXPECT_TRUE(iq.isEmpty()) << iq.size() << " samples";
    } else if (expected == Block::Full) {
        ASSERT_EQ(iq.size(), kPoints);
        EXPECT_TRUE(iq.last().I != 0 || iq.last().Q != 0) << "the block ends in zeros";
    }
}

class HarogicFaults : public ::testing::TestWithParam<size_t> {
protected:
    void SetUp() override {
        HtraSim_Reset();
        LogCapture::start();
    }
    void TearDown() override {
        t->setDisconnect();
        LogCapture::stop();
    }
    bool connect() {
        if (!t->setConnect(device)) return false;
        t->setNumPts(kPoints);
        return t->getStatus() == 0;
    }
    Facade t = makeFacade();
    DeviceData device = deviceAt("USB::0", "E90-R0");
};

TEST_P(HarogicFaults, ReturnsInBoundReportsAndRecovers) {
    const Case c = kCases[GetParam()];
    const Row& row = kRows[c.row];
    const std::string name =
        std::string(row.name) + (c.status != 0 ? " (" + std::to_string(c.status) + ")" : "");
    SCOPED_TRACE(name);
    QVector<IQ_Elem> iq;
    if (row.entry != Entry::Connect) {
        ASSERT_TRUE(connect());
        t->getData(&iq);
        expectBlock(Block::Full, iq, "before the fault");
    } else {
        t->setDisconnect();
    }

    row.arm(*t, c.status);
    bool connected = true;
    const long took = guarded(name, row.bound.ms + kAllowanceMs + kRelaxedMs, [&] {
        switch (row.entry) {
            case Entry::Connect:
                connected = t->setConnect(device);
                break;
            case Entry::SetPoints:
                t->setNumPts(kPoints);
                break;
            case Entry::Capture:
                t->getData(&iq);
                break;
        }
    });
    record("Harogic", name, row.bound, took);
    EXPECT_EQ(connected, row.entry != Entry::Connect || row.after == Device::Open);
    EXPECT_EQ(HtraSim_IsOpen(0) == 1, row.after == Device::Open);
    expectBlock(row.block, iq, "faulted");
    const int status = row.status == kInjected ? c.status : row.status;
    EXPECT_EQ(t->getStatus(), status);
    EXPECT_EQ(describe(t->getError()), errorsFor(status));

    row.disarm();
    if (row.recovery == Recovery::Reconnect) {
        // The backend keeps no device, or a dead one: acquisitions come back empty, and at once.
        expectBlock(Block::Empty, captureFromAnotherThread(*t, kAllowanceMs), "before the reconnect");
        t->setDisconnect();
        ASSERT_TRUE(connect()) << "status " << t->getStatus();
    }
    expectBlock(Block::Full, captureFromAnotherThread(*t, kAllowanceMs), "recovered");
    EXPECT_EQ(t->getStatus(), 0);
    EXPECT_EQ(describe(t->getError()), "0:");
}

INSTANTIATE_TEST_SUITE_P(Matrix, HarogicFaults, ::testing::Range<size_t>(0, kCases.size()),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                             const Case& c = kCases[info.param];
                             return testName(info.param, std::string(kRows[c.row].name) + " " +
                                                             (c.status < 0 ? "minus" : "") +
                                                             std::to_string(std::abs(c.status)));
                         });

// What one fault leaves behind that the table's columns do not show: the log the host's support sees,
// and whether the device is closed or still open.
TEST_F(HarogicFaults, BusTimeoutIsLoggedAndAFailedPacketClosesTheDevice) {
    ASSERT_TRUE(connect());
    failNext(HTRASIM_GET_IQ_STREAM, 1)(*t, -10);
    QVector<IQ_Elem> iq;
    t->getData(&iq);
    EXPECT_EQ(iq.size(), kPoints);
    EXPECT_EQ(LogCapture::count("Warning: bus timeout "), 1);
    EXPECT_EQ(HtraSim_IsOpen(0), 1);

    failNext(HTRASIM_GET_IQ_STREAM, 1)(*t, -7);
    t->getData(&iq);
    EXPECT_TRUE(iq.isEmpty());
    EXPECT_EQ(LogCapture::count("other error Status = -7"), 1);
    EXPECT_EQ(HtraSim_IsOpen(0), 0);
}

}  // namespace
