// One capture of about a million samples from the emulated N9030A: PXA::getData over our VISA library,
// beside a plain socket reading the same block (in turns, compared by the fastest turn of each) and
// PyVISA fetching it, in one run.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QtGlobal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <trelvan/DynamicVisa.h>
#include "Paired.h"
#include "PxaEmulator.h"
#include "backends/pxa/Pxa.h"
#include "base/VisaConstants.h"

namespace {

constexpr int kPoints = 1 << 20;

struct Rig {
    sim::PxaEmulator emulator;
    DynamicVisa visa{nullptr};
    ViStatus status = VI_SUCCESS;
    ViSession session = 0, resourceManager = 0;
    Params params{1e9, 1e7, 0};
    Error error;
    DeviceData device;
    std::unique_ptr<PXA> pxa;
    long long blockBytes = 0;
};

Rig* rig = nullptr;
bench::Paired capture;  // a: PXA::getData, b: plain socket
double pyvisaSeconds = 0;

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

bool setUp(Rig& r) {
    if (!r.emulator.start("127.0.0.1", 0)) return false;
    // Found on LD_LIBRARY_PATH, or else in the build's library folder.
    if (r.visa.Initialize("MiVISA64") != 0 && r.visa.Initialize(TRELVAN_LIB_DIR "/libMiVISA64.so") != 0)
        return false;
    std::strcpy(r.device.address, r.emulator.resource().c_str());
    r.status = r.visa.viOpenDefaultRM(&r.resourceManager);
    r.status = r.visa.viOpen(r.resourceManager, r.device.address, VI_EXCLUSIVE_LOCK, 5000, &r.session);
    if (r.status != VI_SUCCESS) return false;
    r.pxa = std::make_unique<PXA>(
        Init{&r.visa, &r.status, &r.session, &r.resourceManager, &r.params, &r.error, &r.device});
    r.pxa->setNumPoints(kPoints);
    r.blockBytes = r.emulator.settings().points * 8;
    return r.status == VI_SUCCESS;
}

// The baseline: the same block over a bare socket, in 1 MiB receives, no conversion.
class PlainClient {
public:
    explicit PlainClient(uint16_t port) {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(port);
        inet_pton(AF_INET, "127.0.0.1", &sa.sin_addr);
        ok_ = connect(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
        buffer_.resize(1 << 20);
    }
    ~PlainClient() { close(fd_); }
    bool ok() const { return ok_; }
    // The whole reply: "#", digit count, length, data, line end. Returns the data length.
    long long fetch() {
        const std::string ask = ":FORM REAL;:FORM:BORD SWAP;:CALC:VECT:DATA2:RAW?\n";
        send(fd_, ask.data(), ask.size(), MSG_NOSIGNAL);
        char head[2];
        if (!readExactly(head, 2)) return -1;
        char digits[10] = {};
        const int d = head[1] - '0';
        if (d < 1 || d > 9 || !readExactly(digits, static_cast<std::size_t>(d))) return -1;
        const long long length = std::atoll(digits);
        long long left = length + 1;
        while (left > 0) {
            const ssize_t n =
                recv(fd_, buffer_.data(), static_cast<std::size_t>(std::min<long long>(left, 1 << 20)), 0);
            if (n <= 0) return -1;
            left -= n;
        }
        return length;
    }

private:
    bool readExactly(char* out, std::size_t n) {
        while (n > 0) {
            const ssize_t r = recv(fd_, out, n, 0);
            if (r <= 0) return false;
            out += r;
            n -= static_cast<std::size_t>(r);
        }
        return true;
    }
    int fd_;
    bool ok_;
    std::vector<char> buffer_;
};

void BM_PxaGetDataBesidePlainSocket(benchmark::State& state) {
    PlainClient client(rig->emulator.port());
    QVector<IQ_Elem> samples;
    rig->pxa->getData(&samples);  // warm-up: first touches of every buffer on the way
    if (!client.ok() || client.fetch() != rig->blockBytes) {
        state.SkipWithError("plain socket failed");
        return;
    }
    for (auto _ : state) {
        long long fetched = 0;
        state.SetIterationTime(
            capture.turn([&] { rig->pxa->getData(&samples); }, [&] { fetched = client.fetch(); }));
        if (samples.size() * 8LL != rig->blockBytes || rig->status != VI_SUCCESS ||
            fetched != rig->blockBytes)
            state.SkipWithError("short capture");
    }
    state.counters["socket_ms"] = capture.bestB * 1e3;
    state.SetBytesProcessed(state.iterations() * rig->blockBytes);
}

// PyVISA times its own fetches, so interpreter start-up stays out of the figure.
void BM_PyVisaQueryBinaryValues(benchmark::State& state) {
    const std::string python = PYVISA_PYTHON;
    if (python.empty()) {
        state.SkipWithError("no Python with pyvisa and pyvisa_py");
        return;
    }
    for (auto _ : state) {
        const std::string command =
            python + " -W ignore " PYVISA_SCRIPT " " + std::to_string(rig->emulator.port()) + " 5";
        FILE* out = popen(command.c_str(), "r");
        double seconds = 0;
        long long values = 0;
        if (out == nullptr || std::fscanf(out, "SECONDS_PER_FETCH %lf VALUES %lld", &seconds, &values) != 2 ||
            values * 4 != rig->blockBytes) {
            if (out) pclose(out);
            state.SkipWithError("PyVISA fetch failed");
            return;
        }
        pclose(out);
        pyvisaSeconds = seconds;
        state.SetIterationTime(seconds);
    }
    state.SetBytesProcessed(state.iterations() * rig->blockBytes);
}

BENCHMARK(BM_PxaGetDataBesidePlainSocket)->Unit(benchmark::kMillisecond)->Iterations(40)->UseManualTime();
BENCHMARK(BM_PyVisaQueryBinaryValues)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

}  // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(quiet);
    Rig r;
    if (!setUp(r)) {
        std::fprintf(stderr, "bench_pxa: cannot set up the emulator and our VISA library\n");
        return 1;
    }
    rig = &r;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("block: %lld bytes (%lld samples)\n", r.blockBytes, r.blockBytes / 8);
    if (capture.measured())
        std::printf("RATIO PXA getData throughput vs plain socket: %.2f (target >= 0.9)\n",
                    capture.bestB / capture.bestA);
    if (capture.measured() && pyvisaSeconds > 0)
        std::printf("RATIO PXA getData speed vs PyVISA query_binary_values: %.2f (target >= 3)\n",
                    pyvisaSeconds / capture.bestA);
    else
        std::printf("RATIO PXA getData speed vs PyVISA query_binary_values: n/a (target >= 3)\n");
    r.pxa.reset();
    r.visa.viClose(r.session);
    r.visa.viClose(r.resourceManager);
    r.emulator.stop();
    return 0;
}
