#include "CliRunner.h"

#include <QProcess>
#include <QProcessEnvironment>

namespace support {

CliResult runCli(const QStringList& args, const QStringList& environment, int timeoutMs) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& entry : environment) {
        const int eq = entry.indexOf('=');
        env.insert(entry.left(eq), entry.mid(eq + 1));
    }
    QProcess process;
    process.setProcessEnvironment(env);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(env.value("TRELVAN_LIB_DIR", ".") + "/../bin/trelvan", args);
    CliResult r;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
    } else if (process.exitStatus() == QProcess::NormalExit) {
        r.status = process.exitCode();
    }
    r.out = QString::fromUtf8(process.readAllStandardOutput());
    r.err = QString::fromUtf8(process.readAllStandardError());
    return r;
}

}  // namespace support
