#include "FaultMatrix.h"

#include "support/LogCapture.h"

#include <QRegularExpression>

#include <algorithm>
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
    for (const Error& e : errors)
        entries << QString::number(e.code) + ":" + QString(e.text).replace("\n", "\\n");
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
    Facade t(new Trelvan, [](Trelvan* facade) { delete facade; });
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
    QString name = QString("%1_").arg(index, 2, 10, QChar('0'));
    for (const QString& word :
         QString::fromStdString(text).split(QRegularExpression("[^A-Za-z0-9]+"), Qt::SkipEmptyParts))
        name += word.left(1).toUpper() + word.mid(1);
    return name.toStdString();
}

QVector<IQ_Elem> toBlock(const std::vector<std::complex<double>>& values) {
    QVector<IQ_Elem> iq;
    for (const auto& v : values) iq.append(IQ_Elem{v.real(), v.imag()});
    return iq;
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
    if (expected == Block::Unchanged) return;
    if (expected == Block::Empty) {
        EXPECT_TRUE(iq.isEmpty()) << iq.size() << " samples";
        return;
    }
    ASSERT_EQ(iq.size(), expected == Block::Partial && announced ? announced : in.points);
    if (expected == Block::Zeros) {
        EXPECT_TRUE(std::all_of(iq.begin(), iq.end(), zero)) << "samples were stored";
        return;
    }
    // A partial block holds what arrived first, and zeros where nothing arrived.
    EXPECT_FALSE(zero(iq[1]));
    EXPECT_EQ(zero(iq.last()), expected == Block::Partial) << "the block ends in zeros?";
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
    QVector<IQ_Elem> iq = captureFromAnotherThread(t, kAllowanceMs + kRelaxedMs);
    expectBlock(in, Block::Full, iq, "before the fault");

    if (row.entry == Entry::Connect) t.setDisconnect();
    row.arm(in);
    const int limit = row.bound.ms + kAllowanceMs;
    QVector<Error> errors;
    bool connected = true;
    const long took = guarded(row.name, limit + kRelaxedMs, [&] {
        std::thread other;
        if (row.entry == Entry::DisconnectDuringCapture) {
            other = std::thread([&t] {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                t.setDisconnect();
            });
        }
        if (row.entry == Entry::Capture || row.entry == Entry::DisconnectDuringCapture) t.getData(&iq);
        if (row.entry == Entry::BinaryCapture) iq = toBlock(t.getData(0.0));
        if (row.entry == Entry::ErrorList) errors = t.getError();
        if (row.entry == Entry::Connect) connected = t.setConnect(in.device);
        if (row.entry == Entry::SetPoints) t.setNumPts(in.points);
        if (other.joinable()) other.join();
    });
    record(in.name, row.name, row.bound, took);
    expectBlock(in, row.block, iq, "faulted", row.announced);
    EXPECT_EQ(connected, row.entry != Entry::Connect || row.status == 0);
    EXPECT_EQ(t.getStatus(), row.status);
    EXPECT_EQ(row.logged ? log.count(row.logged) : 1, 1) << row.logged;
    if (row.also) row.also();

    in.disarm();
    if (row.entry != Entry::ErrorList)
        guarded("getError", limit + kRelaxedMs, [&] { errors = t.getError(); });
    const std::string expected = row.errors.empty() ? in.cleanErrors : row.errors;
    EXPECT_EQ(describe(errors), expected);

    if (row.recovery == Recovery::Reopen) {
        expectBlock(in, Block::Empty, captureFromAnotherThread(t, kAllowanceMs + kOpenMs), "re-opening");
        EXPECT_EQ(t.getStatus(), VI_SUCCESS);
    }
    if (row.recovery == Recovery::Reconnect) {
        expectBlock(in, row.stuck, captureFromAnotherThread(t, kAllowanceMs + kRelaxedMs),
                    "before the reconnect");
        guarded("setDisconnect (facade mutex held?)", kAllowanceMs, [&] { t.setDisconnect(); });
    }
    if (row.recovery == Recovery::Reconnect || row.recovery == Recovery::Retry) {
        bool ok = false;
        guarded("setConnect (facade mutex held?)", kAllowanceMs + kRelaxedMs + 5000,
                [&] { ok = in.connect(); });
        ASSERT_TRUE(ok) << "status " << t.getStatus();
    }
    expectBlock(in, Block::Full, captureFromAnotherThread(t, limit + kRelaxedMs), "recovered");
    EXPECT_EQ(t.getStatus(), 0);
    const bool kept = in.errorsPersist && row.recovery == Recovery::NextCapture;
    EXPECT_EQ(describe(t.getError()), kept ? expected : in.cleanErrors);
}

}  // namespace faults
