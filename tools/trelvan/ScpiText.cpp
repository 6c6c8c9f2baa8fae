#include "ScpiText.h"

#include <QRegularExpression>

namespace cli {

namespace {

QStringList splitOutsideQuotes(const QString& text, QChar sep) {
    QStringList out;
    QString piece;
    QChar quote;
    for (QChar c : text) {
        if (!quote.isNull()) {
            if (c == quote) quote = QChar();
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == sep) {
            out << piece;
            piece.clear();
            continue;
        }
        piece += c;
    }
    out << piece;
    return out;
}

QString headerOf(const QString& unit) { return unit.section(QRegularExpression(QStringLiteral("\\s")), 0, 0); }

}  // namespace

bool isScpiQuery(const QString& unit) { return headerOf(unit.trimmed()).endsWith('?'); }

QStringList scpiUnits(const QString& message) {
    QStringList out;
    QString path;  // ":A:B" of the last unit with a header path, without its leaf
    for (QString unit : splitOutsideQuotes(message, ';')) {
        unit = unit.trimmed();
        if (unit.isEmpty()) continue;
        if (unit.startsWith('*')) {
            out << unit;  // common commands leave the path alone
            continue;
        }
        if (!unit.startsWith(':')) unit.prepend(path + ':');
        QString header = headerOf(unit);
        if (header.endsWith('?')) header.chop(1);
        path = header.left(header.lastIndexOf(':'));
        out << unit;
    }
    return out;
}

bool splitErrorReply(const QString& text, QString& reply, int& code, QString& error) {
    QStringList pieces = splitOutsideQuotes(text.trimmed(), ';');
    static const QRegularExpression entry(QStringLiteral("^\\s*([+-]?\\d+)\\s*,\\s*(.*)$"));
    const QRegularExpressionMatch m = entry.match(pieces.last());
    if (!m.hasMatch()) return false;
    code = m.captured(1).toInt();
    error = m.captured(2).trimmed();
    if (error.size() >= 2 && error.startsWith('"') && error.endsWith('"')) error = error.mid(1, error.size() - 2);
    pieces.removeLast();
    reply = pieces.join(';');
    return true;
}

}  // namespace cli
