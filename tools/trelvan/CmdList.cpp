// trelvan list: the instruments the library finds.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "Cli.h"
#include "Device.h"
#include "Simulated.h"

namespace cli {

void printDeviceTable(QTextStream& out, const std::vector<DeviceData>& found) {
    int wModel = 5, wSerial = 6;
    for (const auto& d : found) {
        wModel = std::max(wModel, QString::fromStdString(d.model).size());
        wSerial = std::max(wSerial, QString::fromStdString(d.serial).size());
    }
    out << "INDEX  " << QStringLiteral("MODEL").leftJustified(wModel) << "  "
        << QStringLiteral("SERIAL").leftJustified(wSerial) << "  BUSY  ADDRESS\n";
    for (std::size_t i = 0; i < found.size(); ++i) {
        const DeviceData& d = found[i];
        out << QString::number(i).leftJustified(5) << "  " << QString::fromStdString(d.model).leftJustified(wModel)
            << "  " << QString::fromStdString(d.serial).leftJustified(wSerial) << "  " << (d.busy ? "yes " : "no  ")
            << "  " << addressOf(d) << (isSimulated(d) ? "  (simulated)" : "") << "\n";
    }
}

namespace {

int runList(const ParsedArgs& a, Io& io) {
    const std::vector<DeviceData> found = discover();
    if (a.flags.contains("json")) {
        QJsonArray arr;
        for (std::size_t i = 0; i < found.size(); ++i) {
            const DeviceData& d = found[i];
            arr.append(QJsonObject{{"index", static_cast<int>(i)},
                                   {"model", QString::fromStdString(d.model)},
                                   {"serial", QString::fromStdString(d.serial)},
                                   {"address", addressOf(d)},
                                   {"busy", d.busy},
                                   {"simulated", isSimulated(d)}});
        }
        io.out << QJsonDocument(arr).toJson(QJsonDocument::Indented);
        return kOk;
    }
    if (found.empty()) {
        io.err << "no instruments found (VISA resources come from MIVISA_RESOURCES or the MiVISA "
                  "resources.conf; USB devices from htra_api; TRELVAN_SIMULATED_USB=N simulates N of them)\n";
        return kOk;
    }
    printDeviceTable(io.out, found);
    return kOk;
}

}  // namespace

Command listCommand() {
    return {"list", "", "List the instruments found: index, model, serial, address and whether each is busy.",
            "The index or the address identifies the instrument in the other commands.",
            {{"json", "", "print a JSON array instead of a table"}}, 0, 0, runList};
}

}  // namespace cli
