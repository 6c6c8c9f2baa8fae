// SigMF recordings: NAME.sigmf-data holds the interleaved I/Q samples, NAME.sigmf-meta the JSON that
// describes them. Our own settings and the library's error reports travel in the "trelvan" extension.
#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <complex>
#include <vector>

namespace cli {

using Samples = std::vector<std::complex<double>>;

enum class DataType { Cf32Le, Cf64Le };
QString dataTypeName(DataType t);
bool dataTypeFromName(const QString& name, DataType& out);

struct Capture {
    qint64 sampleStart = 0;
    double frequencyHz = 0;
    QString datetime;    // ISO 8601, UTC, e.g. 2024-05-01T12:00:00.123Z
    QJsonArray errors;   // the library's reports for this block, if any
};

struct Recording {
    DataType dataType = DataType::Cf32Le;
    double sampleRateHz = 0;
    QString hw;
    QString recorder;
    QString description;
    std::vector<Capture> captures;
    QJsonObject extension;  // keys without the "trelvan:" prefix
    Samples samples;
};

// The two file names that belong to NAME (NAME may already end in either suffix).
QString metaPath(const QString& name);
QString dataPath(const QString& name);

// Writes both files; false with a one-line reason when either cannot be written.
bool writeRecording(const QString& name, const Recording& rec, QString& error);
// The metadata document alone, as written.
QJsonObject metadataJson(const Recording& rec);

// Reads and checks a recording. Rejects what a SigMF reader must not accept (missing or mistyped core
// fields, a data file that is not a whole number of samples) with a one-line reason.
bool readRecording(const QString& name, Recording& rec, QString& error);

QString utcNow();

}  // namespace cli
