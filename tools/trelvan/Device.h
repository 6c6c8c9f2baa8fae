// Choosing and connecting an instrument through the library's exported functions.
#pragma once

#include <trelvan/Trelvan.h>

#include <QString>
#include <QTextStream>
#include <vector>

#include "Cli.h"

namespace cli {

// Discovery, connecting, configuring and reading settings end on their own in the library; this bound
// (seconds) only keeps a fault there from holding the program for good.
constexpr double kLibraryBoundS = 60;

// "the instrument stopped answering: no WHAT within SECONDS s", the one wording for a bound that passed.
QString stoppedAnswering(const QString& what, double seconds = kLibraryBoundS);

// The instruments the library finds, in its order: the index `list` shows is the position here.
std::vector<DeviceData> discover();

// DEVICE as the user gives it: an index from `list` (digits only), or filters key=value joined by
// commas (serial, model, address, driver), matched against discovery, or an address alone; empty picks
// the only instrument found. Returns kOk, kUsage for a DEVICE that cannot be read, or kFailed when what
// was found does not fit (none, several, an index beyond the list).
int pickDevice(const std::vector<DeviceData>& found, const QString& which, DeviceData& out, QString& error);

// The address as configured when it was (TCPIP0::…), else as the library gives it.
QString addressOf(const DeviceData& d);
// "pxa", "sk" or "harogic": the backend the library picks for the device.
QString driverOf(const DeviceData& d);
// The shortest filters that select found[index] alone, as `list` shows them.
QString selectorFor(const std::vector<DeviceData>& found, std::size_t index);
QString describe(const DeviceData& d);  // "model (serial …) at address"
// The status word with its VISA name where it has one, e.g. "0xBFFF0015 (timeout)".
QString statusText(int status);

// Library error reports as one line; entries with code 0 (end of an instrument's queue) are left out.
QVector<Error> realErrors(const QVector<Error>& errors);
QString errorsLine(const QVector<Error>& errors);

// Holds a connection for the life of a command and disconnects at the end.
class Connection {
public:
    Connection() = default;
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool open(const DeviceData& device, QString& error);
    bool isOpen() const { return open_; }

private:
    bool open_ = false;
};

// The table `list` prints.
void printDeviceTable(QTextStream& out, const std::vector<DeviceData>& found);

// Discovery, choice and connection in one step, for the commands that take DEVICE. Returns kOk, or the
// exit status after saying why on stderr.
int connectTo(const QString& which, Connection& connection, DeviceData& device, Io& io, const QString& command);

}  // namespace cli
