// The trelvan program run as a user runs it: refusals of bad command lines, and the commands that talk to
// an emulated N9030A found through our VISA library.
#include <gtest/gtest.h>
#include <signal.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "PxaEmulator.h"
#include "SkServer.h"
#include "Sigmf.h"
#include "Spectrum.h"
#include "support/CliRunner.h"
#include "support/LoopbackServer.h"

namespace {

// Discovery opens port 5025, so the emulator has a loopback address of its own.
const QString kResource = "TCPIP0::127.0.0.101::5025::SOCKET";

class Cli : public ::testing::Test {
protected:
    void SetUp() override {
        pxa.setTone(1.5e6, -20);
        pxa.setSerial("CLI-1");
        ASSERT_TRUE(pxa.start("127.0.0.101", 5025));
    }
    support::CliResult run(const QStringList& args, const QString& resources = kResource) const {
        return support::runCli(args, {"MIVISA_RESOURCES=" + resources, "TRELVAN_SIMULATED_USB=0"});
    }
    // The spellings other SDR tools use: -s for the rate, -g for the reference level, 1GHz, 10m, NAME.sigmf.
    QStringList capture(const QString& name, const QString& frequency = "1GHz", const QString& rate = "10m",
                        const QString& points = "4096") const {
        return {"capture", "serial=CLI-1", "-f", frequency, "-s" + rate, "-g-10", "-n", points,
                "--count", "3", "-o", dir.filePath(name + ".sigmf"), "--plot", dir.filePath(name + ".png")};
    }
    sim::PxaEmulator pxa;
    QTemporaryDir dir;
};

// Each mistake fails with status 2, a line on stderr that says why and, with --json, an object on stdout
// that says the same, before any setting is sent.
TEST_F(Cli, MistakesAndRequestsBeyondTheLimitsAreRefusedWithNothingSent) {
    QFile(dir.filePath("plain")).open(QIODevice::WriteOnly);
    const QStringList c = capture("x");
    const struct {
        QStringList args;
        const char* says;
    } cases[] = {
        {{"frobnicate"}, "unknown command 'frobnicate'"},
        {{"list", "--colour"}, "unknown option --colour"},
        {{"info", "model"}, "DEVICE 'model' is neither an index nor filters"},
        {{"plot", dir.filePath("none.sigmf"), "-o", dir.filePath("x.png")}, "cannot read"},
        {c.mid(0, 2) + c.mid(4), "--frequency is required"},
        {c.mid(0, 4) + QStringList{"-rten"} + c.mid(5), "--rate: 'ten' is not a number"},
        {c + QStringList{"--datatype", "ri16_le"}, "--datatype: 'ri16_le' is not cf32_le, cf64_le or ci16_le"},
        {c.mid(0, 11) + QStringList{"/nonexistent-folder/rec"} + c.mid(12), "folder /nonexistent-folder does not exist"},
        {c.mid(0, 13) + QStringList{dir.filePath("plain")}, "plain exists; --force replaces it"},
        {capture("x", "1G", "100M"), "sample rate 100 MHz is outside the instrument's limits"},
        {capture("x", "1e99"), "centre frequency 1e+99 Hz is outside"},
        {capture("x", "1G", "10M", "4M"), "4000000 points are outside the instrument's limits 16 to"},
    };
    for (const auto& k : cases) {
        const support::CliResult r = run(k.args + QStringList{"--json"});
        EXPECT_EQ(r.status, 2) << k.says;
        EXPECT_TRUE(r.err.contains(k.says)) << k.says << " / said: " << r.err.toStdString();
        const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
        EXPECT_EQ(o["exit_status"], 2) << k.says << " / printed: " << r.out.toStdString();
        EXPECT_TRUE(o["error"].toString().contains(k.says)) << k.says << " / printed: " << r.out.toStdString();
    }
    for (const std::string& line : pxa.log())
        for (const char* setting : {"SPAN ", "CENTer ", "RANGe ", "RESolution "})
            EXPECT_EQ(line.find(setting), std::string::npos) << "sent " << line;
}

// A DEVICE is an index in the listed order (newest first) or filters that match exactly one instrument as
// the user sees it; one that matches several or none is refused with what there is.
TEST_F(Cli, InfoTakesTheInstrumentThatTheDeviceNamesAndNoOther) {
    sim::PxaEmulator second;
    second.setSerial("CLI-2");
    ASSERT_TRUE(second.start("127.0.0.102", 5025));
    const QString both = kResource + ";TCPIP0::127.0.0.102::5025::SOCKET";
    const struct {
        const char* device;
        int status;
        const char* says;
    } cases[] = {
        {"serial=CLI-2", 0, "N9030A (serial CLI-2) at TCPIP0::127.0.0.102::5025::SOCKET"},
        {"address=TCPIP0::127.0.0.101::5025::SOCKET", 0, "N9030A (serial CLI-1) at"},
        {"1", 0, "N9030A (serial CLI-1) at"},
        {"address=127.0.0.102", 0, "N9030A (serial CLI-2) at"},
        {"address=127.0.0.101:5025", 0, "N9030A (serial CLI-1) at"},
        {"address=TCPIP::127.0.0.102::5025::SOCKET", 0, "N9030A (serial CLI-2) at"},
        {"model=N9030A", 1, "2 instruments match model=N9030A: 0 (serial=CLI-2), 1 (serial=CLI-1); add a filter"},
        {"serial=NOPE", 1, "no instrument matches serial=NOPE"},
        {"7", 1, "no instrument 7: found 2, numbered 0 to 1"},
        {"", 1, "2 instruments found: 0 (serial=CLI-2), 1 (serial=CLI-1); name one as DEVICE"},
    };
    for (const auto& c : cases) {
        const support::CliResult r = run(QStringList{"info"} + (*c.device ? QStringList{"-d", c.device} : QStringList{}), both);
        EXPECT_EQ(r.status, c.status) << c.device;
        EXPECT_TRUE((c.status == 0 ? r.out : r.err).contains(c.says)) << c.device << ": " << r.err.toStdString() << r.out.toStdString();
    }
}

// `list` names what it could not use: an entry it cannot read, one that did not answer, one that did not
// identify itself. The instrument rounds the centre to 1 kHz and the library reports it: the recording
// is still written, with the error annotated, and the status says it.
TEST_F(Cli, ListJsonSelectsTheInstrumentWhoseCaptureAndPlotShowTheTone) {
    // Port 9 on another loopback address: nothing listens there. The silent server never says who it is.
    support::LoopbackServer silent(support::LoopbackServer::Kind::Silent, "127.0.0.104");
    const QString misspelt = "TCPIP0::127.0.0.105::5025::SOCKET|modle=X";
    support::CliResult r = run({"list", "--json"}, kResource + ";TCPIP0::127.0.0.1::9::SOCKET;" + misspelt + ";" +
                                                       QString::fromStdString(silent.resource()));
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.err, "trelvan list: MIVISA_RESOURCES: entry '" + misspelt +
                         "' is left out: unknown field 'modle' (known: manufacturer, model, serial, busy)\n"
                         "trelvan list: TCPIP0::127.0.0.1::9::SOCKET is configured but did not answer as an analyzer\n");
    const QJsonArray all = QJsonDocument::fromJson(r.out.toUtf8()).object()["instruments"].toArray();
    ASSERT_EQ(all.size(), 2) << r.out.toStdString();
    EXPECT_EQ(all[0]["identified"], false);
    EXPECT_EQ(all[1]["driver"], "pxa");
    EXPECT_EQ(all[1]["address"], kResource);

    // 16-bit integers, so the level also shows that the recorded scale is right.
    QStringList args = capture("rec", "1000000400") + QStringList{"--datatype", "ci16_le"};
    args[1] = all[1]["select"].toString();
    r = run(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("library reports: 101 Parameters was modified")) << r.err.toStdString();
    cli::Recording rec;
    QString error;
    ASSERT_TRUE(cli::readRecording(dir.filePath("rec"), rec, error)) << error.toStdString();
    ASSERT_EQ(rec.captures.size(), 3u);
    EXPECT_EQ(rec.captures[2].sampleStart, 2 * static_cast<qint64>(rec.samples.size() / 3));
    ASSERT_EQ(rec.annotations.size(), 1u);
    EXPECT_EQ(rec.annotations[0].code, 101);
    EXPECT_EQ(rec.annotations[0].sampleCount, static_cast<qint64>(rec.samples.size()));
    const cli::Spectrum s = cli::averagedSpectrum(rec.samples, 1e9, rec.sampleRateHz, 4096);
    const cli::Peak p = cli::strongestPeak(s, 1e9 - 4e6, 1e9 + 4e6);
    EXPECT_NEAR(p.frequencyHz, 1e9 + 1.5e6, 2 * s.binHz());
    EXPECT_NEAR(p.levelDbm, -20, 1.0);

    r = run({"plot", dir.filePath("rec.sigmf-meta"), "-o", dir.filePath("nowhere/again.png")});
    EXPECT_EQ(r.status, 2) << r.err.toStdString();  // as capture: a file the command line names
}

// A reader of --output - that goes away ends the capture at once: done when it took samples, a failure
// when nothing could be written.
TEST_F(Cli, AReaderOfStdoutThatGoesAwayEndsTheCapture) {
    for (const bool tookSamples : {true, false}) {
        const QString reader = tookSamples ? "head -c 1000 >/dev/null" : "true";
        const support::CliResult r =
            support::CliProcess({"capture", "-f", "1G", "-s", "10M", "-n", "4096", "--count", "0", "-o", "-"},
                                {"MIVISA_RESOURCES=" + kResource, "TRELVAN_SIMULATED_USB=0"},
                                {"bash", "-c", "set -o pipefail; \"$@\" | " + reader, "bash"})
                .wait(60000);
        EXPECT_EQ(r.status, tookSamples ? 0 : 1) << r.err.toStdString();
        EXPECT_EQ(r.err.contains("wrote stdout: "), tookSamples) << r.err.toStdString();
        EXPECT_EQ(r.err.contains("the reader of stdout went away before any samples were written"), !tookSamples);
    }
}

// An SK instrument delivers a set of rates that follows the block size. A rate it would change is refused
// before the instrument is tuned, naming the deliverable rates either side; the one above, copied as
// printed, is delivered and recorded as such.
TEST_F(Cli, AnSkRateOutsideItsSetIsRefusedAndANamedOneIsDelivered) {
    sim::sk::Server sk;
    ASSERT_TRUE(sk.start("127.0.0.103", 8888)) << sk.error();
    const QString resource = "TCPIP0::127.0.0.103::8888::SOCKET|manufacturer=Reruro|model=К4-Э1|serial=7";
    const QStringList args{"capture", "model=k4", "-f", "2.4G", "-g", "0", "-n", "8192", "-o", dir.filePath("sk")};
    const auto tunedTo = [&sk](double hz) {
        for (const auto& q : sk.requests())
            if (!q.values.empty() && q.values[0] == hz) return true;
        return false;
    };
    support::CliResult r = run(args + QStringList{"-s", "2.7M", "--json"}, resource);
    EXPECT_EQ(r.status, 2) << r.err.toStdString();
    const QRegularExpressionMatch m = QRegularExpression("nearest deliverable: ([0-9.]+) (k?)Hz below, ([0-9.]+) (M?)Hz above")
                                          .match(QJsonDocument::fromJson(r.out.toUtf8()).object()["error"].toString());
    ASSERT_TRUE(m.hasMatch()) << r.out.toStdString();
    EXPECT_FALSE(tunedTo(2.4e9));

    r = run(args + QStringList{"-s", m.captured(3) + m.captured(4)}, resource);
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(tunedTo(2.4e9));
    cli::Recording rec;
    QString error;
    ASSERT_TRUE(cli::readRecording(dir.filePath("sk"), rec, error)) << error.toStdString();
    EXPECT_NEAR(rec.sampleRateHz, m.captured(3).toDouble() * 1e6, 1e-6 * rec.sampleRateHz);
}

TEST_F(Cli, ScpiAnswersFromTheInstrument) {
    support::CliResult r = run({"scpi", ":FREQ:CENT 2.5e9;:FREQ:CENT?"});  // the only instrument: no DEVICE needed
    EXPECT_EQ(r.status, 0);
    EXPECT_DOUBLE_EQ(r.out.trimmed().toDouble(), 2.5e9) << r.out.toStdString();
    r = run({"scpi", "0", ":NONSense:COMMand?"});  // the instrument's error, not a timeout
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("instrument error -113")) << r.err.toStdString();
}

// One owner per instrument: while a capture holds it, another program lists it busy and is refused without
// a connection to it; the moment the owner is killed, the instrument is free again.
TEST_F(Cli, AnInstrumentOneProgramCapturesIsBusyForAnotherUntilTheOwnerDies) {
    const QString named = kResource + "|manufacturer=Keysight|model=N9030A|serial=CLI-1";
    const QString owned = dir.filePath("owner");
    support::CliProcess owner({"capture", "-f", "1G", "-s", "10M", "-n", "4096", "--count", "0", "-o", owned},
                              {"MIVISA_RESOURCES=" + named, "TRELVAN_SIMULATED_USB=0"});
    for (int i = 0; i < 200 && !QFile::exists(owned + ".sigmf-meta"); ++i) support::sleepMs(50);
    const int connections = pxa.connectionsAccepted();
    EXPECT_TRUE(run({"list"}, named).out.contains("  yes "));
    support::CliResult r = run(capture("second"), named);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("in use by another program")) << r.err.toStdString();
    EXPECT_EQ(pxa.connectionsAccepted(), connections);
    ::kill(static_cast<pid_t>(owner.pid()), SIGKILL);
    owner.wait(10000);
    r = run(capture("third"), named);
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
}

}  // namespace
