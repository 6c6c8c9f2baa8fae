#include "FaultMatrix.h"

#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QtGlobal>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <mutex>
#include <thread>

namespace faults {

namespace {

ViStatus (*realSetAttribute)(ViObject, ViAttr, ViAttrState) = nullptr;
ViStatus (*realOpen)(ViSession, ViRsrc, ViAccessMode, ViUInt32, ViSession*) = nullptr;

ViStatus quickSetAttribute(ViObject vi, ViAttr attribute, ViAttrState value) {
    if (attribute == VI_ATTR_TMO_VALUE) {
        switch (value) {
            case 1000:
                value = kExchangeMs;
                break;
            case 2000:
                value = kSkMs;
                break;
            case 20000:
                value = kSkLongMs;
                break;
            case TRELVAN_TMO_RELAXED:
                value = kRelaxedMs;
                break;
            default:
                break;
        }
    }
    return realSetAttribute(vi, attribute, value);
}

ViStatus quickOpen(ViSession rm, ViRsrc name, ViAccessMode mode, ViUInt32 timeout, ViSession* vi) {
    return realOpen(rm, name, mode, timeout == 5000 ? kOpenMs : timeout, vi);
}

std::string ms(int value) {
    return std::to_string(value) + " ms";
}

[[noreturn]] void hang(const std::string& what, int msWaited) {
    std::fprintf(stderr, "HANG: %s still running after %d ms\n", what.c_str(), msWaited);
    std::fflush(stderr);
    std::_Exit(1);
}

std::mutex logMutex;
QStringList logLines;

void logHandler(QtMsgType, const QMessageLogContext&, const QString& text) {
    std::lock_guard<std::mutex> hold(logMutex);
    logLines.append(text);
}

}  // namespace

void useQuickTimeouts(DynamicVisa& visa) {
    if (visa.viSetAttribute != &quickSetAttribute) {
        realSetAttribute = visa.viSetAttribute;
        visa.viSetAttribute = &quickSetAttribute;
    }
    if (visa.viOpen != &quickOpen) {
        realOpen = visa.viOpen;
        visa.viOpen = &quickOpen;
    }
}

Bound operator+(const Bound& a, const Bound& b) {
    if (a.text.empty()) return b;
    if (b.text.empty()) return a;
    return {a.text + " + " + b.text, a.ms + b.ms};
}

Bound none() {
    return {"no wait", 0};
}

Bound readTimeouts(int n) {
    return {std::to_string(n) + " x " + ms(kExchangeMs) + " read timeout", n * kExchangeMs};
}

Bound openTimeout() {
    return {ms(kOpenMs) + " open timeout", kOpenMs};
}

Bound drainQuiet() {
    // One read that collects what is pending and runs into its timeout, one that finds the line quiet.
    return {"2 x " + ms(kDrainQuietMs) + " drain read", 2 * kDrainQuietMs};
}

Bound roundTrips(int n) {
    return {std::to_string(n) + " round trips x 5 ms", n * 5};
}

Bound stall(int value) {
    return {ms(value) + " stall", value};
}

Bound waits(int n, int each, const char* what) {
    return {(n == 1 ? std::string() : std::to_string(n) + " x ") + ms(each) + " " + what, n * each};
}

std::string describe(const QVector<Error>& errors) {
    std::string out;
    for (const Error& e : errors) {
        if (!out.empty()) out += "; ";
        out += std::to_string(e.code) + ":" + e.text.toStdString();
    }
    std::string shown;
    for (char c : out) shown += c == '\n' ? std::string("\\n") : std::string(1, c);
    return shown;
}

long guarded(const std::string& what, int hangMs, const std::function<void()>& call) {
    std::packaged_task<void()> task(call);
    std::future<void> done = task.get_future();
    const auto start = std::chrono::steady_clock::now();
    std::thread runner(std::move(task));
    if (done.wait_for(std::chrono::milliseconds(hangMs)) != std::future_status::ready) hang(what, hangMs);
    runner.join();
    done.get();
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
            .count());
}

QVector<IQ_Elem> captureFromAnotherThread(Trelvan& t, int msLimit) {
    auto capture = std::async(std::launch::async, [&t] {
        QVector<IQ_Elem> block;
        t.getData(&block);
        return block;
    });
    if (capture.wait_for(std::chrono::milliseconds(msLimit)) != std::future_status::ready)
        hang("getData from another thread (facade mutex held?)", msLimit);
    return capture.get();
}

void disconnectFromAnotherThread(Trelvan& t, int msLimit) {
    auto disconnect = std::async(std::launch::async, [&t] { t.setDisconnect(); });
    if (disconnect.wait_for(std::chrono::milliseconds(msLimit)) != std::future_status::ready)
        hang("setDisconnect from another thread (facade mutex held?)", msLimit);
    disconnect.get();
}

Facade makeFacade() {
    Facade t(new Trelvan, [](Trelvan* facade) {
        delete facade->backend;
        delete facade;
    });
    EXPECT_EQ(t->visa.MissingFnCount(), 0) << "libMiVISA64 not found";
    useQuickTimeouts(t->visa);
    t->setDisconnect();  // a fresh facade counts as connected until told otherwise
    return t;
}

void record(const char* instrument, const std::string& row, const Bound& bound, long observedMs) {
    std::printf("| %s | %s | %s | %d | %ld |\n", instrument, row.c_str(), bound.text.c_str(), bound.ms,
                observedMs);
    std::fflush(stdout);
    EXPECT_LE(observedMs, bound.ms + kAllowanceMs) << row << ": bound " << bound.text;
}

void LogCapture::start() {
    {
        std::lock_guard<std::mutex> hold(logMutex);
        logLines.clear();
    }
    qInstallMessageHandler(&logHandler);
}

void LogCapture::stop() {
    qInstallMessageHandler(nullptr);
}

QStringList LogCapture::lines() {
    std::lock_guard<std::mutex> hold(logMutex);
    return logLines;
}

int LogCapture::count(const QString& line) {
    return lines().count(line);
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
