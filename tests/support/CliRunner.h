// The trelvan program run as a user runs it: its arguments, a few environment variables of the test's
// own, and a time bound, so a command that hangs fails the test instead of stalling it.
#pragma once

#include <QStringList>

namespace support {

struct CliResult {
    int status = -1;  // the exit status; -1 when the program did not exit by itself
    QString out, err;
};

// Runs the trelvan beside the build's libraries (TRELVAN_LIB_DIR/../bin) with `environment`
// ("NAME=value" entries) added to the test's own; killed after `timeoutMs`.
CliResult runCli(const QStringList& args, const QStringList& environment = {}, int timeoutMs = 60000);

}  // namespace support
