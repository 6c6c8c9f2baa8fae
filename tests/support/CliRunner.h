// The trelvan program run as a user runs it: its arguments, a few environment variables of the test's
// own, and a time bound, so a command that hangs fails the test instead of stalling it.
#pragma once

#include <QProcess>
#include <QStringList>
#include <memory>

namespace support {

struct CliResult {
    int status = -1;  // the exit status; -1 when the program did not exit by itself
    QString out, err;
};

// A trelvan run the test steers while it runs: started at once, signalled by pid, and waited for.
class CliProcess {
public:
    // Runs the trelvan beside the build's libraries (TRELVAN_LIB_DIR/../bin) with `environment`
    // ("NAME=value" entries) added to the test's own. `wrapper` (a program and its arguments) runs it
    // instead, with the trelvan path and `args` after its own arguments.
    explicit CliProcess(const QStringList& args, const QStringList& environment = {}, const QStringList& wrapper = {});
    qint64 pid() const { return process_->processId(); }
    // Killed after `timeoutMs`.
    CliResult wait(int timeoutMs);

private:
    std::unique_ptr<QProcess> process_;
};

inline CliResult runCli(const QStringList& args, const QStringList& environment = {}, int timeoutMs = 60000) {
    return CliProcess(args, environment).wait(timeoutMs);
}

// Another program of the build (TRELVAN_LIB_DIR/../bin/NAME).
QString buildProgram(const QString& name);

}  // namespace support
