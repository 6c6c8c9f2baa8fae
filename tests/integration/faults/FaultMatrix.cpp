#include "FaultMatrix.h"

#include "support/LogCapture.h"

#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <thread>

namespace faults {

Bound operator+(const Bound& a, const Bound& b) {
    return {a.text + " + " + b.text, a.ms + b.ms};
}

Bound roundTrips(int n) {
    return {std::to_string(n) + " round trips x 5 ms", n * 5};
}

Bound waits(int n, int each, const char* what) {
    const std::string times = n == 1 ? std::string() : std::to_string(n) + " x ";
    return {times + std::to_string(each) + " ms " + what, n * each};
}

std::string describe(const QVector<Error>& errors) {
    QStringList entries;
    for (const Error& e : errors) entries << QString::number(e.code) + ":" + QString(e.text).replace("\n", "\\n");
    return entries.join("; ").toStdString();
}

long guarded(const std::string& what, int hangMs, const std::function<void()>& call) {
    std::packaged_task<void()> task(call);
    std::future<void> done = task.get_future();
    const auto start = std::chrono::steady_clock::now();
    std::thread runner(std::move(task));
    if (done.wait_for(std::chrono::milliseconds(hangMs)) != std::future_status::ready) {
        // Nothing could unblock the call: report it and end the process.
        std::fprintf(stderr, "HANG: %s still running after %d ms\n", what.c_str(), hangMs);
        std::fflush(stderr);
        std::_Exit(1);
    }
    runner.join();
    done.get();
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
            .count());
}

Facade makeFacade() {
    Facade t(new Trelvan, [](Trelvan* facade) {
        delete facade->backend;
        delete facade;
    });
    EXPECT_EQ(t->visa.MissingFnCount(), 0) << "libMiVISA64 not found";
    support::useQuickTimeouts(t->visa);
    t->setDisconnect();  // a fresh facade counts as connected until told otherwise
    return t;
}

void record(const char* instrument, const std::string& row, const Bound& bound, long observedMs) {
    std::printf("| %s | %s | %s | %d | %ld |\n", instrument, row.c_str(), bound.text.c_str(), bound.ms,
                observedMs);
    std::fflush(stdout);
    EXPECT_LE(observedMs, bound.ms + kAllowanceMs) << row << ": bound " << bound.text;
}

std::string testName(size_t index, const std::string& text) {
    std::string name = (index < 10 ? "0" : "") + std::to_string(index) + "_";
    bool upper = true;
    for (char c : text) {
        if (std::isalnum(static_cast<unsigned char>(c))) {
            name += upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
            upper = false;
        } else {
            upper = true;
        }
    }
    return name;
}

DeviceData deviceAt(const std::string& address, const std::string& model) {
    DeviceData d;
    std::strncpy(d.address, address.c_str(), sizeof d.address - 1);
    d.model = model;
    return d;
}

namespace {

void expectBlock(const Instrument& in, Block expected, const QVector<IQ_Elem>& iq, const char* when,
                 int announced = 0) {
    SCOPED_TRACE(when);
    const auto zero = [](const IQ_Elem& e) { return e.I == 0 && e.Q == 0; };
    switch (expected) {
        case Block::Empty:
            EXPECT_TRUE(iq.isEmpty()) << iq.size() << " samples";
            break;
        case Block::Full:
            ASSERT_EQ(iq.size(), in.points);
            EXPECT_FALSE(zero(iq.last())) << "the block ends in zeros";
            break;
        case Block::Partial:
            ASSERT_EQ(iq.size(), announced ? announced : in.points);
            EXPECT_FALSE(zero(iq[1]));
            EXPECT_TRUE(zero(iq.last()));
            break;
        case Block::Zeros:
            ASSERT_EQ(iq.size(), in.points);
            EXPECT_TRUE(std::all_of(iq.begin(), iq.end(), zero)) << "samples were stored";
            break;
        case Block::Unchanged:
            break;
    }
}

// Also shows the facade mutex is free: a call still holding it would keep this one waiting.
QVector<IQ_Elem> captureFromAnotherThread(Trelvan& t, int ms) {
    QVector<IQ_Elem> block;
    guarded("getData from another thread (facade mutex held?)", ms, [&] { t.getData(&block); });
    return block;
}

}  // namespace

void run(Instrument& in, const Row& row) {
    SCOPED_TRACE(row.name);
    support::LogCapture log;
    Trelvan& t = *in.t;
    in.reset();
    if (t.getStatus() != 0) {
        ASSERT_TRUE(in.connect()) << "status " << t.getStatus();
    }
    QVector<IQ_Elem> iq;
    t.getData(&iq);
    expectBlock(in, Block::Full, iq, "before the fault");

    if (row.entry == Entry::Connect) t.setDisconnect();
    row.arm(in);
    const int limit = row.bound.ms + kAllowanceMs;
    QVector<Error> errors;
    bool connected = true;
    const long took = guarded(row.name, limit + kRelaxedMs, [&] {
        switch (row.entry) {
            case Entry::Capture:
                t.getData(&iq);
                break;
            case Entry::BinaryCapture: {
                iq.clear();
                for (const auto& v : t.getData(0.0)) iq.append(IQ_Elem{v.real(), v.imag()});
                break;
            }
            case Entry::ErrorList:
                errors = t.getError();
                break;
            case Entry::Connect:
                connected = t.setConnect(in.device);
                break;
            case Entry::SetPoints:
                t.setNumPts(in.points);
                break;
            case Entry::DisconnectDuringCapture: {
                std::thread other([&t] {
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                    t.setDisconnect();
                });
                t.getData(&iq);
                other.join();
                break;
            }
        }
    });
    record(in.name, row.name, row.bound, took);
    expectBlock(in, row.block, iq, "faulted", row.announced);
    EXPECT_EQ(connected, row.entry != Entry::Connect || row.status == 0);
    EXPECT_EQ(t.getStatus(), row.status);
    EXPECT_EQ(row.logged ? log.count(row.logged) : 1, 1) << row.logged;
    if (row.also) row.also();

    in.disarm();
    if (row.entry != Entry::ErrorList) guarded("getError", limit + kRelaxedMs, [&] { errors = t.getError(); });
    EXPECT_EQ(describe(errors), row.errors);

    const auto reconnect = [&] {
        bool ok = false;
        guarded("setConnect (facade mutex held?)", kAllowanceMs + kRelaxedMs + 5000, [&] { ok = in.connect(); });
        ASSERT_TRUE(ok) << "status " << t.getStatus();
    };
    switch (row.recovery) {
        case Recovery::NextCapture:
            break;
        case Recovery::Reopen:
            expectBlock(in, Block::Empty, captureFromAnotherThread(t, kAllowanceMs + kOpenMs), "re-opening");
            EXPECT_EQ(t.getStatus(), VI_SUCCESS);
            break;
        case Recovery::Reconnect:
            expectBlock(in, row.stuck, captureFromAnotherThread(t, kAllowanceMs + kRelaxedMs), "before the reconnect");
            guarded("setDisconnect (facade mutex held?)", kAllowanceMs, [&] { t.setDisconnect(); });
            reconnect();
            break;
        case Recovery::Retry:
            reconnect();
            break;
    }
    expectBlock(in, Block::Full, captureFromAnotherThread(t, limit + kRelaxedMs), "recovered");
    EXPECT_EQ(t.getStatus(), 0);
    const bool kept = in.errorsPersist && row.recovery == Recovery::NextCapture;
    EXPECT_EQ(describe(t.getError()), kept ? row.errors : in.cleanErrors);
}

std::string enterPrivateNetwork() {
    if (::unshare(CLONE_NEWNET) != 0)
        return std::string("no private network namespace: ") + std::strerror(errno);
    if (!setLoopback(true)) return "loopback of the private network namespace stays down";
    return std::string();
}

bool setLoopback(bool up) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) return false;
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool ok = ::ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    if (ok) {
        request.ifr_flags =
            static_cast<short>(up ? (request.ifr_flags | IFF_UP) : (request.ifr_flags & ~IFF_UP));
        ok = ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    }
    ::close(fd);
    return ok;
}

}  // namespace faults
