// The trelvan command line: a table of subcommands, each with its own options and help text.
#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <functional>
#include <vector>

#include "Args.h"

namespace cli {

enum Exit { kOk = 0, kFailed = 1, kUsage = 2 };  // and kInterrupted (Supervisor.h)

// The exit statuses, as --help, the manual page and the README state them.
extern const char* const kExitStatusText;

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
    bool json = false;           // --json: one object on stdout, whatever happens
    bool jsonPrinted = false;
    QString lastError = {};      // the reason fail() gave last
};

// Prints `o` on stdout with "exit_status" and, on failure, "error" (the reason given last).
void printJson(Io& io, QJsonObject o, int status);

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
    bool takesDevice = false;  // DEVICE as the first positional or -d; may be left out (ParsedArgs::device)
};

const std::vector<Command>& commands();

// Whether the command line draws a plot: Qt's application object is then made first, on the main thread.
bool wantsGui(const QStringList& args);

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
