// trelvan scpi: one SCPI command to a connected N9030A, optionally reading its reply.
#include <string>

#include "Cli.h"
#include "Device.h"

namespace cli {

namespace {

int runScpi(const ParsedArgs& a, Io& io) {
    QString command = a.positional[1].trimmed();
    if (command.isEmpty()) return usageError(io, "scpi", "COMMAND is empty");
    // A header ending in '?' expects a reply, whether or not --query was given.
    const bool query = a.flags.contains("query") || command.section(' ', 0, 0).endsWith('?');

    Connection connection;
    DeviceData device;
    QString error;
    if (!connectTo(a.positional[0], connection, device, error)) return fail(io, "scpi", error);
    if (!QString::fromStdString(device.model).contains("N9030A", Qt::CaseInsensitive))
        return fail(io, "scpi", QStringLiteral("%1 does not take SCPI commands; only an N9030A does").arg(describe(device)));

    // Reading the error list first empties the instrument's queue; what it held then, and the library's
    // pending report from connecting, is not this command's doing.
    const QVector<Error> before = realErrors(getError());
    // The library hands the text to VISA as a format, where '%' starts a directive.
    const std::string wire = (command.replace('%', "%%") + '\n').toStdString();
    const std::string reply = CustomCommand(wire, query);
    const int status = getStatus();
    if (status != 0) return fail(io, "scpi", QStringLiteral("no answer, status %1").arg(statusText(status)));
    if (query) io.out << QString::fromStdString(reply).trimmed() << "\n";
    QVector<Error> after;
    for (const auto& e : realErrors(getError())) {
        bool old = false;
        for (const auto& b : before) old = old || (b.code == e.code && b.text == e.text);
        if (!old) after << e;
    }
    const QString reported = errorsLine(after);
    if (!reported.isEmpty()) return fail(io, "scpi", QStringLiteral("the instrument reports: %1").arg(reported));
    return kOk;
}

}  // namespace

Command scpiCommand() {
    return {"scpi",
            "DEVICE COMMAND",
            "Send one SCPI command to a connected N9030A and print its reply when it is a query.",
            "A command whose header ends in '?' is sent as a query. Errors the instrument queues\n"
            "in answer are printed and make the exit status non-zero.",
            {{"query", "", "read a reply even when the header has no '?'"}},
            2,
            2,
            runScpi};
}

}  // namespace cli
