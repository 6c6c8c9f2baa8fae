#include "backends/sk/SkDiagnostics.h"

#include <QString>
#include <cstring>

#include "backends/sk/SkVocabulary.h"
#include "util/Log.h"

namespace {
// The report's form and the source name are what the instrument family's tools know these reports by;
// their spelling is deliberate.
const char* const kSkSourceName = "..\\trelvan\\sk";
}  // namespace

void reportSkCheck(const char* condition, int line) {
    TRELVAN_LOG(sk) << QStringLiteral("ASSERT: \"%1\" in file %2, line %3")
                           .arg(QString::fromLatin1(condition), QString::fromLatin1(kSkSourceName))
                           .arg(line);
}

void reportPidCheck(unsigned short expected, int line) {
    // A table entry may carry its number after the name ("P_CLK = 50"); the condition names it bare.
    const char* entry = GetParameterName(expected);
    const QByteArray name = entry != nullptr ? QByteArray(entry, static_cast<int>(std::strcspn(entry, " =")))
                                             : QByteArray::number(expected);
    reportSkCheck(QByteArray("PID == " + name).constData(), line);
}
