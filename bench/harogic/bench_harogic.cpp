// One acquisition of 1 M points from a simulated device, beside a memcpy of the same output bytes, the
// two timed in turns and compared by the fastest turn of each.
#include <HtraSim.h>
#include <benchmark/benchmark.h>

#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "Paired.h"
#include "backends/harogic/Harogic.h"

namespace {

constexpr int kPoints = 1 << 20;

void silence(QtMsgType, const QMessageLogContext&, const QString&) {}

struct Bench {
    ViStatus status = 1;
    ViSession session = 0, resourceManager = 0;
    Params params{1e9, 1e7, 0};
    Error error;
    DeviceData device;
    std::unique_ptr<Harogic> harogic;

    Bench() {
        HtraSim_Reset();
        HtraSim_SetDeviceCount(1);
        std::strcpy(device.address, "USB::0");
        harogic = std::make_unique<Harogic>(
            Init{nullptr, &status, &session, &resourceManager, &params, &error, &device});
        harogic->setNumPoints(kPoints);
    }
};

bench::Paired copying;  // a: getData, b: memcpy

void BM_GetDataBesideMemcpy(benchmark::State& state) {
    Bench bench;
    QVector<IQ_Elem> out;
    const std::size_t bytes = std::size_t(kPoints) * sizeof(IQ_Elem);
    std::vector<char> from(bytes, 1), to(bytes);
    bench.harogic->getData(&out);  // warm-up: every buffer touched once
    std::memcpy(to.data(), from.data(), bytes);
    for (auto _ : state) {
        state.SetIterationTime(copying.turn(
            [&] {
                bench.harogic->getData(&out);
                benchmark::DoNotOptimize(out.constData());
            },
            [&] {
                std::memcpy(to.data(), from.data(), bytes);
                benchmark::DoNotOptimize(to.data());
                benchmark::ClobberMemory();
            }));
    }
    if (out.size() != kPoints || bench.status != 0) state.SkipWithError("acquisition failed");
    state.counters["memcpy_ms"] = copying.bestB * 1e3;
    state.SetBytesProcessed(state.iterations() * int64_t(bytes));
}
BENCHMARK(BM_GetDataBesideMemcpy)->Unit(benchmark::kMillisecond)->Iterations(200)->UseManualTime();

}  // namespace

int main(int argc, char** argv) {
    // The stand-in reports simulated devices only when asked to.
    setenv("TRELVAN_SIMULATED_USB", "1", 0);
    qInstallMessageHandler(silence);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (copying.measured())
        std::printf("RATIO Harogic getData 1M points vs memcpy of the same bytes: %.2f (target >= 0.8)\n",
                    copying.bestB / copying.bestA);
    return 0;
}
