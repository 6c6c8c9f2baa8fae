// The commands that talk to an instrument, run in-process against an emulated N9030A found through our
// VISA library: what they write, and how they refuse.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <random>

#include "Cli.h"
#include "PxaEmulator.h"
#include "Sigmf.h"
#include "Spectrum.h"

using namespace cli;

// Fontconfig keeps a cache it never frees; under LeakSanitizer that is not ours to report.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

namespace {

struct Outcome {
    int rc = -1;
    QString out, err;
};

Outcome run(const QStringList& args) {
    Outcome r;
    QTextStream out(&r.out), err(&r.err);
    Io io{out, err, false};
    r.rc = runCli(args, io);
    out.flush();
    err.flush();
    return r;
}

constexpr double kToneOffset = 1.5e6;
constexpr double kToneDbm = -20.0;

class CliOnEmulator : public ::testing::Test {
protected:
    void SetUp() override {
        pxa.setTone(kToneOffset, kToneDbm);
        pxa.setSerial("CLI-1");
        // Discovery opens port 5025, so the emulator needs a loopback address of its own.
        std::mt19937 gen(std::random_device{}());
        std::uniform_int_distribution<int> octet(2, 254);
        for (int i = 0; i < 40 && host.isEmpty(); ++i) {
            const QString h = QStringLiteral("127.%1.%2.%3").arg(octet(gen)).arg(octet(gen)).arg(octet(gen));
            if (pxa.start(h.toStdString(), 5025)) host = h;
        }
        ASSERT_FALSE(host.isEmpty());
        qputenv("MIVISA_RESOURCES", QStringLiteral("TCPIP0::%1::5025::SOCKET").arg(host).toUtf8());
        ASSERT_TRUE(dir.isValid());
    }
    QStringList capture(const QString& rate, const QString& name) const {
        return {"capture", "0", "--frequency", "1G", "--rate", rate, "--ref-level", "-10", "--points", "4096",
                "--count", "3", "--output", dir.filePath(name), "--plot", dir.filePath(name + ".png")};
    }
    sim::PxaEmulator pxa;
    QString host;
    QTemporaryDir dir;
};

TEST_F(CliOnEmulator, CaptureWritesARecordingOfTheToneAtTheDeliveredRate) {
    const Outcome r = run(capture("10M", "rec"));
    ASSERT_EQ(r.rc, 0) << r.err.toStdString();
    Recording rec;
    QString error;
    ASSERT_TRUE(readRecording(dir.filePath("rec"), rec, error)) << error.toStdString();
    EXPECT_DOUBLE_EQ(rec.sampleRateHz, 10e6);
    EXPECT_TRUE(rec.hw.contains("N9030A") && rec.hw.contains("CLI-1")) << rec.hw.toStdString();
    ASSERT_EQ(rec.captures.size(), 3u);
    EXPECT_EQ(rec.captures[2].sampleStart, 2 * static_cast<qint64>(rec.samples.size() / 3));
    EXPECT_DOUBLE_EQ(rec.captures[0].frequencyHz, 1e9);
    EXPECT_EQ(rec.extension.value("requested").toObject().value("sample_rate").toDouble(), 10e6);

    const Spectrum s = averagedSpectrum(rec.samples, 1e9, rec.sampleRateHz, 4096);
    const Peak p = strongestPeak(s, 1e9 - 4e6, 1e9 + 4e6);
    EXPECT_NEAR(p.frequencyHz, 1e9 + kToneOffset, 2 * s.binHz());
    EXPECT_NEAR(p.levelDbm, kToneDbm, 1.0);
    EXPECT_GT(QFile(dir.filePath("rec.png")).size(), 1000);
}

TEST_F(CliOnEmulator, RateBeyondTheLimitsIsRefusedAndTheCorrectionShown) {
    const Outcome r = run(capture("100M", "toofast"));
    EXPECT_EQ(r.rc, 1);
    // The library's own report of the change is passed on, then the request is refused.
    EXPECT_TRUE(r.err.contains("library reports: 101 Parameters was modified")) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("sample rate 100 MHz is outside the instrument's limits")) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("toofast.sigmf-meta")));
}

TEST_F(CliOnEmulator, InfoAndScpiAnswerFromTheInstrument) {
    Outcome r = run({"info", "CLI-1"});  // by serial
    ASSERT_EQ(r.rc, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("N9030A (serial CLI-1)")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("sample rate")) << r.out.toStdString();

    r = run({"scpi", QStringLiteral("TCPIP0::%1::5025::SOCKET").arg(host), "*IDN?"});
    ASSERT_EQ(r.rc, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.trimmed(), "Keysight Technologies,N9030A,CLI-1,A.01.00");

    r = run({"scpi", "0", ":NONSense:COMMand 5"});
    EXPECT_EQ(r.rc, 1);
    EXPECT_TRUE(r.err.contains("the instrument reports:")) << r.err.toStdString();
}

}  // namespace
