#include "Args.h"

#include <QLocale>
#include <cmath>

namespace cli {

namespace {

const OptionSpec* findSpec(const std::vector<OptionSpec>& options, const QString& name) {
    for (const auto& s : options)
        if (s.name == name) return &s;
    return nullptr;
}

}  // namespace

bool parseArgs(const QStringList& args, const std::vector<OptionSpec>& options, ParsedArgs& out,
               QString& error) {
    out = ParsedArgs{};
    bool onlyPositional = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        // A lone "-" and negative numbers ("-30") are values, not options.
        const bool looksLikeOption = a.startsWith("--") || (a.startsWith('-') && a.size() > 1 && !a[1].isDigit() && a[1] != '.');
        if (onlyPositional || !looksLikeOption) {
            out.positional << a;
            continue;
        }
        if (a == "--") {
            onlyPositional = true;
            continue;
        }
        if (a == "--help" || a == "-h") {
            out.help = true;
            continue;
        }
        QString name;
        QString inlineValue;
        bool hasInline = false;
        const OptionSpec* s = nullptr;
        if (!a.startsWith("--")) {
            for (const auto& o : options)
                if ((!o.shortName.isNull() && o.shortName == a[1]) || (!o.otherShort.isNull() && o.otherShort == a[1]))
                    s = &o;
            if (!s) {
                error = QStringLiteral("unknown option %1").arg(a);
                return false;
            }
            name = s->name;
            hasInline = a.size() > 2;
            inlineValue = a.mid(2);
        } else {
            name = a.mid(2);
            const int eq = name.indexOf('=');
            if (eq >= 0) {
                inlineValue = name.mid(eq + 1);
                name = name.left(eq);
                hasInline = true;
            }
            s = findSpec(options, name);
            if (!s) {
                error = QStringLiteral("unknown option --%1").arg(name);
                return false;
            }
        }
        if (s->valueName.isEmpty()) {
            if (hasInline) {
                error = QStringLiteral("--%1 takes no value").arg(name);
                return false;
            }
            out.flags.insert(name);
            continue;
        }
        if (!hasInline) {
            if (i + 1 >= args.size()) {
                error = QStringLiteral("--%1 needs a value (%2)").arg(name, s->valueName);
                return false;
            }
            inlineValue = args[++i];
        }
        if (out.values.contains(name)) {
            error = QStringLiteral("--%1 given more than once").arg(name);
            return false;
        }
        out.values.insert(name, inlineValue);
    }
    return true;
}

bool parseNumber(const QString& text, double& out) {
    QString t = text.trimmed();
    if (t.endsWith(QLatin1String("hz"), Qt::CaseInsensitive)) t.chop(2);
    double scale = 1.0;
    if (!t.isEmpty()) {
        switch (t.back().toLower().toLatin1()) {
            case 'k':
                scale = 1e3;
                break;
            case 'm':
                scale = 1e6;
                break;
            case 'g':
                scale = 1e9;
                break;
            default:
                break;
        }
        if (scale != 1.0) t.chop(1);
    }
    bool ok = false;
    const double v = QLocale::c().toDouble(t.trimmed(), &ok);
    if (!ok || !std::isfinite(v * scale)) return false;
    out = v * scale;
    return true;
}

bool parseCount(const QString& text, long long& out) {
    double v = 0;
    if (!parseNumber(text, v) || v != std::floor(v) || std::fabs(v) > 9e15) return false;
    out = static_cast<long long>(v);
    return true;
}

QString formatHz(double hz) {
    static const struct {
        double scale;
        const char* unit;
    } units[] = {{1e9, "GHz"}, {1e6, "MHz"}, {1e3, "kHz"}, {1.0, "Hz"}};
    // Beyond a few THz no instrument is meant; keep such a value readable instead of 90 digits long.
    if (std::fabs(hz) >= 1e13) return QLocale::c().toString(hz, 'g', 6) + QStringLiteral(" Hz");
    for (const auto& u : units) {
        if (std::fabs(hz) >= u.scale || u.scale == 1.0) {
            QString s = QLocale::c().toString(hz / u.scale, 'f', 9);
            while (s.contains('.') && (s.endsWith('0') || s.endsWith('.'))) s.chop(1);
            return s + ' ' + u.unit;
        }
    }
    return {};
}

QString formatHzApprox(double hz) {
    const double rounded = hz == 0 ? 0 : QLocale::c().toDouble(QString::number(hz, 'g', 4));
    return formatHz(rounded);
}

}  // namespace cli
