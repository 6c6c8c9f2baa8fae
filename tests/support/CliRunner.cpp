#include "CliRunner.h"

#include <QProcessEnvironment>

namespace support {

QString buildProgram(const QString& name) {
    return QProcessEnvironment::systemEnvironment().value("TRELVAN_LIB_DIR", ".") + "/../bin/" + name;
}

CliProcess::CliProcess(const QStringList& args, const QStringList& environment, const QStringList& wrapper)
    : process_(new QProcess) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& entry : environment) {
        const int eq = entry.indexOf('=');
        env.insert(entry.left(eq), entry.mid(eq + 1));
    }
    process_->setProcessEnvironment(env);
    process_->setStandardInputFile(QProcess::nullDevice());
    if (wrapper.isEmpty()) process_->start(buildProgram("trelvan"), args);
    else process_->start(wrapper[0], wrapper.mid(1) + QStringList{buildProgram("trelvan")} + args);
    process_->waitForStarted(10000);
}

CliResult CliProcess::wait(int timeoutMs) {
    CliResult r;
    if (!process_->waitForFinished(timeoutMs)) {
        process_->kill();
        process_->waitForFinished(5000);
    } else if (process_->exitStatus() == QProcess::NormalExit) {
        r.status = process_->exitCode();
    }
    r.out = QString::fromUtf8(process_->readAllStandardOutput());
    r.err = QString::fromUtf8(process_->readAllStandardError());
    return r;
}

}  // namespace support
