// The command line: parsing, numbers, and the one-line reasons bad input gets.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "Args.h"
#include "Cli.h"
#include "Device.h"
#include "ScpiText.h"

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

const std::vector<OptionSpec> kSpec{{"rate", "HZ", "", 'r'}, {"json", "", ""}};

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
    for (const QStringList& shortForm : {QStringList{"-r", "2M"}, QStringList{"-r2M"}}) {
        ASSERT_TRUE(parseArgs(shortForm, kSpec, a, error)) << error.toStdString();
        EXPECT_EQ(a.value("rate"), "2M");
    }
}

TEST(Args, MistakesAreNamed) {
    const struct {
        QStringList args;
        const char* reason;
    } cases[] = {{{"--speed", "1"}, "unknown option --speed"},
                 {{"-x"}, "unknown option -x"},
                 {{"-r"}, "--rate needs a value (HZ)"},
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
    EXPECT_EQ(formatHz(1e99), "1e+99 Hz");
}

DeviceData device(const char* address, const char* model, const char* serial) {
    DeviceData d;
    qstrncpy(d.address, address, sizeof d.address);
    d.model = model;
    d.serial = serial;
    return d;
}

TEST(Device, IndexOrFiltersSelectOneInstrument) {
    const std::vector<DeviceData> found{device("TCPIP::127.0.0.3::8888::SOCKET", "К4-Э1", "7"),
                                        device("TCPIP0::127.0.0.2::5025::SOCKET", "N9030A", "DEMO-PXA"),
                                        device("TCPIP0::127.0.0.4::5025::SOCKET", "N9030A", "12"),
                                        device("USB::0", "E90-R0", "1000001")};
    const struct {
        const char* which;
        int picked;       // -1: refused
        const char* says;
    } cases[] = {
        {"1", 1, ""},
        {"7", -1, "numbered 0 to 3"},  // digits are an index, even when a serial reads the same
        {"serial=7", 0, ""},
        {"serial=DEMO-PXA", 1, ""},
        {"model=n9030a", -1, "2 instruments match model=n9030a: 1 (serial=DEMO-PXA), 2 (serial=12)"},
        {"model=N9030A,serial=12", 2, ""},
        {"address=TCPIP0::127.0.0.3::8888::SOCKET", 0, ""},  // board 0 is written either way
        {"TCPIP::127.0.0.2::5025::SOCKET", 1, ""},
        {"driver=harogic", 3, ""},
        {"driver=sk", 0, ""},
        {"serial=nope", -1, "no instrument matches serial=nope"},
        {"colour=red", -1, "neither an index nor filters"},
        {"DEMO-PXA", -1, "neither an index nor filters"},
    };
    for (const auto& c : cases) {
        DeviceData d;
        QString error;
        const bool ok = pickDevice(found, c.which, d, error);
        EXPECT_EQ(ok, c.picked >= 0) << c.which;
        if (ok) {
            EXPECT_EQ(addressOf(d), addressOf(found[c.picked])) << c.which;
        } else {
            EXPECT_TRUE(error.contains(QString::fromUtf8(c.says))) << c.which << ": " << error.toStdString();
        }
    }
    // What `list` shows selects its own row.
    for (std::size_t i = 0; i < found.size(); ++i) {
        DeviceData d;
        QString error;
        ASSERT_TRUE(pickDevice(found, selectorFor(found, i), d, error)) << selectorFor(found, i).toStdString();
        EXPECT_EQ(addressOf(d), addressOf(found[i]));
    }
}

TEST(Scpi, CompoundMessagesSplitAsTheInstrumentSplitsThem) {
    EXPECT_EQ(scpiUnits(":FREQ:CENT 2.5e9;:FREQ:CENT?"), (QStringList{":FREQ:CENT 2.5e9", ":FREQ:CENT?"}));
    EXPECT_EQ(scpiUnits(":SENS:FREQ:CENT 1e9; SPAN 1e6;*OPC?;SPAN?"),
              (QStringList{":SENS:FREQ:CENT 1e9", ":SENS:FREQ:SPAN 1e6", "*OPC?", ":SENS:FREQ:SPAN?"}));
    EXPECT_EQ(scpiUnits(":MMEM:STOR 'a;b';;"), (QStringList{":MMEM:STOR 'a;b'"}));
    QString reply, text;
    int code = 0;
    ASSERT_TRUE(splitErrorReply("+2.5E+09;+0,\"No error\"\n", reply, code, text));
    EXPECT_EQ(reply, "+2.5E+09");
    EXPECT_EQ(code, 0);
    ASSERT_TRUE(splitErrorReply("-113,\"Undefined header\"\n", reply, code, text));
    EXPECT_EQ(code, -113);
    EXPECT_EQ(text, "Undefined header");
    EXPECT_FALSE(splitErrorReply("Keysight Technologies,N9030A,CLI-1,A.0", reply, code, text));
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
        {capture + QStringList{"--count", "-1"}, "--count: '-1' is not a whole number from 0 to"},
        {capture + QStringList{"--datatype", "ri16_le"}, "--datatype: 'ri16_le' is not cf32_le, cf64_le or ci16_le"},
        {capture + QStringList{"--meta", "m"}, "--meta goes with --output -"},
        {capture + QStringList{"--output", "/nonexistent-folder/rec"}, "folder /nonexistent-folder does not exist"},
        {capture + QStringList{"--plot", "/nonexistent-folder/p.png"}, "folder /nonexistent-folder does not exist"},
        {QStringList{"info", "99"}, "no instrument 99"},
        {{"info", "serial=X"}, "no instrument matches serial=X"},
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

TEST(Cli, UnwritableOrExistingOutputIsRefusedBeforeConnecting) {
    QTemporaryDir dir;
    QFile plain(dir.filePath("plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    const QStringList capture{"capture", "0", "--frequency", "1G", "--rate", "10M", "--ref-level", "0", "--points", "8"};
    Outcome existing = run(capture + QStringList{"--plot", dir.filePath("plain")});
    EXPECT_EQ(existing.rc, 2);
    EXPECT_TRUE(existing.err.contains("plain exists; --force replaces it")) << existing.err.toStdString();
    Outcome r = run(capture + QStringList{"--output", dir.filePath("plain/rec")});
    EXPECT_EQ(r.rc, 2);
    EXPECT_TRUE(r.err.contains("plain is not a folder")) << r.err.toStdString();

    ASSERT_TRUE(dir.isValid());
    const QString locked = dir.filePath("locked");
    ASSERT_TRUE(QDir().mkdir(locked));
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner);
    if (QFileInfo(locked).isWritable()) GTEST_SKIP() << "running with privileges that ignore permissions";
    r = run(capture + QStringList{"--output", locked + "/rec"});
    EXPECT_EQ(r.rc, 2);
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
