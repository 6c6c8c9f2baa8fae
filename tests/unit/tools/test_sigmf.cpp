// SigMF samples byte for byte in every layout we read or write, the recordings a reader must refuse, and
// how a plot scales its levels.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <cmath>

#include "Plot.h"
#include "Sigmf.h"

using namespace cli;

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// The samples (1, -2), integers at a scale of 0.5, in each layout; a real type reads two samples.
TEST(Sigmf, SampleLayoutsByteForByte) {
    const struct {
        DataType type;
        QByteArray hex;
        Samples decoded;
    } cases[] = {
        {DataType::Cf32Le, "0000803f000000c0", {{1, -2}}},
        {DataType::Cf32Be, "3f800000c0000000", {{1, -2}}},
        {DataType::Cf64Le, "000000000000f03f00000000000000c0", {{1, -2}}},
        {DataType::Ci16Le, "0200fcff", {{1, -2}}},
        {DataType::Ci16Be, "0002fffc", {{1, -2}}},
        {DataType::Ri16Le, "0200fcff", {{1, 0}, {-2, 0}}},
        {DataType::Ri16Be, "0002fffc", {{1, 0}, {-2, 0}}},
    };
    const std::complex<double> one{1, -2};
    for (const auto& c : cases) {
        if (isWritable(c.type)) {
            EXPECT_EQ(encodeSamples(&one, 1, c.type, 0.5).toHex(), c.hex) << dataTypeName(c.type).toStdString();
        }
        EXPECT_EQ(decodeSamples(QByteArray::fromHex(c.hex), c.type, 0.5), c.decoded) << dataTypeName(c.type).toStdString();
    }
}

TEST(Sigmf, ReaderRefusesMalformedRecordings) {
    QTemporaryDir dir;
    Recording ten;
    ten.sampleRateHz = 1e6;
    ten.samples.assign(10, {0.5, -0.5});
    ten.captures = {{0, 1e9, "2024-05-01T12:00:00.000Z", {}}};
    QString error;
    ASSERT_TRUE(writeRecording(dir.filePath("bad"), ten, error)) << error.toStdString();
    const QByteArray good = QJsonDocument(metadataJson(ten)).toJson(QJsonDocument::Compact);
    // Each row edits the metadata as text: what to replace, with what, and the reason the reader gives.
    const struct {
        const char *from, *to, *says;
    } cases[] = {
        {"{", "{\"global\": ", "is not valid JSON"},
        {"\"core:version\"", "\"core:other\"", "has no core:version"},
        {"cf32_le", "ci32_le", "datatype ci32_le is not supported"},
        {"\"core:sample_rate\":1000000", "\"core:sample_rate\":\"fast\"", "core:sample_rate must be a positive number"},
        {"\"core:sample_start\":0", "\"core:sample_start\":1.5", "whole core:sample_start"},
        {"\"core:sample_start\":0", "\"core:sample_start\":11", "beyond the 10 samples"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(good.contains(c.from)) << c.from;
        writeFile(dir.filePath("bad.sigmf-meta"), QByteArray(good).replace(c.from, c.to));
        Recording r;
        EXPECT_FALSE(readRecording(dir.filePath("bad"), r, error)) << c.says;
        EXPECT_TRUE(error.contains(c.says)) << c.says << " / got: " << error.toStdString();
    }

    // A data file cut inside a sample.
    writeFile(dir.filePath("bad.sigmf-meta"), good);
    writeFile(dir.filePath("bad.sigmf-data"), QByteArray(13, '\0'));
    Recording r;
    EXPECT_FALSE(readRecording(dir.filePath("bad"), r, error));
    EXPECT_TRUE(error.contains("not a whole number of cf32_le samples")) << error.toStdString();
}

}  // namespace

// The emulators' noise lies near -124 dBm per bin, far under a 0 dBm reference: the window must reach
// down to it, and a peak is marked only where a tone stands out of it.
TEST(Plot, LevelWindowFollowsTheNoiseAndOnlyAToneIsMarked) {
    Spectrum s;
    s.centreHz = 1e9;
    s.sampleRateHz = 1e6;
    s.fftSize = 1024;
    s.blocks = 1;
    for (int i = 0; i < s.fftSize; ++i) s.power.push_back(std::pow(10.0, (-124 + (i * 7919 % 13) / 2.0) / 10));
    PlotText text;
    text.hasReference = true;
    text.referenceDb = 0;
    for (const bool tone : {false, true}) {
        if (tone) s.power[700] = std::pow(10.0, -60 / 10.0);
        PlotGeometry g;
        renderSpectrum(s, text, &g);
        EXPECT_EQ(g.topDb, 0);
        EXPECT_LT(g.bottomDb, g.noiseFloorDb);
        EXPECT_GT(g.bottomDb, g.noiseFloorDb - 30);
        EXPECT_EQ(g.peak.found, tone);
    }
}
