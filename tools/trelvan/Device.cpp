#include "Device.h"

#include <QRegularExpression>
#include <QStringList>
#include <algorithm>
#include <iterator>

namespace cli {

std::vector<DeviceData> discover() { return getDevList(); }

QString addressOf(const DeviceData& d) { return QString::fromUtf8(d.address); }

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
    if (addressOf(d).startsWith(QLatin1String("USB::"), Qt::CaseInsensitive)) return QStringLiteral("harogic");
    if (QString::fromStdString(d.model).contains(QLatin1String("N9030A"), Qt::CaseInsensitive)) return QStringLiteral("pxa");
    return QStringLiteral("sk");
}

namespace {

// "TCPIP0::h::p::SOCKET" and "TCPIP::h::p::SOCKET" name the same resource: board 0 is the default.
QString sameAddress(const QString& a) {
    QString s = a.trimmed().toUpper();
    if (s.startsWith(QLatin1String("TCPIP0::"))) s.remove(5, 1);
    return s;
}

const char* const kFilterKeys[] = {"serial", "model", "address", "driver"};

bool matches(const DeviceData& d, const QString& key, const QString& value) {
    if (key == "serial") return QString::fromStdString(d.serial) == value;
    if (key == "model") return QString::fromStdString(d.model).compare(value, Qt::CaseInsensitive) == 0;
    if (key == "address") return sameAddress(addressOf(d)) == sameAddress(value);
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

bool pickDevice(const std::vector<DeviceData>& found, const QString& which, DeviceData& out, QString& error) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    if (digits.match(which).hasMatch()) {
        bool ok = false;
        const unsigned long index = which.toULong(&ok);
        if (ok && index < found.size()) {
            out = found[index];
            return true;
        }
        error = found.empty() ? QStringLiteral("no instrument %1: none found (see 'trelvan list')").arg(which)
                              : QStringLiteral("no instrument %1: found %2, numbered 0 to %3")
                                    .arg(which)
                                    .arg(found.size())
                                    .arg(found.size() - 1);
        return false;
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
            return false;
        }
        filters << qMakePair(key, part.mid(eq + 1).trimmed());
    }
    const std::vector<std::size_t> hits = matching(found, filters);
    if (hits.size() == 1) {
        out = found[hits[0]];
        return true;
    }
    if (hits.empty()) {
        error = QStringLiteral("no instrument matches %1 (see 'trelvan list')").arg(which);
        return false;
    }
    QStringList names;
    for (std::size_t i : hits) names << QStringLiteral("%1 (%2)").arg(i).arg(selectorFor(found, i));
    error = QStringLiteral("%1 instruments match %2: %3; add a filter").arg(hits.size()).arg(which, names.join(", "));
    return false;
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
    if (open_) setDisconnect();
}

bool Connection::open(const DeviceData& device, QString& error) {
    if (device.busy) {
        error = QStringLiteral("%1 is busy (in use by another program)").arg(describe(device));
        return false;
    }
    open_ = setConnect(device);
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

bool connectTo(const QString& which, Connection& connection, DeviceData& device, QString& error, Io& io) {
    if (!pickDevice(discover(), which, device, error)) return false;
    // Connecting resets the instrument, which can take seconds; say what is going on meanwhile.
    io.err << "connecting to " << describe(device) << " ...\n";
    return connection.open(device, error);
}

}  // namespace cli
