#include "backends/sk/SkDiagnostics.h"

#include <QDebug>
#include <QString>

namespace {
// The source name the instrument family's tools know these reports by.
const char* const kSkSourceName = "..\\trelvan\\sk";
}  // namespace

void reportSkCheck(const char* condition, int line) {
    qDebug().noquote() << QStringLiteral("ASSERT: \"%1\" in file %2, line %3")
                              .arg(QString::fromLatin1(condition), QString::fromLatin1(kSkSourceName))
                              .arg(line);
}
