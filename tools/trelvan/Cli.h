// The trelvan command line: a table of subcommands, each with its own options and help text.
#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>
#include <functional>
#include <vector>

#include "Args.h"

namespace cli {

enum Exit { kOk = 0, kFailed = 1, kUsage = 2 };

struct Io {
    QTextStream& out;
    QTextStream& err;
    bool errIsTerminal = false;  // progress bars only on a terminal
};

struct Command {
    QString name;
    QString arguments;  // positional part of the synopsis, e.g. "DEVICE COMMAND"
    QString summary;
    QString details;    // extra help text, may be empty
    std::vector<OptionSpec> options;
    int minPositional = 0;
    int maxPositional = 0;
    std::function<int(const ParsedArgs&, Io&)> run;
};

const std::vector<Command>& commands();

// Runs one command line (without the program name) and returns the exit status.
int runCli(const QStringList& args, Io& io);

// Prints "trelvan NAME: reason" on the error stream and returns kFailed.
int fail(Io& io, const QString& command, const QString& reason);

// The same for a mistake on the command line; returns kUsage.
int usageError(Io& io, const QString& command, const QString& reason);

// Reads a required or optional numeric option; on failure prints the reason and returns false.
bool numberOption(const ParsedArgs& a, const QString& name, double& out, Io& io, const QString& command);
bool countOption(const ParsedArgs& a, const QString& name, long long lo, long long hi, long long& out, Io& io,
                 const QString& command);

// One factory per subcommand, each in its own file.
Command listCommand();
Command infoCommand();
Command captureCommand();
Command plotCommand();
Command scpiCommand();
Command demoCommand();

}  // namespace cli
