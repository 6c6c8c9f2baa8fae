// trelvan scpi: SCPI commands to a connected N9030A, one from the command line or a session read from
// stdin, so settings chain across commands.
#include <unistd.h>

#include <QTextStream>
#include <string>

#include "Cli.h"
#include "Device.h"
#include "ScpiText.h"

namespace cli {

namespace {

class Session {
public:
    Session(Io& io, bool forceQuery) : io_(io), forceQuery_(forceQuery) {
        // The error queue as it stands, and the library's pending report from connecting, are not
        // this session's doing.
        known_ = realErrors(getError());
    }

    // One line of input; false when the instrument stopped answering.
    bool run(const QString& line) {
        for (const QString& unit : scpiUnits(line)) {
            if (forceQuery_ || isScpiQuery(unit)) {
                // The error-queue read in the same message answers even when the query is rejected, so
                // a rejection shows as the instrument's error rather than as a timeout.
                const std::string reply = send(unit + QStringLiteral(";:SYSTem:ERRor:NEXT?"), true);
                if (getStatus() != 0) return lost(unit);
                QString answer, text;
                int code = 0;
                if (!splitErrorReply(QString::fromStdString(reply), answer, code, text)) {
                    io_.out << QString::fromStdString(reply).trimmed() << "\n";
                } else {
                    if (!answer.isEmpty() || code == 0) io_.out << answer.trimmed() << "\n";
                    if (code != 0) report(unit, {Error{code, text}});
                }
            } else {
                send(unit, false);
                if (getStatus() != 0) return lost(unit);
            }
            io_.out.flush();
            report(unit, newErrors());
            if (getStatus() != 0) return lost(unit);
        }
        return true;
    }

    bool failed() const { return failed_; }

private:
    std::string send(const QString& unit, bool query) {
        // The library hands the text to VISA as a format, where '%' starts a directive.
        QString wire = unit;
        return CustomCommand((wire.replace('%', QStringLiteral("%%")) + '\n').toStdString(), query);
    }

    QVector<Error> newErrors() {
        QVector<Error> out;
        for (const auto& e : realErrors(getError())) {
            bool old = false;
            for (const auto& k : known_) old = old || (k.code == e.code && k.text == e.text);
            if (!old) out << e;
        }
        return out;
    }

    void report(const QString& unit, const QVector<Error>& errors) {
        for (const auto& e : errors) io_.err << unit << ": instrument error " << e.code << ", " << e.text.trimmed() << "\n";
        failed_ = failed_ || !errors.isEmpty();
    }

    bool lost(const QString& unit) {
        io_.err << unit << ": no answer, status " << statusText(getStatus()) << "\n";
        failed_ = true;
        return false;
    }

    Io& io_;
    bool forceQuery_;
    bool failed_ = false;
    QVector<Error> known_;
};

int runScpi(const ParsedArgs& a, Io& io) {
    if (!a.positional.isEmpty() && a.positional[0].trimmed().isEmpty()) return usageError(io, "scpi", "COMMAND is empty");
    Connection connection;
    DeviceData device;
    if (const int rc = connectTo(a.device, connection, device, io, "scpi")) return rc;
    if (driverOf(device) != "pxa")
        return fail(io, "scpi", QStringLiteral("%1 does not take SCPI commands; only an N9030A does").arg(describe(device)));

    Session session(io, a.flags.contains("query"));
    if (!a.positional.isEmpty()) {
        session.run(a.positional[0]);
    } else {
        const bool prompt = isatty(STDIN_FILENO) == 1;
        QTextStream in(stdin);
        while (true) {
            if (prompt) io.err << "scpi> ";
            const QString line = in.readLine();
            if (line.isNull()) break;
            if (line.trimmed().isEmpty() || line.trimmed().startsWith('#')) continue;
            if (!session.run(line)) break;
        }
        if (prompt) io.err << "\n";
    }
    return session.failed() ? fail(io, "scpi", "the instrument reported errors") : kOk;
}

}  // namespace

Command scpiCommand() {
    Command c{"scpi",
            "[DEVICE] [COMMAND]",
            "Send SCPI commands to a connected N9030A and print the replies of queries.",
            "Without COMMAND, reads commands from stdin, one message per line, so settings chain.\n"
            "Compound messages (:FREQ:CENT 2.5e9;:FREQ:CENT?) are split into their units as the\n"
            "instrument splits them. Errors the instrument queues are printed on stderr and make\n"
            "the exit status 1; a rejected query shows its error rather than a timeout. A lone argument\n"
            "is DEVICE when it is an index, filters or an address, and COMMAND otherwise.",
            {{"query", "", "read a reply even when a header has no '?'"}},
            0,
            2,
            runScpi};
    c.takesDevice = true;
    return c;
}

}  // namespace cli
