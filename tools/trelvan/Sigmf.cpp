#include "Sigmf.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QSaveFile>
#include <QtEndian>
#include <algorithm>
#include <cmath>

namespace cli {

namespace {

const char* const kSigmfVersion = "1.2.0";
const char* const kExtension = "trelvan";
const char* const kExtensionVersion = "1.0.0";
const QString kMetaSuffix = QStringLiteral(".sigmf-meta");
const QString kDataSuffix = QStringLiteral(".sigmf-data");

// NAME, NAME.sigmf, NAME.sigmf-meta and NAME.sigmf-data all name the recording NAME.
QString baseName(const QString& name) {
    for (const QString& suffix : {kMetaSuffix, kDataSuffix, QStringLiteral(".sigmf")})
        if (name.endsWith(suffix)) return name.left(name.size() - suffix.size());
    return name;
}

struct TypeInfo {
    DataType type;
    const char* name;
    bool complex;
    int valueBytes;  // 2 (int16), 4 (float) or 8 (double)
    bool bigEndian;
};

const TypeInfo kTypes[] = {
    {DataType::Cf32Le, "cf32_le", true, 4, false}, {DataType::Cf64Le, "cf64_le", true, 8, false},
    {DataType::Ci16Le, "ci16_le", true, 2, false}, {DataType::Ri16Le, "ri16_le", false, 2, false},
    {DataType::Cf32Be, "cf32_be", true, 4, true},  {DataType::Cf64Be, "cf64_be", true, 8, true},
    {DataType::Ci16Be, "ci16_be", true, 2, true},  {DataType::Ri16Be, "ri16_be", false, 2, true},
};

const TypeInfo& info(DataType t) {
    for (const auto& i : kTypes)
        if (i.type == t) return i;
    return kTypes[0];
}

void putValue(double v, const TypeInfo& ti, uchar* p) {
    if (ti.valueBytes == 2) {
        const qint16 x = static_cast<qint16>(v);
        ti.bigEndian ? qToBigEndian(x, p) : qToLittleEndian(x, p);
    } else if (ti.valueBytes == 4) {
        ti.bigEndian ? qToBigEndian(static_cast<float>(v), p) : qToLittleEndian(static_cast<float>(v), p);
    } else {
        ti.bigEndian ? qToBigEndian(v, p) : qToLittleEndian(v, p);
    }
}

double getValue(const TypeInfo& ti, const uchar* p) {
    if (ti.valueBytes == 2) return ti.bigEndian ? qFromBigEndian<qint16>(p) : qFromLittleEndian<qint16>(p);
    if (ti.valueBytes == 4) return ti.bigEndian ? qFromBigEndian<float>(p) : qFromLittleEndian<float>(p);
    return ti.bigEndian ? qFromBigEndian<double>(p) : qFromLittleEndian<double>(p);
}

}  // namespace

int bytesPerSample(DataType t) { return info(t).valueBytes * (info(t).complex ? 2 : 1); }
bool isInteger(DataType t) { return info(t).valueBytes == 2; }
bool isWritable(DataType t) { return info(t).complex && !info(t).bigEndian; }

QByteArray encodeSamples(const std::complex<double>* samples, std::size_t n, DataType t, double scale,
                         std::size_t* clipped) {
    const TypeInfo& ti = info(t);
    QByteArray out(static_cast<int>(n * bytesPerSample(t)), Qt::Uninitialized);
    uchar* p = reinterpret_cast<uchar*>(out.data());
    const bool integer = ti.valueBytes == 2;
    std::size_t over = 0;
    const auto stored = [&](double v) {
        if (!integer) return v;
        const double x = std::round(v / scale);
        if (x > 32767 || x < -32767) ++over;
        return std::clamp(x, -32767.0, 32767.0);
    };
    for (std::size_t i = 0; i < n; ++i) {
        putValue(stored(samples[i].real()), ti, p);
        p += ti.valueBytes;
        if (ti.complex) {
            putValue(stored(samples[i].imag()), ti, p);
            p += ti.valueBytes;
        }
    }
    if (clipped) *clipped += over;
    return out;
}

Samples decodeSamples(const QByteArray& bytes, DataType t, double scale) {
    const TypeInfo& ti = info(t);
    const int size = bytesPerSample(t);
    const double k = ti.valueBytes == 2 ? scale : 1.0;
    Samples out(static_cast<std::size_t>(bytes.size() / size));
    const uchar* p = reinterpret_cast<const uchar*>(bytes.constData());
    for (auto& s : out) {
        s = {k * getValue(ti, p), ti.complex ? k * getValue(ti, p + ti.valueBytes) : 0.0};
        p += size;
    }
    return out;
}

namespace {

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

QString dataTypeName(DataType t) { return info(t).name; }

bool dataTypeFromName(const QString& name, DataType& out) {
    for (const auto& i : kTypes)
        if (name == QLatin1String(i.name)) {
            out = i.type;
            return true;
        }
    return false;
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
    if (!rec.sha512.isEmpty()) global["core:sha512"] = rec.sha512;
    QJsonObject ext{{"name", kExtension}, {"version", kExtensionVersion}, {"optional", true}};
    global["core:extensions"] = QJsonArray{ext};
    for (auto it = rec.extension.begin(); it != rec.extension.end(); ++it)
        global[QStringLiteral("%1:%2").arg(kExtension, it.key())] = it.value();
    if (isInteger(rec.dataType)) global[QStringLiteral("%1:scale").arg(kExtension)] = rec.scale;

    QJsonArray captures;
    for (const auto& c : rec.captures) {
        QJsonObject o{{"core:sample_start", c.sampleStart},
                      {"core:frequency", c.frequencyHz},
                      {"core:datetime", c.datetime}};
        if (!c.errors.isEmpty()) o[QStringLiteral("%1:errors").arg(kExtension)] = c.errors;
        captures.append(o);
    }
    std::vector<Annotation> sorted = rec.annotations;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const Annotation& a, const Annotation& b) { return a.sampleStart < b.sampleStart; });
    QJsonArray annotations;
    for (const auto& a : sorted)
        annotations.append(QJsonObject{{"core:sample_start", a.sampleStart},
                                       {"core:sample_count", a.sampleCount},
                                       {"core:label", QStringLiteral("error %1").arg(a.code)},
                                       {"core:comment", a.text},
                                       {"core:generator", rec.recorder},
                                       {QStringLiteral("%1:code").arg(kExtension), a.code}});
    return QJsonObject{{"global", global}, {"captures", captures}, {"annotations", annotations}};
}

namespace {

bool saveFile(const QString& path, const QByteArray& bytes, QString& error) {
    // QSaveFile leaves no half-written file behind when the disk fills or the folder is not writable.
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit()) {
        error = QStringLiteral("cannot write %1: %2").arg(path, f.errorString());
        return false;
    }
    return true;
}

}  // namespace

bool writeMetadata(const QString& metaFile, const Recording& rec, QString& error) {
    return saveFile(metaFile, QJsonDocument(metadataJson(rec)).toJson(QJsonDocument::Indented), error);
}

bool writeRecording(const QString& name, const Recording& rec, QString& error) {
    const QByteArray data = encodeSamples(rec.samples.data(), rec.samples.size(), rec.dataType, rec.scale);
    Recording described = rec;
    described.sha512 = QCryptographicHash::hash(data, QCryptographicHash::Sha512).toHex();
    return saveFile(dataPath(name), data, error) && writeMetadata(metaPath(name), described, error);
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
        error = QStringLiteral("%1: datatype %2 is not supported (cf32, cf64, ci16 and ri16, _le or _be, are)")
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
    rec.sha512 = g.value("core:sha512").toString();
    // Integers from another recorder come without our scale: read them as fractions of full scale.
    rec.scale = rec.extension.value("scale").toDouble(isInteger(rec.dataType) ? 1.0 / 32768 : 1.0);
    if (!(rec.scale > 0)) {
        error = QStringLiteral("%1: trelvan:scale must be a positive number").arg(meta);
        return false;
    }
    for (const QJsonValue& v : root.value("annotations").toArray()) {
        const QJsonObject o = v.toObject();
        if (!v.isObject() || !isWhole(o.value("core:sample_start"))) {
            error = QStringLiteral("%1: every annotation needs a whole core:sample_start").arg(meta);
            return false;
        }
        rec.annotations.push_back({static_cast<qint64>(o.value("core:sample_start").toDouble()),
                                   static_cast<qint64>(o.value("core:sample_count").toDouble()),
                                   o.value(prefix + "code").toInt(), o.value("core:comment").toString()});
    }

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
    rec.samples = decodeSamples(bytes, rec.dataType, rec.scale);
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
