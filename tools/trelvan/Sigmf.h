// SigMF recordings: NAME.sigmf-data holds the interleaved I/Q samples, NAME.sigmf-meta the JSON that
// describes them. Our own settings, the unit of the samples and the library's error reports travel in
// the "trelvan" extension (docs/trelvan.sigmf-ext.md).
#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <complex>
#include <vector>

namespace cli {

using Samples = std::vector<std::complex<double>>;

// The sample formats we read; we write the little-endian complex ones.
enum class DataType { Cf32Le, Cf64Le, Ci16Le, Ri16Le, Cf32Be, Cf64Be, Ci16Be, Ri16Be };
QString dataTypeName(DataType t);
bool dataTypeFromName(const QString& name, DataType& out);
bool isWritable(DataType t);
int bytesPerSample(DataType t);
bool isInteger(DataType t);

// Values in `samples` are multiplied by 1/scale before an integer type stores them, so one stored step
// is `scale` units; float types store the values as they are.
QByteArray encodeSamples(const std::complex<double>* samples, std::size_t n, DataType t, double scale,
                         std::size_t* clipped = nullptr);
Samples decodeSamples(const QByteArray& bytes, DataType t, double scale);

struct Capture {
    qint64 sampleStart = 0;
    double frequencyHz = 0;
    QString datetime;    // ISO 8601, UTC, e.g. 2024-05-01T12:00:00.123Z
    QJsonArray errors;   // the library's reports for this block, if any
};

// An error the library reported, on the samples it concerns.
struct Annotation {
    qint64 sampleStart = 0;
    qint64 sampleCount = 0;
    int code = 0;
    QString text;
};

struct Recording {
    DataType dataType = DataType::Cf32Le;
    double sampleRateHz = 0;
    QString hw;
    QString recorder;
    QString description;
    QString sha512;        // hex, of the data file; empty when unknown
    double scale = 1.0;    // units per stored integer step (integer types)
    std::vector<Capture> captures;
    std::vector<Annotation> annotations;
    QJsonObject extension;  // keys without the "trelvan:" prefix
    Samples samples;        // in units (scale applied); empty while a capture streams to disk
    qint64 sampleCount = -1;  // how many were written when `samples` stays empty; not stored
};

// The two file names that belong to NAME (NAME may already end in either suffix).
QString metaPath(const QString& name);
QString dataPath(const QString& name);

// Writes both files; false with a one-line reason when either cannot be written.
bool writeRecording(const QString& name, const Recording& rec, QString& error);
// The metadata document alone, as written.
QJsonObject metadataJson(const Recording& rec);
// Writes only NAME.sigmf-meta (the data went elsewhere, e.g. streamed while it arrived).
bool writeMetadata(const QString& metaFile, const Recording& rec, QString& error);

// Reads and checks a recording. Rejects what a SigMF reader must not accept (missing or mistyped core
// fields, a data file that is not a whole number of samples) with a one-line reason.
bool readRecording(const QString& name, Recording& rec, QString& error);

QString utcNow();

}  // namespace cli
