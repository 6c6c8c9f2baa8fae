#include "Sigmf.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QSaveFile>
#include <QtEndian>
#include <cmath>

namespace cli {

namespace {

const char* const kSigmfVersion = "1.0.0";
const char* const kExtension = "trelvan";
const char* const kExtensionVersion = "1.0.0";
const QString kMetaSuffix = QStringLiteral(".sigmf-meta");
const QString kDataSuffix = QStringLiteral(".sigmf-data");

QString baseName(const QString& name) {
    if (name.endsWith(kMetaSuffix)) return name.left(name.size() - kMetaSuffix.size());
    if (name.endsWith(kDataSuffix)) return name.left(name.size() - kDataSuffix.size());
    return name;
}

int bytesPerSample(DataType t) { return t == DataType::Cf32Le ? 8 : 16; }

QByteArray encode(const Samples& samples, DataType t) {
    QByteArray out(static_cast<int>(samples.size()) * bytesPerSample(t), Qt::Uninitialized);
    uchar* p = reinterpret_cast<uchar*>(out.data());
    for (const auto& s : samples) {
        if (t == DataType::Cf32Le) {
            qToLittleEndian<float>(static_cast<float>(s.real()), p);
            qToLittleEndian<float>(static_cast<float>(s.imag()), p + 4);
            p += 8;
        } else {
            qToLittleEndian<double>(s.real(), p);
            qToLittleEndian<double>(s.imag(), p + 8);
            p += 16;
        }
    }
    return out;
}

Samples decode(const QByteArray& bytes, DataType t) {
    const int size = bytesPerSample(t);
    Samples out(static_cast<std::size_t>(bytes.size() / size));
    const uchar* p = reinterpret_cast<const uchar*>(bytes.constData());
    for (auto& s : out) {
        if (t == DataType::Cf32Le)
            s = {qFromLittleEndian<float>(p), qFromLittleEndian<float>(p + 4)};
        else
            s = {qFromLittleEndian<double>(p), qFromLittleEndian<double>(p + 8)};
        p += size;
    }
    return out;
}

bool isWhole(const QJsonValue& v) {
    return v.isDouble() && v.toDouble() >= 0 && v.toDouble() == std::floor(v.toDouble()) &&
           v.toDouble() < 9e15;
}

// An optional core field must have the right type when it is there.
bool checkOptional(const QJsonObject& o, const char* key, QJsonValue::Type type, const QString& where,
                   QString& error) {
    if (!o.contains(key) || o.value(key).type() == type) return true;
    error = QStringLiteral("%1 %2 has the wrong type").arg(where, key);
    return false;
}

}  // namespace

QString dataTypeName(DataType t) { return t == DataType::Cf32Le ? "cf32_le" : "cf64_le"; }

bool dataTypeFromName(const QString& name, DataType& out) {
    if (name == "cf32_le") out = DataType::Cf32Le;
    else if (name == "cf64_le") out = DataType::Cf64Le;
    else return false;
    return true;
}

QString metaPath(const QString& name) { return baseName(name) + kMetaSuffix; }
QString dataPath(const QString& name) { return baseName(name) + kDataSuffix; }

QString utcNow() { return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs); }

QJsonObject metadataJson(const Recording& rec) {
    QJsonObject global;
    global["core:datatype"] = dataTypeName(rec.dataType);
    global["core:sample_rate"] = rec.sampleRateHz;
    global["core:version"] = kSigmfVersion;
    global["core:hw"] = rec.hw;
    global["core:recorder"] = rec.recorder;
    global["core:description"] = rec.description;
    global["core:num_channels"] = 1;
    QJsonObject ext{{"name", kExtension}, {"version", kExtensionVersion}, {"optional", true}};
    global["core:extensions"] = QJsonArray{ext};
    for (auto it = rec.extension.begin(); it != rec.extension.end(); ++it)
        global[QStringLiteral("%1:%2").arg(kExtension, it.key())] = it.value();

    QJsonArray captures;
    for (const auto& c : rec.captures) {
        QJsonObject o{{"core:sample_start", c.sampleStart},
                      {"core:frequency", c.frequencyHz},
                      {"core:datetime", c.datetime}};
        if (!c.errors.isEmpty()) o[QStringLiteral("%1:errors").arg(kExtension)] = c.errors;
        captures.append(o);
    }
    return QJsonObject{{"global", global}, {"captures", captures}, {"annotations", QJsonArray{}}};
}

bool writeRecording(const QString& name, const Recording& rec, QString& error) {
    const auto write = [&error](const QString& path, const QByteArray& bytes) {
        // QSaveFile leaves no half-written file behind when the disk fills or the folder is not writable.
        QSaveFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit()) {
            error = QStringLiteral("cannot write %1: %2").arg(path, f.errorString());
            return false;
        }
        return true;
    };
    return write(dataPath(name), encode(rec.samples, rec.dataType)) &&
           write(metaPath(name), QJsonDocument(metadataJson(rec)).toJson(QJsonDocument::Indented));
}

bool readRecording(const QString& name, Recording& rec, QString& error) {
    rec = Recording{};
    const QString meta = metaPath(name);
    QFile mf(meta);
    if (!mf.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1: %2").arg(meta, mf.errorString());
        return false;
    }
    QJsonParseError perr;
    const QJsonDocument doc = QJsonDocument::fromJson(mf.readAll(), &perr);
    if (perr.error != QJsonParseError::NoError) {
        error = QStringLiteral("%1 is not valid JSON: %2 at offset %3")
                    .arg(meta, perr.errorString())
                    .arg(perr.offset);
        return false;
    }
    const QJsonObject root = doc.object();
    if (!doc.isObject() || !root.value("global").isObject()) {
        error = QStringLiteral("%1 has no \"global\" object").arg(meta);
        return false;
    }
    if (!root.value("captures").isArray() || !root.value("annotations").isArray()) {
        error = QStringLiteral("%1 needs \"captures\" and \"annotations\" arrays").arg(meta);
        return false;
    }
    const QJsonObject g = root.value("global").toObject();
    if (!g.value("core:version").isString()) {
        error = QStringLiteral("%1 has no core:version text").arg(meta);
        return false;
    }
    if (!g.value("core:datatype").isString()) {
        error = QStringLiteral("%1 has no core:datatype text").arg(meta);
        return false;
    }
    if (!dataTypeFromName(g.value("core:datatype").toString(), rec.dataType)) {
        error = QStringLiteral("%1: datatype %2 is not supported (cf32_le and cf64_le are)")
                    .arg(meta, g.value("core:datatype").toString());
        return false;
    }
    for (const char* key : {"core:hw", "core:recorder", "core:description"})
        if (!checkOptional(g, key, QJsonValue::String, meta + ": global", error)) return false;
    if (g.contains("core:sample_rate") &&
        !(g.value("core:sample_rate").isDouble() && g.value("core:sample_rate").toDouble() > 0)) {
        error = QStringLiteral("%1: core:sample_rate must be a positive number").arg(meta);
        return false;
    }
    rec.sampleRateHz = g.value("core:sample_rate").toDouble();
    rec.hw = g.value("core:hw").toString();
    rec.recorder = g.value("core:recorder").toString();
    rec.description = g.value("core:description").toString();
    const QString prefix = QStringLiteral("%1:").arg(kExtension);
    for (auto it = g.begin(); it != g.end(); ++it)
        if (it.key().startsWith(prefix)) rec.extension[it.key().mid(prefix.size())] = it.value();

    for (const QJsonValue& v : root.value("captures").toArray()) {
        const QJsonObject o = v.toObject();
        if (!v.isObject() || !isWhole(o.value("core:sample_start"))) {
            error = QStringLiteral("%1: every capture needs a whole core:sample_start").arg(meta);
            return false;
        }
        if (!checkOptional(o, "core:frequency", QJsonValue::Double, meta + ": capture", error) ||
            !checkOptional(o, "core:datetime", QJsonValue::String, meta + ": capture", error))
            return false;
        Capture c;
        c.sampleStart = static_cast<qint64>(o.value("core:sample_start").toDouble());
        c.frequencyHz = o.value("core:frequency").toDouble();
        c.datetime = o.value("core:datetime").toString();
        c.errors = o.value(prefix + "errors").toArray();
        rec.captures.push_back(c);
    }

    const QString data = dataPath(name);
    QFile df(data);
    if (!df.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1: %2").arg(data, df.errorString());
        return false;
    }
    const QByteArray bytes = df.readAll();
    if (bytes.size() % bytesPerSample(rec.dataType) != 0) {
        error = QStringLiteral("%1 is not a whole number of %2 samples").arg(data, dataTypeName(rec.dataType));
        return false;
    }
    rec.samples = decode(bytes, rec.dataType);
    for (const auto& c : rec.captures) {
        if (static_cast<std::size_t>(c.sampleStart) > rec.samples.size()) {
            error = QStringLiteral("%1: a capture starts at sample %2, beyond the %3 samples in the data")
                        .arg(meta)
                        .arg(c.sampleStart)
                        .arg(rec.samples.size());
            return false;
        }
    }
    return true;
}

}  // namespace cli
