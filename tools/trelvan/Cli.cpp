#include "Cli.h"

#include <QJsonDocument>
#include <QStringList>
#include <algorithm>

#include "Supervisor.h"

namespace cli {

const char* const kExitStatusText =
    "Exit status: 0 done; 1 the instrument or the library failed or reported an error; 2 a mistake on\n"
    "the command line or in the files it names (nothing is sent to an instrument); 130 interrupted by\n"
    "Ctrl-C or SIGTERM.";

namespace {

const OptionSpec kDeviceOption{"device", "DEVICE", "the instrument, as DEVICE (instead of the first argument)", 'd'};

// A first argument that reads as a DEVICE rather than as a SCPI command: an index, filters or a VISA address.
bool looksLikeDevice(const QString& text) {
    return !text.isEmpty() && (text.contains('=') || text.contains(QLatin1String("::")) ||
                               std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); }));
}

std::vector<OptionSpec> optionsOf(const Command& c) {
    std::vector<OptionSpec> all = c.options;
    if (c.takesDevice) all.insert(all.begin(), kDeviceOption);
    return all;
}

void printUsage(QTextStream& s, const Command& c) {
    s << "usage: trelvan " << c.name;
    if (!c.arguments.isEmpty()) s << ' ' << c.arguments;
    for (const auto& o : optionsOf(c)) {
        s << " [--" << o.name;
        if (!o.valueName.isEmpty()) s << ' ' << o.valueName;
        s << ']';
    }
    s << "\n\n" << c.summary << "\n";
    if (!c.details.isEmpty()) s << "\n" << c.details << "\n";
    if (c.takesDevice)
        s << "\nDEVICE is an index from 'trelvan list' or filters such as serial=DEMO-PXA; it may be left out\n"
             "when exactly one instrument is found.\n";
    s << "\n" << kExitStatusText << "\n";
    if (!optionsOf(c).empty()) {
        s << "\noptions:\n";
        for (const auto& o : optionsOf(c)) {
            QString left = (o.shortName.isNull() ? QStringLiteral("  ") : QStringLiteral("  -%1, ").arg(o.shortName)) +
                           (o.otherShort.isNull() ? QString() : QStringLiteral("-%1, ").arg(o.otherShort)) +
                           "--" + o.name + (o.valueName.isEmpty() ? QString() : ' ' + o.valueName);
            s << left.leftJustified(28) << ' ' << o.help << "\n";
        }
    }
    s << "  " << QStringLiteral("--help").leftJustified(26) << " show this text\n";
}

void printOverview(QTextStream& s) {
    s << "usage: trelvan COMMAND [ARGS...]\n\n"
         "Finds signal analyzers, reads I/Q samples from them into SigMF recordings and plots spectra.\n\n"
         "commands:\n";
    for (const auto& c : commands()) s << "  " << c.name.leftJustified(10) << c.summary << "\n";
    s << "\n'trelvan COMMAND --help' describes one command; 'trelvan --version' prints the version.\n"
      << kExitStatusText << "\n";
}

// Text for a roff line: a leading dot or quote would read as a request, and backslashes escape.
QString roff(QString text) {
    text.replace('\\', QStringLiteral("\\e")).replace('-', QStringLiteral("\\-"));
    QStringList lines = text.split('\n');
    for (QString& l : lines)
        if (l.startsWith('.') || l.startsWith('\'')) l.prepend(QStringLiteral("\\&"));
    return lines.join('\n');
}

// The manual page, made from the same texts as --help so the two never disagree.
void printManPage(QTextStream& s) {
    s << ".TH TRELVAN 1 \"\" \"trelvan " << kVersion << "\" \"User Commands\"\n"
      << ".SH NAME\ntrelvan \\- find signal analyzers, record I/Q samples as SigMF and plot spectra\n"
      << ".SH SYNOPSIS\n.B trelvan\n.I COMMAND\n[\\fIOPTIONS\\fR]\n"
      << ".SH DESCRIPTION\n"
      << roff("Numbers take k, M and G suffixes in either case, optionally followed by Hz. DEVICE is an\n"
              "index from 'trelvan list' or filters key=value joined by commas (serial, model, address,\n"
              "driver), given first or with -d; it may be left out when exactly one instrument is found.\n"
              "TRELVAN_LOG=1 shows the library's own diagnostic log.")
      << "\n.SH EXIT STATUS\n" << roff(kExitStatusText) << "\n.SH COMMANDS\n";
    for (const auto& c : commands()) {
        s << ".SS \"" << roff(c.name) << (c.arguments.isEmpty() ? QString() : ' ' + roff(c.arguments)) << "\"\n"
          << roff(c.summary) << "\n";
        if (!c.details.isEmpty()) s << ".PP\n" << roff(c.details) << "\n";
        for (const auto& o : optionsOf(c)) {
            s << ".TP\n"
              << (o.shortName.isNull() ? QString() : QStringLiteral("\\fB\\-%1\\fR, ").arg(o.shortName))
              << (o.otherShort.isNull() ? QString() : QStringLiteral("\\fB\\-%1\\fR, ").arg(o.otherShort))
              << "\\fB\\-\\-" << roff(o.name) << "\\fR"
              << (o.valueName.isEmpty() ? QString() : " \\fI" + roff(o.valueName) + "\\fR") << "\n"
              << roff(o.help) << "\n";
        }
    }
}

}  // namespace

const std::vector<Command>& commands() {
    static const std::vector<Command> all{listCommand(), infoCommand(), captureCommand(),
                                          plotCommand(), scpiCommand(),  demoCommand()};
    return all;
}

bool wantsGui(const QStringList& args) {
    return !args.isEmpty() && (args[0] == "plot" || args[0] == "demo" ||
                               std::any_of(args.begin(), args.end(), [](const QString& a) { return a.startsWith("--plot"); }));
}

void printJson(Io& io, QJsonObject o, int status) {
    o["exit_status"] = status;
    if (status != kOk && !io.lastError.isEmpty()) o["error"] = io.lastError;
    io.out << QJsonDocument(o).toJson(QJsonDocument::Indented);
    io.out.flush();
    io.jsonPrinted = true;
}

int fail(Io& io, const QString& command, const QString& reason) {
    io.lastError = reason;
    io.err << "trelvan " << command << ": " << reason << "\n";
    io.err.flush();
    return kFailed;
}

int usageError(Io& io, const QString& command, const QString& reason) {
    fail(io, command, reason);
    return kUsage;
}

bool numberOption(const ParsedArgs& a, const QString& name, double& out, Io& io, const QString& command) {
    if (!a.values.contains(name)) {
        fail(io, command, QStringLiteral("--%1 is required").arg(name));
        return false;
    }
    if (!parseNumber(a.value(name), out)) {
        fail(io, command, QStringLiteral("--%1: '%2' is not a number").arg(name, a.value(name)));
        return false;
    }
    return true;
}

bool countOption(const ParsedArgs& a, const QString& name, long long lo, long long hi, long long& out, Io& io,
                 const QString& command) {
    if (!a.values.contains(name)) return true;  // keeps the caller's default
    if (!parseCount(a.value(name), out) || out < lo || out > hi) {
        fail(io, command, QStringLiteral("--%1: '%2' is not a whole number from %3 to %4")
                              .arg(name, a.value(name))
                              .arg(lo)
                              .arg(hi));
        return false;
    }
    return true;
}

namespace {

int runCommand(const Command& c, const QStringList& args, Io& io) {
    ParsedArgs parsed;
    QString error;
    if (!parseArgs(args, optionsOf(c), parsed, error))
        return usageError(io, c.name, error + QStringLiteral(" (see 'trelvan %1 --help')").arg(c.name));
    if (parsed.help) {
        printUsage(io.out, c);
        return kOk;
    }
    if (c.takesDevice && parsed.values.contains("device")) {
        parsed.device = parsed.value("device");
    } else if (c.takesDevice && !parsed.positional.isEmpty() &&
               (parsed.positional.size() == c.maxPositional || looksLikeDevice(parsed.positional[0]))) {
        parsed.device = parsed.positional.takeFirst();
    }
    const int max = c.maxPositional - (c.takesDevice ? 1 : 0);
    const int n = parsed.positional.size();
    if (n < c.minPositional || n > max)
        return usageError(io, c.name,
                          (n < c.minPositional ? QStringLiteral("missing %1").arg(c.arguments)
                                               : QStringLiteral("unexpected argument '%1'").arg(parsed.positional.value(max))) +
                              QStringLiteral(" (see 'trelvan %1 --help')").arg(c.name));
    // What the main thread prints when it has to end the command itself.
    supervisor::setFinisher([&io, name = c.name](supervisor::Ending ending, const QString& what) {
        const int rc = ending == supervisor::Ending::Interrupted ? kInterrupted : kFailed;
        fail(io, name, ending == supervisor::Ending::Interrupted ? QStringLiteral("interrupted") : what);
        if (io.json && !io.jsonPrinted) printJson(io, {}, rc);
        return rc;
    });
    const int rc = c.run(parsed, io);
    // A command that ended early on a stop request says so unless it already has.
    if (rc != kOk && rc != kUsage && supervisor::stopRequested()) {
        if (rc != kInterrupted || io.lastError.isEmpty()) fail(io, c.name, QStringLiteral("interrupted"));
        return kInterrupted;
    }
    return rc;
}

}  // namespace

int runCli(const QStringList& args, Io& io) {
    if (!args.isEmpty() && args[0] == "--version") {
        io.out << "trelvan " << kVersion << "\n";
        return kOk;
    }
    if (!args.isEmpty() && args[0] == "--man") {
        printManPage(io.out);
        return kOk;
    }
    if (args.isEmpty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        printOverview(args.isEmpty() ? io.err.stream() : io.out);
        return args.isEmpty() ? kUsage : kOk;
    }
    io.json = args.contains(QStringLiteral("--json"));
    int rc = -1;
    for (const auto& c : commands())
        if (c.name == args[0]) rc = runCommand(c, args.mid(1), io);
    if (rc < 0) {
        io.lastError = QStringLiteral("unknown command '%1'").arg(args[0]);
        io.err << "trelvan: " << io.lastError << " (see 'trelvan --help')\n";
        rc = kUsage;
    }
    if (io.json && !io.jsonPrinted) printJson(io, {}, rc);
    io.out.flush();
    io.err.flush();
    return rc;
}

}  // namespace cli
