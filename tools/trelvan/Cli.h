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

// Messages on the error stream reach the user the moment they are written, in the order of events,
// rather than when a buffer fills or the program ends.
class ErrStream {
public:
    ErrStream(QTextStream& s) : s_(s) {}  // implicit, so Io{out, err} reads naturally
    template <class T>
    ErrStream& operator<<(const T& v) {
        s_ << v;
        s_.flush();
        return *this;
    }
    void flush() { s_.flush(); }
    QTextStream& stream() { return s_; }

private:
    QTextStream& s_;
};

struct Io {
    QTextStream& out;
    ErrStream err;
    bool errIsTerminal = false;  // progress redrawn in place only on a terminal
};

constexpr const char* kVersion = "0.2.0";

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
