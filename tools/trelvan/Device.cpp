#include "Device.h"

#include <QStringList>

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

bool pickDevice(const std::vector<DeviceData>& found, const QString& which, DeviceData& out, QString& error) {
    bool isIndex = false;
    const int index = which.toInt(&isIndex);
    if (isIndex) {
        if (index >= 0 && static_cast<std::size_t>(index) < found.size()) {
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
    for (const auto& d : found) {
        if (addressOf(d).compare(which, Qt::CaseInsensitive) == 0 || QString::fromStdString(d.serial) == which) {
            out = d;
            return true;
        }
    }
    error = QStringLiteral("no instrument with address or serial '%1' (see 'trelvan list')").arg(which);
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

bool connectTo(const QString& which, Connection& connection, DeviceData& device, QString& error) {
    return pickDevice(discover(), which, device, error) && connection.open(device, error);
}

}  // namespace cli
