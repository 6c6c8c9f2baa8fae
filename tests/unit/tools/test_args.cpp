// The command line: parsing, numbers, and the one-line reasons bad input gets.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "Args.h"
#include "Cli.h"

using namespace cli;

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

const std::vector<OptionSpec> kSpec{{"rate", "HZ", ""}, {"json", "", ""}};

TEST(Args, OptionsFlagsAndPositionalsInAnyOrder) {
    ParsedArgs a;
    QString error;
    ASSERT_TRUE(parseArgs({"0", "--rate", "-5", "--json", "x", "--", "--rate"}, kSpec, a, error)) << error.toStdString();
    EXPECT_EQ(a.positional, (QStringList{"0", "x", "--rate"}));
    EXPECT_EQ(a.value("rate"), "-5");  // a negative number is a value, not an option
    EXPECT_TRUE(a.flags.contains("json"));
    ASSERT_TRUE(parseArgs({"--rate=1M", "-h"}, kSpec, a, error));
    EXPECT_EQ(a.value("rate"), "1M");
    EXPECT_TRUE(a.help);
}

TEST(Args, MistakesAreNamed) {
    const struct {
        QStringList args;
        const char* reason;
    } cases[] = {{{"--speed", "1"}, "unknown option --speed"},
                 {{"-x"}, "unknown option -x"},
                 {{"--rate"}, "--rate needs a value (HZ)"},
                 {{"--json=1"}, "--json takes no value"},
                 {{"--rate", "1", "--rate", "2"}, "--rate given more than once"}};
    for (const auto& c : cases) {
        ParsedArgs a;
        QString error;
        EXPECT_FALSE(parseArgs(c.args, kSpec, a, error)) << c.reason;
        EXPECT_EQ(error, c.reason);
    }
}

TEST(Args, NumbersTakeSiSuffixesInTheCLocale) {
    double v = 0;
    EXPECT_TRUE(parseNumber("2.5M", v));
    EXPECT_DOUBLE_EQ(v, 2.5e6);
    EXPECT_TRUE(parseNumber("100k", v));
    EXPECT_DOUBLE_EQ(v, 1e5);
    EXPECT_TRUE(parseNumber("1.2G", v));
    EXPECT_DOUBLE_EQ(v, 1.2e9);
    EXPECT_TRUE(parseNumber("-30", v));
    EXPECT_DOUBLE_EQ(v, -30);
    EXPECT_TRUE(parseNumber("1e7", v));
    EXPECT_DOUBLE_EQ(v, 1e7);
    for (const char* bad : {"", "M", "1,5", "1.5x", "abc", "1e999", "nan"}) EXPECT_FALSE(parseNumber(bad, v)) << bad;
    long long n = 0;
    EXPECT_TRUE(parseCount("4k", n));
    EXPECT_EQ(n, 4000);
    EXPECT_FALSE(parseCount("2.5", n));
    EXPECT_EQ(formatHz(2.5e6), "2.5 MHz");
    EXPECT_EQ(formatHz(1000000001.0), "1.000000001 GHz");
    EXPECT_EQ(formatHz(50), "50 Hz");
}

TEST(Cli, EverySubcommandHasHelp) {
    for (const auto& c : commands()) {
        const Outcome r = run({c.name, "--help"});
        EXPECT_EQ(r.rc, 0) << c.name.toStdString();
        EXPECT_TRUE(r.out.startsWith("usage: trelvan " + c.name)) << r.out.toStdString();
    }
    EXPECT_EQ(run({"--help"}).rc, 0);
    EXPECT_NE(run({}).rc, 0);
}

// Each bad command line fails with one line on stderr that says why, and touches no instrument.
TEST(Cli, BadInputGetsOneLineAndNonZeroStatus) {
    qputenv("MIVISA_RESOURCES", "");
    const QStringList capture{"capture", "0", "--frequency", "1G", "--rate", "10M", "--ref-level", "0", "--points", "1024"};
    const struct {
        QStringList args;
        const char* says;
    } cases[] = {
        {{"frobnicate"}, "unknown command 'frobnicate'"},
        {{"info"}, "missing DEVICE"},
        {{"info", "0", "1"}, "unexpected argument '1'"},
        {{"list", "--colour"}, "unknown option --colour"},
        {{"capture", "0", "--rate", "10M", "--ref-level", "0", "--points", "8"}, "--frequency is required"},
        {capture.mid(0, 5) + QStringList{"ten", "--ref-level", "0", "--points", "8"}, "--rate: 'ten' is not a number"},
        {capture + QStringList{"--count", "0"}, "--count: '0' is not a whole number from 1 to"},
        {capture + QStringList{"--datatype", "ci16_le"}, "--datatype: 'ci16_le' is not cf32_le or cf64_le"},
        {capture + QStringList{"--output", "/nonexistent-folder/rec"}, "folder /nonexistent-folder does not exist"},
        {capture + QStringList{"--plot", "/nonexistent-folder/p.png"}, "folder /nonexistent-folder does not exist"},
        {QStringList{"info", "99"}, "no instrument 99"},
        {{"info", "TCPIP0::127.0.0.1::5025::SOCKET"}, "no instrument with address or serial"},
        {{"plot", "x.sigmf-meta"}, "--output FILE.png is required"},
        {{"scpi", "0", "  "}, "COMMAND is empty"},
    };
    for (const auto& c : cases) {
        const Outcome r = run(c.args);
        EXPECT_NE(r.rc, 0) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(c.says)) << c.args.join(' ').toStdString() << " said: " << r.err.toStdString();
        EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
    }
}

TEST(Cli, UnwritableFolderIsRefusedBeforeConnecting) {
    QTemporaryDir dir;
    QFile plain(dir.filePath("plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    const QStringList capture{"capture", "0", "--frequency", "1G", "--rate", "10M", "--ref-level", "0", "--points", "8"};
    Outcome r = run(capture + QStringList{"--output", dir.filePath("plain/rec")});
    EXPECT_EQ(r.rc, 1);
    EXPECT_TRUE(r.err.contains("plain is not a folder")) << r.err.toStdString();

    ASSERT_TRUE(dir.isValid());
    const QString locked = dir.filePath("locked");
    ASSERT_TRUE(QDir().mkdir(locked));
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner);
    if (QFileInfo(locked).isWritable()) GTEST_SKIP() << "running with privileges that ignore permissions";
    r = run(capture + QStringList{"--output", locked + "/rec"});
    EXPECT_EQ(r.rc, 1);
    EXPECT_TRUE(r.err.contains("is not writable")) << r.err.toStdString();
}

TEST(Cli, PlotRejectsAMalformedRecording) {
    QTemporaryDir dir;
    const QString name = dir.filePath("bad");
    QFile meta(name + ".sigmf-meta");
    ASSERT_TRUE(meta.open(QIODevice::WriteOnly));
    meta.write("{\"global\": {\"core:datatype\": \"cf32_le\"");
    meta.close();
    const Outcome r = run({"plot", name + ".sigmf-meta", "--output", dir.filePath("p.png")});
    EXPECT_EQ(r.rc, 1);
    EXPECT_TRUE(r.err.contains("is not valid JSON")) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("p.png")));
}

}  // namespace
