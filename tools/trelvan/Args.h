// Command-line parsing for the trelvan subcommands: options as "--name value", "--name=value" or, for
// the common ones, "-x value" and "-xvalue"; flags as "--name", everything else positional.
#pragma once

#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>
#include <vector>

namespace cli {

struct OptionSpec {
    QString name;       // without the leading dashes
    QString valueName;  // empty for a flag
    QString help;
    QChar shortName = {};  // e.g. 'f' for -f; none when null
    QChar otherShort = {};  // a second letter some tools use for the same option (-s for -r)
};

struct ParsedArgs {
    QStringList positional;
    QMap<QString, QString> values;
    QSet<QString> flags;
    bool help = false;
    QString device;  // DEVICE, from -d or the first positional; empty: the only instrument found

    bool has(const QString& name) const { return values.contains(name) || flags.contains(name); }
    QString value(const QString& name, const QString& fallback = {}) const {
        return values.value(name, fallback);
    }
};

// Parses the arguments that follow the subcommand name. On failure returns false with a one-line reason.
bool parseArgs(const QStringList& args, const std::vector<OptionSpec>& options, ParsedArgs& out, QString& error);

// A number with an optional suffix k, M or G in either case ("m" is mega), optionally followed by "Hz":
// "2.5e6", "2.5M", "100k", "2.4g", "1GHz", "-30". C locale only.
bool parseNumber(const QString& text, double& out);
// A whole number, without suffix or with k/M/G as long as the result is whole.
bool parseCount(const QString& text, long long& out);

// "2.5 MHz", "100 kHz", "1.000000001 GHz": the shortest exact-looking rendering with a unit prefix.
QString formatHz(double hz);
// The same to a few significant digits, for derived values such as a resolution bandwidth.
QString formatHzApprox(double hz);

}  // namespace cli
