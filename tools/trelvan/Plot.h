// Spectrum plots drawn with Qt Gui on an offscreen image: no display is needed.
#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <QString>

#include "Spectrum.h"

namespace cli {

extern const QColor kTraceColour;

struct PlotText {
    QString title;     // instrument
    QString subtitle;  // settings
    QString levelUnit = QStringLiteral("dBm");  // of the vertical axis
    double offsetDb = 0;                          // added to the spectrum's levels
    bool hasReference = false;                    // the reference level goes at the top
    double referenceDb = 0;
    double centreHz = 0, spanHz = 0;              // the part shown; zeros: all of it
};

// A peak is marked only this far above the noise floor (the median bin): averaged noise alone comes
// nowhere near it.
constexpr double kPeakProminenceDb = 15.0;

// Where the spectrum lands in the image, so callers (and tests) can map frequencies to pixels.
struct PlotGeometry {
    QRect area;
    double lowHz = 0, highHz = 0;
    double bottomDb = 0, topDb = 0;
    double dbPerDivision = 10;
    double noiseFloorDb = 0;  // the median bin, in the axis unit
    bool offsetAxis = false;  // narrow spans: kHz from the centre
    Peak peak;                // as marked (found only where it stands out), level in the axis unit
    double xOf(double hz) const { return area.left() + (hz - lowHz) / (highHz - lowHz) * area.width(); }
};

// Creates the Qt Gui application object the drawing needs (offscreen unless QT_QPA_PLATFORM says
// otherwise), once per process.
void ensureGui();

QImage renderSpectrum(const Spectrum& s, const PlotText& text, PlotGeometry* geometry = nullptr);
bool savePng(const QImage& image, const QString& path, QString& error);

}  // namespace cli
