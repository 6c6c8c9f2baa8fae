// SCPI program messages as an instrument parses them: units separated by ';' outside quoted strings, a
// header without a leading ':' continuing from the path of the unit before it.
#pragma once

#include <QString>
#include <QStringList>

namespace cli {

// The units of one message, each made absolute so it can be sent on its own.
QStringList scpiUnits(const QString& message);
bool isScpiQuery(const QString& unit);
// Splits "reply;<code>,\"text\"" (a query followed by an error-queue read) into its two answers;
// false when the last piece is not an error-queue entry (a reply cut short, for instance).
bool splitErrorReply(const QString& text, QString& reply, int& code, QString& error);

}  // namespace cli
