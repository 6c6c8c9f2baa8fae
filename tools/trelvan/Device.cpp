#include "Device.h"

#include <QRegularExpression>
#include <QStringList>
#include <algorithm>
#include <iterator>

#include "ResourceList.h"
#include "Supervisor.h"

namespace cli {

namespace {

// For the library calls that only a fault keeps from ending.
QString notEnded(const QString& what) { return QStringLiteral("%1 did not end within %2 s").arg(what).arg(kLibraryBoundS); }

}  // namespace

std::vector<DeviceData> discover() {
    supervisor::Bound bound(kLibraryBoundS, notEnded(QStringLiteral("discovery")));
    return getDevList();
}

QString stoppedAnswering(const QString& what, double seconds) {
    return QStringLiteral("the instrument stopped answering: no %1 within %2 s").arg(what, QString::number(seconds, 'g', 3));
}

QString addressOf(const DeviceData& d) {
    // The library spells a resource in its own way; show it as configured when it was, so what the user
    // wrote is what they see.
    mivisa::ResourceName found;
    const QByteArray address(d.address);
    if (mivisa::parseResourceName(address.constData(), found) == VI_SUCCESS)
        for (const auto& entry : mivisa::configuredResources())
            if (entry.name.key() == found.key()) return QString::fromStdString(entry.name.canonical());
    return QString::fromUtf8(address);
}

QString describe(const DeviceData& d) {
    QString s = d.model.empty() ? QStringLiteral("instrument") : QString::fromStdString(d.model);
    if (!d.serial.empty()) s += QStringLiteral(" (serial %1)").arg(QString::fromStdString(d.serial));
    return s + QStringLiteral(" at ") + addressOf(d);
}

QString statusText(int status) {
    static const struct {
        uint32_t code;
        const char* meaning;
    } known[] = {{1, "not connected"},
                 {0xBFFF000E, "invalid session"},
                 {0xBFFF000F, "resource locked by another session"},
                 {0xBFFF0011, "resource not found or connection refused"},
                 {0xBFFF0012, "malformed resource name"},
                 {0xBFFF0015, "timeout"},
                 {0xBFFF0030, "aborted"},
                 {0xBFFF003E, "I/O error"},
                 {0xBFFF0067, "operation not supported"},
                 {0xBFFF0072, "resource busy"},
                 {0xBFFF009E, "VISA library not found"},
                 {0xBFFF00A6, "connection lost"}};
    const uint32_t code = static_cast<uint32_t>(status);
    QString s = status < 0 ? QStringLiteral("0x%1").arg(code, 8, 16, QLatin1Char('0')).toUpper().replace("0X", "0x")
                           : QString::number(status);
    for (const auto& k : known)
        if (k.code == code) return s + QStringLiteral(" (%1)").arg(k.meaning);
    return s;
}

QString driverOf(const DeviceData& d) {
    if (QString::fromUtf8(d.address).startsWith(QLatin1String("USB::"), Qt::CaseInsensitive)) return QStringLiteral("harogic");
    if (QString::fromStdString(d.model).contains(QLatin1String("N9030A"), Qt::CaseInsensitive)) return QStringLiteral("pxa");
    return QStringLiteral("sk");
}

namespace {

const char* const kFilterKeys[] = {"serial", "model", "address", "driver"};

// Upper case, with the Cyrillic capitals that look like Latin ones read as those (К4-Э1 as K4-E1).
QString foldedModel(const QString& text) {
    static const QString cyrillic = QStringLiteral("АВЕКМНОРСТХУЭ");
    static const QString latin = QStringLiteral("ABEKMHOPCTXYE");
    QString s = text.trimmed().toUpper();
    for (QChar& c : s) {
        const int i = cyrillic.indexOf(c);
        if (i >= 0) c = latin[i];
    }
    return s;
}

// The whole model, or its leading part up to a separator: K4 selects K4-E1, N9030 does not select N9030A.
bool modelMatches(const QString& model, const QString& value) {
    const QString m = foldedModel(model), v = foldedModel(value);
    return !v.isEmpty() && m.startsWith(v) && (m.size() == v.size() || !m[v.size()].isLetterOrNumber());
}

// The host alone, host:port, or any VISA spelling of the resource (TCPIP or TCPIP0).
bool addressMatches(const QString& address, const QString& value) {
    mivisa::ResourceName have, want;
    if (mivisa::parseResourceName(address.toUtf8().constData(), have) != VI_SUCCESS)
        return address.compare(value.trimmed(), Qt::CaseInsensitive) == 0;
    if (mivisa::parseResourceName(value.trimmed().toUtf8().constData(), want) == VI_SUCCESS) return have.key() == want.key();
    const QString host = QString::fromStdString(have.host);
    const int colon = value.lastIndexOf(':');
    if (colon > 0 && value.count(':') == 1)
        return value.left(colon).compare(host, Qt::CaseInsensitive) == 0 && value.mid(colon + 1) == QString::number(have.port);
    return value.trimmed().compare(host, Qt::CaseInsensitive) == 0;
}

bool matches(const DeviceData& d, const QString& key, const QString& value) {
    if (key == "serial") return QString::fromStdString(d.serial) == value;
    if (key == "model") return modelMatches(QString::fromStdString(d.model), value);
    if (key == "address") return addressMatches(QString::fromUtf8(d.address), value);
    return driverOf(d) == value.toLower();
}

std::vector<std::size_t> matching(const std::vector<DeviceData>& found, const QList<QPair<QString, QString>>& filters) {
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < found.size(); ++i) {
        bool all = true;
        for (const auto& f : filters) all = all && matches(found[i], f.first, f.second);
        if (all) out.push_back(i);
    }
    return out;
}

}  // namespace

QString selectorFor(const std::vector<DeviceData>& found, std::size_t index) {
    const DeviceData& d = found[index];
    const QList<QPair<QString, QString>> tries[] = {
        {{"serial", QString::fromStdString(d.serial)}},
        {{"model", QString::fromStdString(d.model)}},
        {{"model", QString::fromStdString(d.model)}, {"serial", QString::fromStdString(d.serial)}},
    };
    for (const auto& t : tries) {
        bool usable = true;
        for (const auto& f : t) usable = usable && !f.second.isEmpty() && !f.second.contains(',');
        if (usable && matching(found, t).size() == 1) {
            QStringList parts;
            for (const auto& f : t) parts << f.first + '=' + f.second;
            return parts.join(',');
        }
    }
    return QStringLiteral("address=") + addressOf(d);
}

int pickDevice(const std::vector<DeviceData>& found, const QString& which, DeviceData& out, QString& error) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    if (which.isEmpty()) {
        if (found.size() == 1) {
            out = found[0];
            return kOk;
        }
        QStringList names;
        for (std::size_t i = 0; i < found.size(); ++i) names << QStringLiteral("%1 (%2)").arg(i).arg(selectorFor(found, i));
        error = found.empty() ? QStringLiteral("no instruments found (see 'trelvan list')")
                              : QStringLiteral("%1 instruments found: %2; name one as DEVICE").arg(found.size()).arg(names.join(", "));
        return kFailed;
    }
    if (digits.match(which).hasMatch()) {
        bool ok = false;
        const unsigned long index = which.toULong(&ok);
        if (ok && index < found.size()) {
            out = found[index];
            return kOk;
        }
        error = found.empty() ? QStringLiteral("no instrument %1: none found (see 'trelvan list')").arg(which)
                              : QStringLiteral("no instrument %1: found %2, numbered 0 to %3")
                                    .arg(which)
                                    .arg(found.size())
                                    .arg(found.size() - 1);
        return kFailed;
    }
    QList<QPair<QString, QString>> filters;
    // An address as `list` prints it needs no key: nothing else contains "::".
    const QString selector = which.contains(QLatin1String("::")) && !which.contains('=') ? "address=" + which : which;
    for (const QString& part : selector.split(',')) {
        const int eq = part.indexOf('=');
        const QString key = part.left(eq).trimmed().toLower();
        if (eq <= 0 || std::none_of(std::begin(kFilterKeys), std::end(kFilterKeys),
                                    [&key](const char* k) { return key == QLatin1String(k); })) {
            error = QStringLiteral("DEVICE '%1' is neither an index nor filters such as serial=…, model=…, "
                                   "address=…, driver=pxa|sk|harogic")
                        .arg(which);
            return kUsage;
        }
        filters << qMakePair(key, part.mid(eq + 1).trimmed());
    }
    const std::vector<std::size_t> hits = matching(found, filters);
    if (hits.size() == 1) {
        out = found[hits[0]];
        return kOk;
    }
    if (hits.empty()) {
        error = QStringLiteral("no instrument matches %1 (see 'trelvan list')").arg(which);
        return kFailed;
    }
    QStringList names;
    for (std::size_t i : hits) names << QStringLiteral("%1 (%2)").arg(i).arg(selectorFor(found, i));
    error = QStringLiteral("%1 instruments match %2: %3; add a filter").arg(hits.size()).arg(which, names.join(", "));
    return kFailed;
}

QVector<Error> realErrors(const QVector<Error>& errors) {
    QVector<Error> out;
    for (const auto& e : errors)
        if (e.code != 0) out << e;
    return out;
}

QString errorsLine(const QVector<Error>& errors) {
    QStringList parts;
    for (const auto& e : realErrors(errors)) parts << QStringLiteral("%1 %2").arg(e.code).arg(e.text.trimmed());
    return parts.join(QStringLiteral("; "));
}

Connection::~Connection() {
    if (!open_) return;
    supervisor::Bound bound(kLibraryBoundS, notEnded(QStringLiteral("disconnecting")));
    setDisconnect();
}

bool Connection::open(const DeviceData& device, QString& error) {
    if (device.busy) {
        error = QStringLiteral("%1 is busy (in use by another program)").arg(describe(device));
        return false;
    }
    {
        supervisor::Bound bound(kLibraryBoundS, notEnded("connecting to " + describe(device)));
        open_ = setConnect(device);
    }
    if (!open_) {
        const int status = getStatus();
        const QString reported = errorsLine(getError());
        error = QStringLiteral("cannot connect to %1: status %2").arg(describe(device), statusText(status));
        if (!reported.isEmpty()) error += QStringLiteral(" (%1)").arg(reported);
        // The library may hold a half-made connection; leave it closed for the next command.
        setDisconnect();
    }
    return open_;
}

int connectTo(const QString& which, Connection& connection, DeviceData& device, Io& io, const QString& command) {
    QString error;
    const int picked = pickDevice(discover(), which, device, error);
    if (picked != kOk) return picked == kUsage ? usageError(io, command, error) : fail(io, command, error);
    if (supervisor::stopRequested()) return kInterrupted;
    // Connecting resets the instrument, which can take seconds; say what is going on meanwhile.
    io.err << "connecting to " << describe(device) << " ...\n";
    if (!connection.open(device, error)) return fail(io, command, error);
    return supervisor::stopRequested() ? kInterrupted : kOk;
}

}  // namespace cli
