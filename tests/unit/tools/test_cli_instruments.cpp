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
    QStringList capture(const QString& rate, const QString& name, const QString& frequency = "1G",
                        const QString& points = "4096") const {
        return {"capture", "serial=CLI-1", "-f", frequency, "-r", rate, "--ref-level", "-10", "-n", points,
                "--count", "3", "-o", dir.filePath(name), "--plot", dir.filePath(name + ".png")};
    }
    sim::PxaEmulator pxa;
    QString host;
    QTemporaryDir dir;
};

TEST_F(CliOnEmulator, CaptureWritesARecordingOfTheToneAtTheDeliveredRate) {
    // 16-bit integers, so the level also shows that the recorded scale is right.
    const Outcome r = run(capture("10M", "rec") + QStringList{"--datatype", "ci16_le"});
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

// Every limit is checked before a setting is sent; the points limits come from the library inverted.
TEST_F(CliOnEmulator, RequestsBeyondTheLimitsAreRefusedWithNothingSent) {
    const struct {
        QStringList args;
        const char* says;
    } cases[] = {
        {capture("100M", "x"), "sample rate 100 MHz is outside the instrument's limits"},
        {capture("10M", "x", "1e99"), "centre frequency 1e+99 Hz is outside"},
        {capture("10M", "x", "1G", "4M"), "4000000 points are outside the instrument's limits 16 to"},
    };
    for (const auto& c : cases) {
        pxa.clearLog();
        const Outcome r = run(c.args);
        EXPECT_EQ(r.rc, 2) << c.says;
        EXPECT_TRUE(r.err.contains(c.says)) << r.err.toStdString();
        for (const std::string& line : pxa.log())
            EXPECT_TRUE(line.find("SPAN ") == std::string::npos && line.find("CENTer ") == std::string::npos &&
                        line.find("RANGe ") == std::string::npos && line.find("RESolution ") == std::string::npos)
                << c.says << ": sent " << line;
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("x.sigmf-meta")));
}

// The instrument rounds the centre to 1 kHz; the library reports the change, and so must the exit status
// and the recording.
TEST_F(CliOnEmulator, ACorrectedCaptureExitsOneAndAnnotatesTheError) {
    const Outcome r = run(capture("10M", "moved", "1000000400"));
    EXPECT_EQ(r.rc, 1);
    EXPECT_TRUE(r.err.contains("library reports: 101 Parameters was modified")) << r.err.toStdString();
    Recording rec;
    QString error;
    ASSERT_TRUE(readRecording(dir.filePath("moved"), rec, error)) << error.toStdString();
    ASSERT_EQ(rec.annotations.size(), 1u);
    EXPECT_EQ(rec.annotations[0].code, 101);
    EXPECT_EQ(rec.annotations[0].sampleCount, static_cast<qint64>(rec.samples.size()));
}

TEST_F(CliOnEmulator, ListNamesAConfiguredInstrumentThatDidNotAnswer) {
    // Port 9 on another loopback address: nothing listens there.
    qputenv("MIVISA_RESOURCES", QStringLiteral("TCPIP0::%1::5025::SOCKET;TCPIP0::127.0.0.1::9::SOCKET").arg(host).toUtf8());
    const Outcome r = run({"list"});
    EXPECT_EQ(r.rc, 0);
    EXPECT_TRUE(r.out.contains("serial=CLI-1")) << r.out.toStdString();
    EXPECT_EQ(r.err, "trelvan list: TCPIP0::127.0.0.1::9::SOCKET is configured but did not answer as an analyzer\n");
}

TEST_F(CliOnEmulator, InfoAndScpiAnswerFromTheInstrument) {
    Outcome r = run({"info", "serial=CLI-1"});
    ASSERT_EQ(r.rc, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("N9030A (serial CLI-1)")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("sample rate")) << r.out.toStdString();

    r = run({"scpi", QStringLiteral("TCPIP0::%1::5025::SOCKET").arg(host), "*IDN?"});
    ASSERT_EQ(r.rc, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.trimmed(), "Keysight Technologies,N9030A,CLI-1,A.01.00");

    r = run({"scpi", "0", ":FREQ:CENT 2.5e9;:FREQ:CENT?"});
    ASSERT_EQ(r.rc, 0) << r.err.toStdString();
    EXPECT_DOUBLE_EQ(r.out.trimmed().toDouble(), 2.5e9) << r.out.toStdString();

    // A rejected query shows the instrument's error, not a timeout.
    r = run({"scpi", "0", ":NONSense:COMMand?"});
    EXPECT_EQ(r.rc, 1);
    EXPECT_TRUE(r.err.contains("instrument error -113")) << r.err.toStdString();
}

}  // namespace
