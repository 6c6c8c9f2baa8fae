// One SK acquisition of about two million samples from the emulated instrument: (a) the MI_RUN
// exchange over our VISA library beside a plain socket reading the same bytes from the same emulator,
// and (b) the whole getData with the FFT plans kept between calls (and the cores it may use) beside
// the same getData planning every transform afresh on one thread. Each pair is timed in turns, in
// wall time, and compared by its fastest turns.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QtGlobal>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <trelvan/DynamicVisa.h>
#include "Paired.h"
#include "SkServer.h"
#include "backends/sk/Sk.h"
#include "base/VisaConstants.h"

namespace {

using Block = std::vector<std::complex<double>>;
constexpr int kPoints = 800000;  // x 2 x 1.2, rounded up: 2^21 raw samples

struct Rig {
    sim::sk::Server emulator;
    DynamicVisa visa{nullptr};
    ViStatus status = VI_SUCCESS;
    ViSession session = 0, resourceManager = 0;
    Params params{1e9, 4.5e6, 0};
    Error error;
    DeviceData device;
    std::unique_ptr<SK> sk;
};

Rig* rig = nullptr;
bench::Paired acquisition;    // a: GetSamples, b: plain socket
bench::Paired plans;          // a: kept plans, b: planned per call
bench::Paired onePlanThread;  // a: kept plans on one thread, b: planned per call

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

bool setUp(Rig& r) {
    if (!r.emulator.start("127.0.0.1", 0)) return false;
    if (r.visa.Initialize("MiVISA64") != 0 && r.visa.Initialize(TRELVAN_LIB_DIR "/libMiVISA64.so") != 0)
        return false;
    std::snprintf(r.device.address, sizeof r.device.address, "TCPIP::127.0.0.1::%u::SOCKET",
                  r.emulator.port());
    r.status = r.visa.viOpenDefaultRM(&r.resourceManager);
    r.status = r.visa.viOpen(r.resourceManager, r.device.address, VI_EXCLUSIVE_LOCK, 5000, &r.session);
    if (r.status != VI_SUCCESS) return false;
    // The start-up pauses only give a real instrument time to settle.
    r.sk = std::make_unique<SK>(
        Init{&r.visa, &r.status, &r.session, &r.resourceManager, &r.params, &r.error, &r.device},
        SkSettleTimes{0, 0});
    Params p = r.params;
    r.sk->setParams(p);
    r.sk->setNumPoints(kPoints);
    Block first(r.sk->m_blockPoints);
    unsigned received = 0;
    r.sk->GetSamples(&first, r.sk->m_blockPoints, received);
    return r.status == VI_SUCCESS && received >= unsigned(r.sk->m_blockPoints);
}

long long blockBytes() {
    return 8LL * rig->sk->m_blockPoints;
}

// The baseline: the same request pairs on a bare socket, in the same windows of at most 200 pairs that
// the protocol allows in flight, and every reply byte read in 1 MiB receives without looking at it.
class PlainClient {
public:
    explicit PlainClient(uint16_t port) : buffer_(1 << 20) {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(port);
        inet_pton(AF_INET, "127.0.0.1", &sa.sin_addr);
        ok_ = connect(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
        const int total = rig->sk->m_blockPoints;
        for (int index = 0, pairs = 0; index < total; index += 8188, ++pairs) {
            if (pairs % 200 == 0) windows_.emplace_back();
            Window& w = windows_.back();
            const int block = std::min(8188, total - index);
            const int32_t clk[4] = {index, block, 1, total};
            appendHead(w.requests, 3, 18);
            w.requests.push_back(50), w.requests.push_back(0);
            const auto* p = reinterpret_cast<const uint8_t*>(clk);
            w.requests.insert(w.requests.end(), p, p + sizeof clk);
            appendHead(w.requests, 6, 0);
            w.replyBytes += 16 + 18 + 16 + 8LL * block + 2;
        }
    }
    ~PlainClient() { close(fd_); }
    bool ok() const { return ok_; }
    bool fetch() {
        for (const Window& w : windows_) {
            if (send(fd_, w.requests.data(), w.requests.size(), MSG_NOSIGNAL) != ssize_t(w.requests.size()))
                return false;
            for (long long left = w.replyBytes; left > 0;) {
                const ssize_t n = recv(fd_, buffer_.data(), std::min<long long>(left, 1 << 20), 0);
                if (n <= 0) return false;
                left -= n;
            }
        }
        return true;
    }

private:
    struct Window {
        std::vector<uint8_t> requests;
        long long replyBytes = 0;
    };
    void appendHead(std::vector<uint8_t>& out, uint16_t command, uint16_t bodyLen) {
        const uint16_t words[6] = {0x55AA, command, 0x8000, bodyLen, uint16_t(command == 3 ? 0x4004 : 0), 0};
        const uint32_t sequence = ++sequence_;
        const auto* p = reinterpret_cast<const uint8_t*>(words);
        out.insert(out.end(), p, p + sizeof words);
        p = reinterpret_cast<const uint8_t*>(&sequence);
        out.insert(out.end(), p, p + sizeof sequence);
    }
    int fd_;
    bool ok_;
    uint32_t sequence_ = 0;
    std::vector<Window> windows_;
    std::vector<char> buffer_;
};

// The baseline: the same block over a bare socket, every reply byte read and none looked at.
void BM_SkAcquisitionBesidePlainSocket(benchmark::State& state) {
    PlainClient client(rig->emulator.port());
    Block samples(rig->sk->m_blockPoints);
    unsigned received = 0;
    rig->sk->GetSamples(&samples, rig->sk->m_blockPoints, received);  // warm-up of both sides
    if (!client.ok() || !client.fetch()) {
        state.SkipWithError("plain socket failed");
        return;
    }
    for (auto _ : state) {
        bool socketOk = true;
        const double t =
            acquisition.turn([&] { rig->sk->GetSamples(&samples, rig->sk->m_blockPoints, received); },
                             [&] { socketOk = client.fetch(); });
        state.SetIterationTime(t);
        if (rig->status != VI_SUCCESS || received < unsigned(rig->sk->m_blockPoints) || !socketOk)
            state.SkipWithError("short acquisition");
    }
    state.counters["socket_ms"] = acquisition.bestB * 1e3;
    state.SetBytesProcessed(state.iterations() * blockBytes());
}

// How the library runs a transform is read from the environment at each block.
void planPerCall() {
    setenv("TRELVAN_FFT_PLANS", "0", 1);
    setenv("TRELVAN_FFT_THREADS", "1", 1);
}
void keepPlans(bool oneThread) {
    unsetenv("TRELVAN_FFT_PLANS");
    if (oneThread)
        setenv("TRELVAN_FFT_THREADS", "1", 1);
    else
        unsetenv("TRELVAN_FFT_THREADS");
}

// The whole of one getData as the facade calls it: acquisition, post-processing, the copy out.
void BM_SkGetDataKeptPlansBesidePlannedPerCall(benchmark::State& state) {
    QVector<IQ_Elem> out;
    bool complete = true;
    auto getData = [&](void (*configure)()) {
        return [&, configure] {
            configure();
            rig->sk->getData(&out);
            complete = complete && out.size() == kPoints && rig->status == VI_SUCCESS;
        };
    };
    const auto kept = getData([] { keepPlans(false); });
    const auto keptOneThread = getData([] { keepPlans(true); });
    const auto perCall = getData(planPerCall);
    kept();  // warm-up: plans made, and every buffer touched
    keptOneThread();
    perCall();
    for (auto _ : state) {
        state.SetIterationTime(plans.turn(kept, perCall));
        onePlanThread.turn(keptOneThread, perCall);
        if (!complete) state.SkipWithError("short block");
    }
    keepPlans(false);
    state.counters["per_call_ms"] = plans.bestB * 1e3;
    state.counters["one_thread_ms"] = onePlanThread.bestA * 1e3;
}

BENCHMARK(BM_SkAcquisitionBesidePlainSocket)->Unit(benchmark::kMillisecond)->Iterations(40)->UseManualTime();
BENCHMARK(BM_SkGetDataKeptPlansBesidePlannedPerCall)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(8)
    ->UseManualTime();

}  // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(quiet);
    Rig r;
    if (!setUp(r)) {
        std::fprintf(stderr, "bench_sk: cannot set up the emulator and our VISA library\n");
        return 1;
    }
    rig = &r;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("block: %d raw samples, %d points delivered\n", r.sk->m_blockPoints, kPoints);
    if (plans.measured())
        std::printf(
            "one getData: %.0f ms with kept plans, %.0f ms with kept plans on one thread, %.0f ms "
            "planned per call\n",
            plans.bestA * 1e3, onePlanThread.bestA * 1e3, plans.bestB * 1e3);
    if (acquisition.measured())
        std::printf("RATIO SK acquisition throughput vs plain socket: %.2f (target >= 0.9)\n",
                    acquisition.bestB / acquisition.bestA);
    if (plans.measured())
        std::printf("RATIO SK getData 2M points, cached plans vs planned per call: %.2f (target <= 0.6)\n",
                    plans.bestA / plans.bestB);
    return 0;
}
