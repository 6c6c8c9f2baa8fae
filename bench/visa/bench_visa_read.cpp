// Reading a 64 MiB stream through viRead in 1024-byte requests, beside a plain socket reading the same
// stream in 1 MiB recv calls.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "Api.h"

namespace {

constexpr size_t kStreamBytes = 64u << 20;
constexpr size_t kChunk = 1u << 20;

// Sends kStreamBytes to every connection, then closes it.
class Streamer {
public:
    Streamer() : data_(kChunk, 'S') {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listener_, 8);
        socklen_t len = sizeof a;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { run(); });
    }
    ~Streamer() {
        stop_ = true;
        thread_.join();
        ::close(listener_);
    }
    uint16_t port() const { return port_; }

private:
    void run() {
        while (!stop_) {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            const int fd = ::accept(listener_, nullptr, nullptr);
            if (fd < 0) continue;
            for (size_t sent = 0; sent < kStreamBytes;) {
                const ssize_t r =
                    ::send(fd, data_.data(), std::min(kChunk, kStreamBytes - sent), MSG_NOSIGNAL);
                if (r <= 0) break;
                sent += static_cast<size_t>(r);
            }
            ::close(fd);
        }
    }
    std::vector<char> data_;
    int listener_;
    uint16_t port_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

Streamer* gStreamer = nullptr;

void PlainSocketRecv1MiB(benchmark::State& state) {
    std::vector<char> buf(kChunk);
    for (auto _ : state) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(gStreamer->port());
        if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) state.SkipWithError("connect");
        size_t total = 0;
        ssize_t r;
        while ((r = ::recv(fd, buf.data(), buf.size(), 0)) > 0) total += static_cast<size_t>(r);
        ::close(fd);
        if (total != kStreamBytes) state.SkipWithError("short stream");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kStreamBytes));
}

void ViRead1024(benchmark::State& state) {
    ViSession rm = VI_NULL;
    viOpenDefaultRM(&rm);
    std::string name = "TCPIP0::127.0.0.1::" + std::to_string(gStreamer->port()) + "::SOCKET";
    ViByte buf[1024];
    for (auto _ : state) {
        ViSession vi = VI_NULL;
        if (viOpen(rm, &name[0], VI_NULL, 2000, &vi) != VI_SUCCESS) state.SkipWithError("viOpen");
        size_t total = 0;
        ViUInt32 got = 0;
        while (viRead(vi, buf, sizeof buf, &got) == VI_SUCCESS) total += got;
        total += got;
        viClose(vi);
        if (total != kStreamBytes) state.SkipWithError("short stream");
    }
    viClose(rm);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kStreamBytes));
}

// Repeated and interleaved, so that load from elsewhere on the machine falls on both alike; the ratio
// compares medians.
BENCHMARK(PlainSocketRecv1MiB)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(9)
    ->ReportAggregatesOnly();
BENCHMARK(ViRead1024)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(9)->ReportAggregatesOnly();

// Keeps each benchmark's median time per stream so the ratio can be printed after the table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median")
                seconds[r.run_name.function_name] = r.GetAdjustedRealTime();
    }
    std::map<std::string, double> seconds;
};

}  // namespace

int main(int argc, char** argv) {
    // Interleaving is on unless the command line says otherwise (later flags win).
    std::vector<char*> args(argv, argv + argc);
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, interleave);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    Streamer streamer;
    gStreamer = &streamer;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double plain = reporter.seconds["PlainSocketRecv1MiB"];
    const double visa = reporter.seconds["ViRead1024"];
    if (plain > 0 && visa > 0)
        std::printf("RATIO viRead 1024 B vs recv 1 MiB throughput: %.2f (target 0.6)\n", plain / visa);
    gStreamer = nullptr;
    return 0;
}
