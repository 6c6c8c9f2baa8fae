// A host that loads the library at run time and calls every entry point before any connection.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <trelvan/Trelvan.h>

#include <QStringList>
#include <mutex>

namespace {

QStringList logLines;
QStringList logCategories;
std::mutex logMutex;

void collect(QtMsgType, const QMessageLogContext& context, const QString& line) {
    std::lock_guard<std::mutex> hold(logMutex);
    logLines << line;
    logCategories << QString::fromLatin1(context.category);
}

// Resolves an entry point by its plain C name, typed from the public declaration.
void* resolve(void* lib, const char* name) {
    void* p = dlsym(lib, name);
    EXPECT_NE(p, nullptr) << name << " is not exported unmangled";
    return p;
}
#define ENTRY(lib, fn) reinterpret_cast<decltype(&::fn)>(resolve(lib, #fn))

class HostWithoutBackend : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        qInstallMessageHandler(collect);
        lib = dlopen("libTrelvan.so", RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(lib, nullptr) << dlerror();
    }
    static void* lib;
};
void* HostWithoutBackend::lib = nullptr;

TEST_F(HostWithoutBackend, GreetsBeforeReportingTheVisaLoadResult) {
    int status = ENTRY(lib, getStatus)();
    std::lock_guard<std::mutex> hold(logMutex);
    ASSERT_GE(logLines.size(), 2);
    EXPECT_EQ(logLines[0], QStringLiteral("Hello from Trelvan library!"));
    EXPECT_EQ(logLines[1], QStringLiteral("Status of MiVisa initialsization: ") + QString::number(status));
    // Each under its subsystem's category, so that QT_LOGGING_RULES filters them.
    EXPECT_EQ(logCategories.mid(0, 2), (QStringList{"trelvan.facade", "trelvan.visa"}));
}

TEST_F(HostWithoutBackend, EveryEntryPointAnswersFromTheFacadesOwnState) {
    const int loaded = ENTRY(lib, getStatus)();

    EXPECT_EQ(ENTRY(lib, getNumPTS)(CUR), 0);
    EXPECT_EQ(ENTRY(lib, getNumPTS)(MAX), 0);

    QVector<IQ_Elem> samples(100, IQ_Elem{1.0, 2.0});
    samples.reserve(500);
    ENTRY(lib, getData)(&samples);
    EXPECT_TRUE(samples.isEmpty());
    EXPECT_GE(samples.capacity(), 500);
    EXPECT_EQ(ENTRY(lib, getStatus)(), loaded);

    ENTRY(lib, setParam)(Params{2e9, 5e6, -10});
    ENTRY(lib, setNumPts)(4096);
    ENTRY(lib, setExtSyncState)(true);
    ENTRY(lib, setExtSyncFreq)(10e6);
    const Params p = ENTRY(lib, getParameters)(CUR);
    EXPECT_EQ(p.frequency, 1e9);
    EXPECT_EQ(p.sampleRate, 1e7);
    EXPECT_EQ(p.refLevel, 0);
    EXPECT_EQ(ENTRY(lib, getCurSampleRate)(), 0.0);

    EXPECT_TRUE(ENTRY(lib, getError)().isEmpty());
    EXPECT_EQ(ENTRY(lib, CustomCommand)("*IDN?\n", true), "");
    EXPECT_EQ(ENTRY(lib, getStatus)(), loaded);

    ENTRY(lib, setDisconnect)();
    EXPECT_EQ(ENTRY(lib, getStatus)(), 1);
    ENTRY(lib, getDevList)();
    EXPECT_EQ(ENTRY(lib, getStatus)(), 1);
    EXPECT_EQ(ENTRY(lib, getNumPTS)(CUR), 0);
}

TEST_F(HostWithoutBackend, TheGlobalInstanceIsExported) { EXPECT_NE(dlsym(lib, "trelvan"), nullptr); }

}  // namespace
