// Recordings that survive however a capture ends: a frozen instrument, Ctrl-C, SIGKILL, a full disk. The
// emulator runs as a process of its own so that it can be frozen; check_recordings.py judges each pair
// on disk as an outside SigMF reader would.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <random>

#include "support/CliRunner.h"
#include "support/LoopbackServer.h"

namespace {

const QString kHost = "127.0.0.111";
const QString kChecker = TOOLS_TEST_DIR "/check_recordings.py";
const QString kSchema = TOOLS_TEST_DIR "/sigmf-meta.schema.json";

class Recordings : public ::testing::Test {
protected:
    void SetUp() override {
        sim.start(support::buildProgram("trelvan-sim-pxa"), {"--listen", kHost + ":5025", "--serial", "REC-1"});
        ASSERT_TRUE(sim.waitForReadyRead(10000)) << "the emulator did not start";
    }
    void TearDown() override {
        ::kill(static_cast<pid_t>(sim.processId()), SIGCONT);
        sim.kill();
        sim.waitForFinished(5000);
    }
    QStringList env() const { return {"MIVISA_RESOURCES=TCPIP0::" + kHost + "::5025::SOCKET", "TRELVAN_SIMULATED_USB=0"}; }
    QStringList capture(const QString& name, const QString& points) const {
        return {"capture", "-f", "1G", "-s", "10M", "-n", points, "--count", "0", "-o", name};
    }
    void freeze() { ::kill(static_cast<pid_t>(sim.processId()), SIGSTOP); }
    void expectConsistent(const QStringList& names) {
        QProcess check;
        check.start("/usr/bin/python3", QStringList{kChecker, kSchema} + names);
        ASSERT_TRUE(check.waitForFinished(120000));
        EXPECT_EQ(check.exitCode(), 0) << check.readAllStandardError().toStdString();
    }
    QProcess sim;
    QTemporaryDir dir;
};

// Both end with the samples that arrived described on disk; the bounds themselves (5 s, 1 s) are the
// program's, the test only guards against a hang.
TEST_F(Recordings, AFrozenInstrumentEndsTheCaptureAtTheTimeoutAndCtrlCEndsItWhileFrozen) {
    for (const int signal : {0, SIGINT}) {
        const QString name = dir.filePath(signal ? "interrupted" : "frozen");
        support::CliProcess cli(capture(name, "256k") + QStringList{"--timeout", "5"}, env());
        for (int i = 0; i < 200 && !QFile::exists(name + ".sigmf-meta"); ++i) support::sleepMs(50);
        support::sleepMs(300);
        freeze();
        if (signal) ::kill(static_cast<pid_t>(cli.pid()), signal);
        const support::CliResult r = cli.wait(30000);
        ::kill(static_cast<pid_t>(sim.processId()), SIGCONT);
        EXPECT_EQ(r.status, signal ? 130 : 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(signal ? "stopped by signal 2" : "the instrument stopped answering: no block within 5 s"))
            << r.err.toStdString();
        expectConsistent({name});
    }
}

TEST_F(Recordings, SigkillAtAnyMomentLeavesAConsistentPair) {
    std::mt19937 random(std::random_device{}());
    QStringList names;
    for (int i = 0; i < 20; ++i) {
        const QString name = dir.filePath(QString("killed%1").arg(i));
        support::CliProcess cli(capture(name, "64k") + QStringList{"--datatype", i % 2 ? "ci16_le" : "cf32_le"}, env());
        support::sleepMs(std::uniform_int_distribution<int>(50, 800)(random));
        ::kill(static_cast<pid_t>(cli.pid()), SIGKILL);
        cli.wait(10000);
        if (QFile::exists(name + ".sigmf-data")) names << name;
    }
    ASSERT_FALSE(names.isEmpty());
    expectConsistent(names);
}

// The tmpfs exists only in the program's own mount namespace, so the check runs there too.
TEST_F(Recordings, AFullDiskStopsTheCaptureWithTheFileAndTheErrorNamed) {
    if (geteuid() != 0) GTEST_SKIP() << "mounting a 1 MB tmpfs needs root (unshare --mount)";
    const QString small = dir.filePath("small");
    QDir().mkpath(small);
    const QString script = QString("mount -t tmpfs -o size=1m tmpfs '%1' || exit 77; \"$@\"; rc=$?; "
                                   "/usr/bin/python3 '%2' '%3' '%1/full' || exit 99; exit $rc")
                               .arg(small, kChecker, kSchema);
    support::CliProcess cli(capture(small + "/full", "32k") + QStringList{"--json"}, env(),
                            {"unshare", "--mount", "sh", "-c", script, "sh"});
    const support::CliResult r = cli.wait(60000);
    if (r.status == 77) GTEST_SKIP() << "no private mount namespace here: " << r.err.toStdString();
    EXPECT_EQ(r.status, 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("cannot write " + small + "/full.sigmf-data: No space left on device")) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains("wrote")) << r.err.toStdString();
    EXPECT_TRUE(QJsonDocument::fromJson(r.out.toUtf8()).object()["error"].toString().contains("No space left on device"))
        << r.out.toStdString();
}

}  // namespace
