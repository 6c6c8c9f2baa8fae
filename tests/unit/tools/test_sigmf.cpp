// SigMF recordings: what is written reads back, carries the core fields with their types, and what a
// reader must refuse is refused.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cmath>

#include "Sigmf.h"

using namespace cli;

namespace {

Recording sample(DataType type) {
    Recording r;
    r.dataType = type;
    r.sampleRateHz = 12.5e6;
    r.hw = "К4-Э1, serial 1042";
    r.recorder = "trelvan test";
    r.description = "two blocks";
    for (int i = 0; i < 10; ++i) r.samples.emplace_back(0.1 * i - 0.3, -1.0 / (i + 3));
    r.captures = {{0, 1e9, "2024-05-01T12:00:00.000Z", {}},
                  {6, 1e9, "2024-05-01T12:00:01.000Z", QJsonArray{QJsonObject{{"code", 101}, {"text", "Parameters was modified"}}}}};
    r.extension["settings"] = QJsonObject{{"ref_level", -10}};
    return r;
}

QJsonObject readJson(const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return QJsonDocument::fromJson(f.readAll()).object();
}

void writeText(const QString& path, const QByteArray& text) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
}

TEST(Sigmf, RoundTripKeepsSamplesCapturesAndExtension) {
    QTemporaryDir dir;
    for (DataType type : {DataType::Cf32Le, DataType::Cf64Le, DataType::Ci16Le}) {
        Recording in = sample(type);
        in.scale = 1e-3;
        const QString name = dir.filePath(dataTypeName(type));
        QString error;
        ASSERT_TRUE(writeRecording(name, in, error)) << error.toStdString();
        EXPECT_EQ(QFile(name + ".sigmf-data").size(), static_cast<qint64>(in.samples.size()) * bytesPerSample(type));

        Recording out;
        ASSERT_TRUE(readRecording(name + ".sigmf-meta", out, error)) << error.toStdString();
        EXPECT_EQ(out.dataType, type);
        EXPECT_EQ(out.sampleRateHz, in.sampleRateHz);
        EXPECT_EQ(out.hw, in.hw);
        ASSERT_EQ(out.samples.size(), in.samples.size());
        const double tolerance = type == DataType::Cf32Le ? 1e-7 : type == DataType::Ci16Le ? in.scale / 2 : 0.0;
        for (std::size_t i = 0; i < in.samples.size(); ++i) {
            EXPECT_NEAR(out.samples[i].real(), in.samples[i].real(), tolerance) << i;
            EXPECT_NEAR(out.samples[i].imag(), in.samples[i].imag(), tolerance) << i;
        }
        ASSERT_EQ(out.captures.size(), 2u);
        EXPECT_EQ(out.captures[1].sampleStart, 6);
        EXPECT_EQ(out.captures[1].datetime, in.captures[1].datetime);
        EXPECT_EQ(out.captures[1].errors, in.captures[1].errors);
        EXPECT_EQ(out.extension.value("settings").toObject().value("ref_level").toInt(), -10);
    }
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
        const QByteArray bytes = QByteArray::fromHex(c.hex);
        if (isWritable(c.type)) {
            EXPECT_EQ(encodeSamples(&one, 1, c.type, 0.5).toHex(), c.hex) << dataTypeName(c.type).toStdString();
        }
        EXPECT_EQ(decodeSamples(bytes, c.type, 0.5), c.decoded) << dataTypeName(c.type).toStdString();
    }
}

TEST(Sigmf, MetadataHasTheCoreFieldsWithTheirTypes) {
    QTemporaryDir dir;
    QString error;
    ASSERT_TRUE(writeRecording(dir.filePath("m"), sample(DataType::Cf32Le), error));
    const QJsonObject root = readJson(dir.filePath("m.sigmf-meta"));
    const QJsonObject g = root.value("global").toObject();
    EXPECT_TRUE(QRegularExpression("^[cr][fiu](8|16|32|64)(_le|_be)?$").match(g.value("core:datatype").toString()).hasMatch());
    EXPECT_TRUE(QRegularExpression(R"(^\d+\.\d+\.\d+$)").match(g.value("core:version").toString()).hasMatch());
    EXPECT_TRUE(g.value("core:sample_rate").isDouble());
    for (const char* key : {"core:hw", "core:recorder", "core:description"}) EXPECT_TRUE(g.value(key).isString()) << key;
    // Every namespace in use is declared.
    bool declared = false;
    for (const auto& e : g.value("core:extensions").toArray()) {
        const QJsonObject o = e.toObject();
        declared = declared || (o.value("name") == "trelvan" && o.value("version").isString() && o.value("optional").isBool());
    }
    EXPECT_TRUE(declared);
    for (const QString& key : g.keys()) EXPECT_TRUE(key.startsWith("core:") || key.startsWith("trelvan:")) << key.toStdString();

    EXPECT_TRUE(root.value("annotations").isArray());
    const QJsonArray captures = root.value("captures").toArray();
    ASSERT_EQ(captures.size(), 2);
    qint64 previous = -1;
    for (const auto& v : captures) {
        const QJsonObject c = v.toObject();
        const QJsonValue start = c.value("core:sample_start");
        ASSERT_TRUE(start.isDouble());
        EXPECT_EQ(start.toDouble(), std::floor(start.toDouble()));
        EXPECT_GT(start.toDouble(), previous);  // segments in order
        previous = static_cast<qint64>(start.toDouble());
        EXPECT_TRUE(c.value("core:frequency").isDouble());
        EXPECT_TRUE(QRegularExpression(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(\.\d+)?Z$)").match(c.value("core:datetime").toString()).hasMatch());
    }
    EXPECT_TRUE(QRegularExpression(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z$)").match(utcNow()).hasMatch()) << utcNow().toStdString();
}

TEST(Sigmf, ReaderRefusesMalformedRecordings) {
    QTemporaryDir dir;
    QString error;
    ASSERT_TRUE(writeRecording(dir.filePath("ok"), sample(DataType::Cf32Le), error));
    const QJsonObject good = readJson(dir.filePath("ok.sigmf-meta"));
    const auto edited = [&good](const char* section, const char* key, const QJsonValue& v) {
        QJsonObject root = good;
        if (QString(section) == "captures") {
            QJsonArray c = root["captures"].toArray();
            QJsonObject first = c[0].toObject();
            first[key] = v;
            c[0] = first;
            root["captures"] = c;
        } else if (QString(section) == "global") {
            QJsonObject g = root["global"].toObject();
            if (v.isUndefined()) g.remove(key);
            else g[key] = v;
            root["global"] = g;
        } else {
            root.remove(key);
        }
        return QJsonDocument(root).toJson();
    };
    const struct {
        QByteArray meta;
        const char* says;
    } cases[] = {
        {"{\"global\": ", "is not valid JSON"},
        {"[1, 2]", "has no \"global\" object"},
        {edited("root", "captures", {}), "needs \"captures\" and \"annotations\" arrays"},
        {edited("global", "core:version", QJsonValue::Undefined), "has no core:version"},
        {edited("global", "core:datatype", 7), "has no core:datatype"},
        {edited("global", "core:datatype", "ci32_le"), "datatype ci32_le is not supported"},
        {edited("global", "core:sample_rate", "fast"), "core:sample_rate must be a positive number"},
        {edited("global", "core:hw", 3), "core:hw has the wrong type"},
        {edited("captures", "core:sample_start", -1), "whole core:sample_start"},
        {edited("captures", "core:sample_start", 1.5), "whole core:sample_start"},
        {edited("captures", "core:sample_start", 11), "beyond the 10 samples"},
        {edited("captures", "core:frequency", "1 GHz"), "core:frequency has the wrong type"},
    };
    QFile::copy(dir.filePath("ok.sigmf-data"), dir.filePath("bad.sigmf-data"));
    for (const auto& c : cases) {
        writeText(dir.filePath("bad.sigmf-meta"), c.meta);
        Recording r;
        EXPECT_FALSE(readRecording(dir.filePath("bad"), r, error)) << c.says;
        EXPECT_TRUE(error.contains(c.says)) << c.says << " / got: " << error.toStdString();
    }

    // A data file cut inside a sample, and a missing one.
    writeText(dir.filePath("bad.sigmf-meta"), QJsonDocument(good).toJson());
    writeText(dir.filePath("bad.sigmf-data"), QByteArray(13, '\0'));
    Recording r;
    EXPECT_FALSE(readRecording(dir.filePath("bad"), r, error));
    EXPECT_TRUE(error.contains("not a whole number of cf32_le samples")) << error.toStdString();
    QFile::remove(dir.filePath("bad.sigmf-data"));
    EXPECT_FALSE(readRecording(dir.filePath("bad"), r, error));
    EXPECT_TRUE(error.contains("cannot read")) << error.toStdString();
}

TEST(Sigmf, NamesMayCarryEitherSuffix) {
    EXPECT_EQ(metaPath("a/rec"), "a/rec.sigmf-meta");
    EXPECT_EQ(metaPath("a/rec.sigmf-data"), "a/rec.sigmf-meta");
    EXPECT_EQ(dataPath("a/rec.sigmf-meta"), "a/rec.sigmf-data");
}

}  // namespace
