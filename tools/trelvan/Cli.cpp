#include "Cli.h"

#include <QStringList>

namespace cli {

namespace {

void printUsage(QTextStream& s, const Command& c) {
    s << "usage: trelvan " << c.name;
    if (!c.arguments.isEmpty()) s << ' ' << c.arguments;
    for (const auto& o : c.options) {
        s << " [--" << o.name;
        if (!o.valueName.isEmpty()) s << ' ' << o.valueName;
        s << ']';
    }
    s << "\n\n" << c.summary << "\n";
    if (!c.details.isEmpty()) s << "\n" << c.details << "\n";
    if (!c.options.empty()) {
        s << "\noptions:\n";
        for (const auto& o : c.options) {
            QString left = (o.shortName.isNull() ? QStringLiteral("  ") : QStringLiteral("  -%1, ").arg(o.shortName)) +
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
    s << "\n'trelvan COMMAND --help' describes one command; 'trelvan --version' prints the version.\n";
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
      << roff("Numbers take k, M and G suffixes. DEVICE is an index from 'trelvan list' or filters\n"
              "key=value joined by commas (serial, model, address, driver). TRELVAN_LOG=1 shows the\n"
              "library's own diagnostic log. Exit status 0 on success, 1 when the instrument or the\n"
              "library failed or reported an error, 2 for a mistake on the command line.")
      << "\n.SH COMMANDS\n";
    for (const auto& c : commands()) {
        s << ".SS \"" << roff(c.name) << (c.arguments.isEmpty() ? QString() : ' ' + roff(c.arguments)) << "\"\n"
          << roff(c.summary) << "\n";
        if (!c.details.isEmpty()) s << ".PP\n" << roff(c.details) << "\n";
        for (const auto& o : c.options) {
            s << ".TP\n"
              << (o.shortName.isNull() ? QString() : QStringLiteral("\\fB\\-%1\\fR, ").arg(o.shortName))
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

int fail(Io& io, const QString& command, const QString& reason) {
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
    for (const auto& c : commands()) {
        if (c.name != args[0]) continue;
        ParsedArgs parsed;
        QString error;
        if (!parseArgs(args.mid(1), c.options, parsed, error)) {
            io.err << "trelvan " << c.name << ": " << error << " (see 'trelvan " << c.name << " --help')\n";
            return kUsage;
        }
        if (parsed.help) {
            printUsage(io.out, c);
            return kOk;
        }
        const int n = parsed.positional.size();
        if (n < c.minPositional || n > c.maxPositional) {
            io.err << "trelvan " << c.name << ": "
                   << (n < c.minPositional ? QStringLiteral("missing %1").arg(c.arguments)
                                           : QStringLiteral("unexpected argument '%1'")
                                                 .arg(parsed.positional.value(c.maxPositional)))
                   << " (see 'trelvan " << c.name << " --help')\n";
            return kUsage;
        }
        const int rc = c.run(parsed, io);
        io.out.flush();
        io.err.flush();
        return rc;
    }
    io.err << "trelvan: unknown command '" << args[0] << "' (see 'trelvan --help')\n";
    return kUsage;
}

}  // namespace cli
