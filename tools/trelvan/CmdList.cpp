// trelvan list: the instruments the library finds, and the configured ones that did not answer.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "Cli.h"
#include "Device.h"
#include "ResourceList.h"
#include "Simulated.h"

namespace cli {

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
            << (isSimulated(d) ? "  (simulated)" : "") << "\n";
    }
}

namespace {

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
    const std::vector<DeviceData> found = discover();
    for (const QString& silent : silentEntries(found))
        io.err << "trelvan list: " << silent << " is configured but did not answer as an analyzer\n";
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
                                   {"simulated", isSimulated(d)}});
        }
        io.out << QJsonDocument(arr).toJson(QJsonDocument::Indented);
    } else if (!found.empty()) {
        printDeviceTable(io.out, found);
    }
    if (found.empty()) {
        io.err << "no instruments found (VISA resources come from MIVISA_RESOURCES or the MiVISA "
                  "resources.conf; USB devices from htra_api; TRELVAN_SIMULATED_USB=N simulates N of them)\n";
        return kFailed;
    }
    return kOk;
}

}  // namespace

Command listCommand() {
    return {"list", "", "List the instruments found: index, model, serial, address, busy, and the filters that select each.",
            "DEVICE in the other commands is the index or, surviving a change of order, the filters shown\n"
            "under SELECT WITH (serial=..., model=..., address=..., driver=pxa|sk|harogic, joined by commas).\n"
            "Each configured VISA resource that did not answer is named on stderr. Exit status 0 when\n"
            "anything was found, 1 otherwise.",
            {{"json", "", "print a JSON array instead of a table"}}, 0, 0, runList};
}

}  // namespace cli
