// Ten million samples from the emulated N9030A through the SoapySDR module's readStream (CF32), beside
// the library's own getData, in turns within each iteration so that drift in machine load falls on both.
#include <benchmark/benchmark.h>
#include <trelvan/Trelvan.h>

#include <QtGlobal>
#include <SoapySDR/Device.hpp>
#include <SoapySDR/Formats.hpp>
#include <algorithm>
#include <chrono>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "PxaEmulator.h"

namespace {

constexpr long long kSamples = 10000000;
constexpr int kPoints = 1 << 20;
constexpr double kRate = 10e6;
const char* const kHost = "127.0.0.183";
const std::string kResource = std::string("TCPIP0::") + kHost + "::5025::SOCKET";

// The median of the iterations' ratios: one iteration that a burst of machine load hit moves it little.
double medianRatio = 0;

double since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The library alone: discover, connect, configure, then blocks until ten million samples are in, each
// copied out as complex floats, as much work per sample as the module's reader does.
double viaGetData() {
    const DeviceData* pxa = nullptr;
    const std::vector<DeviceData> list = getDevList();
    for (const DeviceData& d : list)
        if (kResource == d.address) pxa = &d;
    if (pxa == nullptr || !setConnect(*pxa)) return -1;
    setParam(Params{1e9, kRate, 0});
    setNumPts(kPoints);
    QVector<IQ_Elem> block;
    std::vector<std::complex<float>> copy(kPoints);
    long long got = 0;
    const auto start = std::chrono::steady_clock::now();
    while (got < kSamples) {
        getData(&block);
        if (block.isEmpty()) break;
        const int n = std::min(block.size(), kPoints);
        for (int i = 0; i < n; ++i) copy[i] = {float(block[i].I), float(block[i].Q)};
        benchmark::DoNotOptimize(copy.data());
        got += block.size();
    }
    const double seconds = since(start);
    setDisconnect();
    return got >= kSamples ? seconds : -1;
}

// The same through the module, read as an application would, in chunks of 64 Ki samples.
double viaReadStream() {
    SoapySDR::Device* dev = SoapySDR::Device::make("driver=trelvan,address=" + kResource);
    dev->setSampleRate(SOAPY_SDR_RX, 0, kRate);
    dev->setFrequency(SOAPY_SDR_RX, 0, 1e9);
    dev->writeSetting("points", std::to_string(kPoints));
    SoapySDR::Stream* rx = dev->setupStream(SOAPY_SDR_RX, SOAPY_SDR_CF32);
    std::vector<std::complex<float>> buffer(1 << 16);
    void* buffs[] = {buffer.data()};
    long long got = 0;
    const auto start = std::chrono::steady_clock::now();
    dev->activateStream(rx);
    while (got < kSamples) {
        int flags = 0;
        long long timeNs = 0;
        const int n = dev->readStream(rx, buffs, buffer.size(), flags, timeNs, 5000000);
        if (n == SOAPY_SDR_TIMEOUT) break;
        if (n > 0) got += n;
    }
    const double seconds = since(start);
    dev->deactivateStream(rx);
    dev->closeStream(rx);
    SoapySDR::Device::unmake(dev);
    return got >= kSamples ? seconds : -1;
}

void BM_TenMillionSamples(benchmark::State& state) {
    double direct = 0, soapy = 0;
    std::vector<double> ratios;
    bool readStreamFirst = false;
    for (auto _ : state) {
        // Each goes first every other time, so that a change of machine load falls on both alike.
        double a = -1, b = -1;
        try {
            if (!readStreamFirst) a = viaGetData();
            b = viaReadStream();
            if (readStreamFirst) a = viaGetData();
            readStreamFirst = !readStreamFirst;
        } catch (const std::exception& e) {
            state.SkipWithError(e.what());
            return;
        }
        if (a <= 0 || b <= 0) {
            state.SkipWithError("a capture came back short");
            return;
        }
        direct += a;
        soapy += b;
        ratios.push_back(a / b);
    }
    std::sort(ratios.begin(), ratios.end());
    medianRatio = ratios[ratios.size() / 2];
    const double n = static_cast<double>(state.iterations());
    state.counters["getData_MSps"] = kSamples / (direct / n) / 1e6;
    state.counters["readStream_MSps"] = kSamples / (soapy / n) / 1e6;
}

BENCHMARK(BM_TenMillionSamples)->Unit(benchmark::kSecond)->Iterations(9);

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

}  // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(quiet);
    sim::PxaEmulator emulator;
    if (!emulator.start(kHost, 5025)) {
        std::fprintf(stderr, "bench_soapy: cannot listen on %s:5025\n", kHost);
        return 1;
    }
    setenv("MIVISA_RESOURCES", kResource.c_str(), 1);
    setenv("SOAPY_SDR_PLUGIN_PATH", TRELVAN_SOAPY_MODULE_DIR, 1);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (medianRatio > 0)
        std::printf("RATIO Soapy readStream throughput vs getData: %.2f (target >= 0.95)\n", medianRatio);
    else
        std::printf("RATIO Soapy readStream throughput vs getData: n/a (target >= 0.95)\n");
    emulator.stop();
    return 0;
}
