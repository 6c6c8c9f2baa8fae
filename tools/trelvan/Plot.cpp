#include "Plot.h"

#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QSaveFile>
#include <algorithm>
#include <cmath>

// Fontconfig keeps a cache it never frees; in a LeakSanitizer build that is not ours to report. It sits
// beside the drawing, so every program that draws (the command line, its tests) carries it.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace cli {

const QColor kTraceColour(0x1f, 0x5f, 0xbf);

namespace {

constexpr int kWidth = 1200;
constexpr int kHeight = 700;
const QRect kArea(90, 90, kWidth - 90 - 40, kHeight - 90 - 80);
constexpr int kDivisions = 10;
// The window reaches this far under the noise floor, so the noise shows as a band, not an edge.
constexpr double kBelowFloorDb = 10.0;
// Below this span the frequency axis counts kHz from the centre.
constexpr double kNarrowSpanHz = 2e6;

// A tick step of 1, 2 or 5 times a power of ten giving about `wanted` intervals over `span`.
double niceStep(double span, int wanted) {
    const double raw = span / wanted;
    const double decade = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0})
        if (m * decade >= raw) return m * decade;
    return 10.0 * decade;
}

int decimalsFor(double step) { return std::max(0, static_cast<int>(std::ceil(-std::log10(step) - 1e-9))); }

}  // namespace

void ensureGui() {
    if (QGuiApplication::instance()) return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "trelvan";
    static char* argv[] = {name, nullptr};
    // Never destroyed: tearing it down among other static objects at exit upsets Qt's thread storage.
    static QGuiApplication* app = new QGuiApplication(argc, argv);
    Q_UNUSED(app);
}

QImage renderSpectrum(const Spectrum& s, const PlotText& text, PlotGeometry* geometry) {
    ensureGui();
    PlotGeometry g;
    g.area = kArea;
    const double centre = text.centreHz > 0 ? text.centreHz : s.centreHz;
    const double span = text.spanHz > 0 ? text.spanHz : s.sampleRateHz;
    g.lowHz = centre - span / 2;
    g.highHz = centre + span / 2;
    if (g.highHz <= g.lowHz) g.highHz = g.lowHz + 1;
    std::vector<double> db = s.levelsDbm();
    for (double& v : db) v += text.offsetDb;
    double peak = -1e300;
    for (std::size_t i = 0; i < db.size(); ++i) {
        const double f = s.frequencyOf(static_cast<double>(i));
        if (f >= g.lowHz && f <= g.highHz) peak = std::max(peak, db[i]);
    }
    g.noiseFloorDb = noiseFloorDbm(s, g.lowHz, g.highHz) + text.offsetDb;
    if (peak < -1e299) peak = g.noiseFloorDb;
    // As on an analyzer: the reference level at the top line (or the peak, when it stands above it or
    // there is no reference), ten divisions of a round number of dB down to a little under the noise floor.
    const double roundedPeak = std::ceil(peak / 10.0) * 10.0;
    g.topDb = text.hasReference ? std::max(text.referenceDb, roundedPeak) : roundedPeak + 10.0;
    const double wanted = (g.topDb - (g.noiseFloorDb - kBelowFloorDb)) / kDivisions;
    g.dbPerDivision = 50;
    for (double step : {1, 2, 5, 10, 15, 20, 25, 30, 40, 50})
        if (step >= wanted) {
            g.dbPerDivision = step;
            break;
        }
    g.bottomDb = g.topDb - kDivisions * g.dbPerDivision;
    g.offsetAxis = g.highHz - g.lowHz < kNarrowSpanHz;
    g.peak = strongestPeak(s, g.lowHz, g.highHz);
    g.peak.levelDbm += text.offsetDb;
    g.peak.found = g.peak.found && peak - g.noiseFloorDb >= kPeakProminenceDb;
    const auto yOf = [&g](double v) {
        const double t = (std::clamp(v, g.bottomDb, g.topDb) - g.bottomDb) / (g.topDb - g.bottomDb);
        return g.area.bottom() - t * g.area.height();
    };

    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    QFont font(QStringLiteral("DejaVu Sans"), 10);
    p.setFont(font);
    const QLocale c = QLocale::c();

    // Grid and tick labels: frequency in MHz, or kHz from the centre for a narrow span; level in dB.
    const double unitHz = g.offsetAxis ? 1e3 : 1e6;
    const double originHz = g.offsetAxis ? centre : 0.0;
    const double step = niceStep((g.highHz - g.lowHz) / unitHz, 10);
    const int decimals = decimalsFor(step);
    const double lowTick = (g.lowHz - originHz) / unitHz;
    p.setPen(QColor(225, 225, 225));
    for (double f = std::ceil(lowTick / step) * step; f <= (g.highHz - originHz) / unitHz + step * 1e-6; f += step) {
        const double x = g.xOf(originHz + f * unitHz);
        p.setPen(QColor(225, 225, 225));
        p.drawLine(QPointF(x, g.area.top()), QPointF(x, g.area.bottom()));
        p.setPen(Qt::black);
        p.drawText(QRectF(x - 60, g.area.bottom() + 6, 120, 18), Qt::AlignHCenter | Qt::AlignTop,
                   c.toString(f, 'f', decimals));
    }
    // Counted, not stepped: a recording's levels may be infinite, and a step would then never end.
    for (int d = 0; d <= kDivisions; ++d) {
        const double v = g.topDb - d * g.dbPerDivision;
        const double y = yOf(v);
        p.setPen(QColor(225, 225, 225));
        p.drawLine(QPointF(g.area.left(), y), QPointF(g.area.right(), y));
        p.setPen(Qt::black);
        p.drawText(QRectF(g.area.left() - 70, y - 9, 62, 18), Qt::AlignRight | Qt::AlignVCenter,
                   c.toString(v, 'f', std::fabs(v - std::round(v)) < 0.05 ? 0 : 1));
    }
    p.setPen(Qt::black);
    p.drawRect(g.area);

    // Trace: one polyline through the bins, clipped to the plot area.
    if (!db.empty()) {
        p.setClipRect(g.area.adjusted(1, 1, 0, 0));
        p.setPen(QPen(kTraceColour, 1));
        QPainterPath path;
        for (std::size_t i = 0; i < db.size(); ++i) {
            const QPointF pt(g.xOf(s.frequencyOf(static_cast<double>(i))), yOf(db[i]));
            if (i == 0) path.moveTo(pt);
            else path.lineTo(pt);
        }
        p.drawPath(path);
        p.setClipping(false);
    }

    // Marker on the strongest peak, with its frequency and level.
    if (g.peak.found) {
        const QPointF tip(g.xOf(g.peak.frequencyHz), yOf(g.peak.levelDbm) - 3);
        QPainterPath marker;
        marker.moveTo(tip);
        marker.lineTo(tip + QPointF(-6, -10));
        marker.lineTo(tip + QPointF(6, -10));
        marker.closeSubpath();
        p.fillPath(marker, QColor(0xd0, 0x30, 0x20));
        const QString label = QStringLiteral("%1 MHz, %2 %3")
                                  .arg(c.toString(g.peak.frequencyHz / 1e6, 'f', 6))
                                  .arg(c.toString(g.peak.levelDbm, 'f', 1))
                                  .arg(text.levelUnit);
        // The label is centred over the peak but kept wholly inside the plot area.
        const double w = QFontMetricsF(font).horizontalAdvance(label) + 8;
        const double lx = std::clamp(tip.x() - w / 2, g.area.left() + 2.0, g.area.right() - 2.0 - w);
        p.setPen(Qt::black);
        p.drawText(QRectF(lx, std::max(tip.y() - 32, g.area.top() + 2.0), w, 18), Qt::AlignHCenter, label);
    }

    // Labels.
    p.setPen(Qt::black);
    p.drawText(QRectF(g.area.left(), g.area.bottom() + 30, g.area.width(), 20), Qt::AlignHCenter,
               g.offsetAxis ? QStringLiteral("Offset from %1 MHz (kHz)").arg(c.toString(centre / 1e6, 'f', 6))
                            : QStringLiteral("Frequency (MHz), centre %1 MHz").arg(c.toString(centre / 1e6, 'f', 6)));
    p.save();
    p.translate(22, g.area.center().y());
    p.rotate(-90);
    p.drawText(QRectF(-200, -10, 400, 20), Qt::AlignCenter,
               QStringLiteral("Level (%1), %2 dB/div").arg(text.levelUnit).arg(g.dbPerDivision, 0, 'f', 0));
    p.restore();
    QFont big = font;
    big.setPointSize(13);
    big.setBold(true);
    p.setFont(big);
    p.drawText(QRectF(0, 12, kWidth, 28), Qt::AlignHCenter, text.title);
    p.setFont(font);
    p.drawText(QRectF(0, 44, kWidth, 22), Qt::AlignHCenter, text.subtitle);
    p.end();

    if (geometry) *geometry = g;
    return image;
}

bool savePng(const QImage& image, const QString& path, QString& error) {
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || !image.save(&f, "PNG") || !f.commit()) {
        error = QStringLiteral("cannot write %1: %2").arg(path, f.errorString());
        return false;
    }
    return true;
}

}  // namespace cli
