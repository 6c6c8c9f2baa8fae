// trelvan list: the instruments the library finds, and the configured ones that did not answer.
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include "Cli.h"
#include "Device.h"
#include "ResourceList.h"
#include "Simulated.h"

namespace cli {

namespace {

// An entry for a VISA instrument that gave no identity when asked: discovery still lists it.
bool unidentified(const DeviceData& d) { return d.model.empty() && driverOf(d) != "harogic"; }

}  // namespace

void printDeviceTable(QTextStream& out, const std::vector<DeviceData>& found) {
    int wModel = 5, wSerial = 6;
    for (const auto& d : found) {
        wModel = std::max(wModel, QString::fromStdString(d.model).size());
        wSerial = std::max(wSerial, QString::fromStdString(d.serial).size());
    }
    int wAddress = 7;
    for (const auto& d : found) wAddress = std::max(wAddress, addressOf(d).size());
    out << "INDEX  " << QStringLiteral("MODEL").leftJustified(wModel) << "  "
        << QStringLiteral("SERIAL").leftJustified(wSerial) << "  BUSY  " << QStringLiteral("ADDRESS").leftJustified(wAddress)
        << "  SELECT WITH\n";
    for (std::size_t i = 0; i < found.size(); ++i) {
        const DeviceData& d = found[i];
        out << QString::number(i).leftJustified(5) << "  " << QString::fromStdString(d.model).leftJustified(wModel)
            << "  " << QString::fromStdString(d.serial).leftJustified(wSerial) << "  " << (d.busy ? "yes " : "no  ")
            << "  " << addressOf(d).leftJustified(wAddress) << "  " << selectorFor(found, i)
            << (isSimulated(d) ? "  (simulated)" : "") << (unidentified(d) ? "  (did not identify itself)" : "") << "\n";
    }
}

namespace {

// The text of the resource list our VISA library reads, from the first source that exists, split into
// entries; the library leaves out, silently, the entries it cannot read.
QStringList configuredEntryTexts(QString& source) {
    QString text;
    char separator = '\n';
    if (qEnvironmentVariableIsSet("MIVISA_RESOURCES")) {
        source = QStringLiteral("MIVISA_RESOURCES");
        text = qEnvironmentVariable("MIVISA_RESOURCES");
        separator = ';';
    } else {
        QStringList files;
        if (qEnvironmentVariableIsSet("MIVISA_CONFIG")) {
            files << qEnvironmentVariable("MIVISA_CONFIG");
        } else {
            const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME"), home = qEnvironmentVariable("HOME");
            if (!xdg.isEmpty()) files << xdg + "/mivisa/resources.conf";
            else if (!home.isEmpty()) files << home + "/.config/mivisa/resources.conf";
            files << QStringLiteral("/etc/mivisa/resources.conf");
        }
        for (const QString& f : files) {
            QFile file(f);
            if (!file.open(QIODevice::ReadOnly)) continue;
            source = f;
            text = QString::fromUtf8(file.read(1 << 20));
            break;
        }
    }
    QStringList out;
    for (QString item : text.split(QLatin1Char(separator))) {
        if (separator == '\n') item = item.left(item.indexOf('#'));
        if (!item.trimmed().isEmpty()) out << item.trimmed();
    }
    return out;
}

// Why the library cannot read an entry; empty when it can.
QString entryProblem(const QString& entry) {
    mivisa::ResourceEntry parsed;
    if (mivisa::parseEntry(entry.toStdString(), parsed)) return {};
    const QStringList fields = entry.split('|');
    mivisa::ResourceName name;
    const QByteArray resource = fields[0].trimmed().toUtf8();
    if (mivisa::parseResourceName(resource.constData(), name) != VI_SUCCESS)
        return QStringLiteral("'%1' is not a resource TCPIP[board]::HOST::PORT::SOCKET").arg(fields[0].trimmed());
    for (const QString& field : fields.mid(1)) {
        const QString key = field.section('=', 0, 0).trimmed(), value = field.section('=', 1).trimmed();
        if (!field.contains('=')) return QStringLiteral("field '%1' is not key=value").arg(field.trimmed());
        if (key == "busy" && value != "0" && value != "1") return QStringLiteral("busy=%1: busy is 0 or 1").arg(value);
        if (key != "manufacturer" && key != "model" && key != "serial" && key != "busy")
            return QStringLiteral("unknown field '%1' (known: manufacturer, model, serial, busy)").arg(key);
    }
    return QStringLiteral("it cannot be read");
}

// Our VISA library lists exactly the configured resources; one that discovery did not return either did
// not answer or did not identify as an analyzer the library drives.
QStringList silentEntries(const std::vector<DeviceData>& found) {
    QStringList out;
    for (const auto& entry : mivisa::configuredResources()) {
        const QString host = QString::fromStdString(entry.name.host);
        bool answered = false;
        for (const auto& d : found) {
            const QStringList fields = addressOf(d).split(QStringLiteral("::"));
            answered = answered || (fields.size() > 1 && fields[1].compare(host, Qt::CaseInsensitive) == 0);
        }
        if (!answered) out << QString::fromStdString(entry.name.canonical());
    }
    return out;
}

int runList(const ParsedArgs& a, Io& io) {
    QString source;
    QSet<QString> told;
    QJsonArray warnings;
    const auto warn = [&](const QString& line) {
        io.err << "trelvan list: " << line << "\n";
        warnings.append(line);
    };
    for (const QString& entry : configuredEntryTexts(source)) {
        const QString problem = entryProblem(entry);
        if (!problem.isEmpty() && !told.contains(entry)) {
            told.insert(entry);
            warn(QStringLiteral("%1: entry '%2' is left out: %3").arg(source, entry, problem));
        }
    }
    const std::vector<DeviceData> found = discover();
    for (const QString& silent : silentEntries(found)) warn(silent + " is configured but did not answer as an analyzer");
    if (found.empty())
        io.lastError = QStringLiteral("no instruments found (VISA resources come from MIVISA_RESOURCES or the MiVISA "
                                      "resources.conf; USB devices from htra_api; TRELVAN_SIMULATED_USB=N simulates N of them)");
    if (a.flags.contains("json")) {
        QJsonArray arr;
        for (std::size_t i = 0; i < found.size(); ++i) {
            const DeviceData& d = found[i];
            arr.append(QJsonObject{{"index", static_cast<int>(i)},
                                   {"model", QString::fromStdString(d.model)},
                                   {"serial", QString::fromStdString(d.serial)},
                                   {"address", addressOf(d)},
                                   {"busy", d.busy},
                                   {"driver", driverOf(d)},
                                   {"select", selectorFor(found, i)},
                                   {"simulated", isSimulated(d)},
                                   {"identified", !unidentified(d)}});
        }
        printJson(io, QJsonObject{{"instruments", arr}, {"warnings", warnings}}, found.empty() ? kFailed : kOk);
    } else if (!found.empty()) {
        printDeviceTable(io.out, found);
    }
    if (found.empty()) {
        io.err << io.lastError << "\n";
        return kFailed;
    }
    return kOk;
}

}  // namespace

Command listCommand() {
    return {"list", "", "List the instruments found: index, model, serial, address, busy, and the filters that select each.",
            "DEVICE in the other commands is the index or, surviving a change of order, the filters shown\n"
            "under SELECT WITH (serial=..., model=..., address=..., driver=pxa|sk|harogic, joined by commas).\n"
            "Each configured VISA resource that did not answer, and each entry of the resource list that\n"
            "cannot be read (with what is wrong), is named on stderr; an instrument that did not identify\n"
            "itself is marked. Exit status 1 when nothing was found.",
            {{"json", "", "print a JSON object: instruments and warnings"}}, 0, 0, runList};
}

}  // namespace cli
