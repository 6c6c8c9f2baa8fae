// One SK acquisition of about two million samples from the emulated instrument, in its two halves:
// (a) the MI_RUN exchange over our VISA library beside a plain socket reading the same bytes from the
// same emulator, and (b) the post-processing beside a bare FFTW forward and inverse pair of the same
// sizes, plans made per call, timed in CPU time of the calling thread. Every buffer on both sides is
// allocated and touched before timing.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <fftw3.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <QtGlobal>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "SkServer.h"
#include "backends/sk/SK.h"
#include "visa/DynamicVisa.h"

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
    Block acquired;  // one raw block, the input of every post-processing run
};

Rig* rig = nullptr;
double acquireSeconds = 0, socketSeconds = 0, processSeconds = 0, fftSeconds = 0, getDataSeconds = 0;

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

double since(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

// The computation runs on this thread alone; its CPU time leaves out the time spent waiting for a core
// on a machine shared with other work, which wall time would add to either side at random.
double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

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
    r.acquired.assign(r.sk->m_blockPoints, {});
    unsigned received = 0;
    r.sk->GetSamples(&r.acquired, r.sk->m_blockPoints, received);
    return r.status == VI_SUCCESS && received >= unsigned(r.sk->m_blockPoints);
}

long long blockBytes() {
    return 8LL * rig->sk->m_blockPoints;
}

void BM_SkGetSamples(benchmark::State& state) {
    Block samples(rig->sk->m_blockPoints);
    unsigned received = 0;
    rig->sk->GetSamples(&samples, rig->sk->m_blockPoints, received);  // warm-up
    double total = 0;
    for (auto _ : state) {
        const auto t = std::chrono::steady_clock::now();
        rig->sk->GetSamples(&samples, rig->sk->m_blockPoints, received);
        const double s = since(t);
        state.SetIterationTime(s);
        total += s;
        if (rig->status != VI_SUCCESS || received < unsigned(rig->sk->m_blockPoints))
            state.SkipWithError("short acquisition");
    }
    acquireSeconds = total / double(state.iterations());
    state.SetBytesProcessed(state.iterations() * blockBytes());
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

void BM_PlainSocket(benchmark::State& state) {
    PlainClient client(rig->emulator.port());
    if (!client.ok() || !client.fetch()) {
        state.SkipWithError("plain socket failed");
        return;
    }
    double total = 0;
    for (auto _ : state) {
        const auto t = std::chrono::steady_clock::now();
        if (!client.fetch()) state.SkipWithError("short read");
        const double s = since(t);
        state.SetIterationTime(s);
        total += s;
    }
    socketSeconds = total / double(state.iterations());
    state.SetBytesProcessed(state.iterations() * blockBytes());
}

// The kept bins of the post-processing: those within 3/8 of the response span of the centre.
int keptBins(int n) {
    const auto& hz = rig->sk->m_responseFrequencies;
    const double limit = 0.375 * (hz.back() - hz.front()), width = rig->params.sampleRate / n;
    return 2 * int(std::floor(limit / width)) + 1;
}

void transform(fftw_complex* data, int n, int sign) {
    fftw_plan plan = fftw_plan_dft_1d(n, data, data, sign, FFTW_ESTIMATE);
    fftw_execute(plan);
    fftw_destroy_plan(plan);
}

// The two sides take turns within each iteration, first one then the other, so that both see the
// machine in the same state; the iteration time is the post-processing's, the pair's a counter.
void BM_SkPostProcessingBesideFftwPair(benchmark::State& state) {
    const int n = int(rig->acquired.size()), kept = keptBins(n);
    Block work = rig->acquired, bare = rig->acquired;
    auto* data = reinterpret_cast<fftw_complex*>(bare.data());
    rig->sk->PostProcessing(&work);  // warm-up
    transform(data, n, FFTW_FORWARD);
    transform(data, kept, FFTW_BACKWARD);
    double processTotal = 0, fftTotal = 0;
    bool processFirst = true;
    for (auto _ : state) {
        double process = 0, fft = 0;
        auto runProcess = [&] {
            work.assign(rig->acquired.begin(), rig->acquired.end());
            const double t = threadSeconds();
            rig->sk->PostProcessing(&work);
            process = threadSeconds() - t;
        };
        auto runFft = [&] {
            bare.assign(rig->acquired.begin(), rig->acquired.end());
            const double t = threadSeconds();
            transform(data, n, FFTW_FORWARD);
            transform(data, kept, FFTW_BACKWARD);
            fft = threadSeconds() - t;
        };
        if (processFirst) {
            runProcess();
            runFft();
        } else {
            runFft();
            runProcess();
        }
        processFirst = !processFirst;
        state.SetIterationTime(process);
        processTotal += process;
        fftTotal += fft;
    }
    processSeconds = processTotal / double(state.iterations());
    fftSeconds = fftTotal / double(state.iterations());
    state.counters["fftw_pair_ms"] = fftSeconds * 1e3;
    state.counters["forward"] = n;
    state.counters["inverse"] = kept;
}

// The whole of one getData as the facade calls it, for reference: both halves plus the block's reset
// and the copy into the host's vector.
void BM_SkGetData(benchmark::State& state) {
    QVector<IQ_Elem> out;
    rig->sk->getData(&out);  // warm-up
    double total = 0;
    for (auto _ : state) {
        const auto t = std::chrono::steady_clock::now();
        rig->sk->getData(&out);
        const double s = since(t);
        state.SetIterationTime(s);
        total += s;
        if (out.size() != kPoints) state.SkipWithError("short block");
    }
    getDataSeconds = total / double(state.iterations());
}

BENCHMARK(BM_SkGetSamples)->Unit(benchmark::kMillisecond)->Iterations(10)->UseManualTime();
BENCHMARK(BM_PlainSocket)->Unit(benchmark::kMillisecond)->Iterations(10)->UseManualTime();
BENCHMARK(BM_SkPostProcessingBesideFftwPair)->Unit(benchmark::kMillisecond)->Iterations(10)->UseManualTime();
BENCHMARK(BM_SkGetData)->Unit(benchmark::kMillisecond)->Iterations(5)->UseManualTime();

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
    std::printf("block: %d raw samples, %d points delivered; one getData: %.0f ms\n", r.sk->m_blockPoints,
                kPoints, getDataSeconds * 1e3);
    if (acquireSeconds > 0 && socketSeconds > 0)
        std::printf("RATIO SK acquisition throughput vs plain socket: %.2f (target >= 0.5)\n",
                    socketSeconds / acquireSeconds);
    if (processSeconds > 0 && fftSeconds > 0)
        std::printf("RATIO SK post-processing CPU time vs bare FFTW pair: %.2f (target <= 1.25)\n",
                    processSeconds / fftSeconds);
    return 0;
}
