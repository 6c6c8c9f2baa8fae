// trelvan: the command-line host of the Trelvan library.
#include <unistd.h>

#include <QTextStream>
#include <cstdio>
#include <cstring>

#include "Cli.h"
#include "Plot.h"
#include "Supervisor.h"

namespace {

bool showLibraryLog = false;

// The library narrates on the Qt debug log; a user sees it only with TRELVAN_LOG=1.
void messages(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtDebugMsg && !showLibraryLog) return;
    // The offscreen platform's complaint about a missing runtime folder concerns nothing we draw.
    if (text.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR"))) return;
    fprintf(stderr, "%s\n", qPrintable(text));
}

// The library greets on the log while it is loaded, before main() runs; an entry in .preinit_array runs
// before any shared library's initialisers, so the filter is in place by then, and so are the handlers
// of Ctrl-C and SIGTERM. The C library's getenv is not ready yet, so the environment is read from the
// argument.
void installFilter(int, char**, char** env) {
    for (char** e = env; e && *e; ++e)
        if (strncmp(*e, "TRELVAN_LOG=", 12) == 0) showLibraryLog = (*e)[12] != '\0' && strcmp(*e + 12, "0") != 0;
    qInstallMessageHandler(messages);
    cli::supervisor::catchSignals();
}
__attribute__((section(".preinit_array"), used)) void (*const preinitFilter)(int, char**, char**) = installFilter;

}  // namespace

int main(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    QTextStream out(stdout);
    QTextStream err(stderr);
    cli::Io io{out, err};
    io.errIsTerminal = isatty(STDERR_FILENO) == 1;
    // Qt wants its application object made on the main thread; the commands run on another.
    if (cli::wantsGui(args)) cli::ensureGui();
    const int rc = cli::supervisor::run([&] { return cli::runCli(args, io); });
    out.flush();
    err.flush();
    return rc;
}
