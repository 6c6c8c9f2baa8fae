#include "Units.h"

#include <trelvan/Backend.h>

#include <cmath>

#include "Device.h"
#include "Sigmf.h"

namespace cli {

namespace {

// 10 log10(1000 mW/W / 50 Ohm): what the dBm of an amplitude of 1 exceeds its dB by.
const double kVoltToDbm = 10.0 * std::log10(1000.0 / 50.0);

}  // namespace

SampleUnit sampleUnitOf(const DeviceData& d) {
    const InstrumentFacts facts = instrumentFacts(d);
    return {QString::fromStdString(facts.sampleUnit), facts.voltsPerUnit};
}

LevelScale levelScaleOf(const Recording& rec) {
    const QString unit = rec.extension.value("sample_unit").toString();
    const double vpu = rec.extension.value("volts_per_unit").toDouble(0.0);
    if (vpu > 0) return {20.0 * std::log10(vpu), QStringLiteral("dBm"), true};
    if (!unit.isEmpty()) return {-kVoltToDbm, QStringLiteral("dB re 1 %1").arg(unit), false};
    // Another recorder's samples: fractions of full scale, as SigMF readers take them; a complex tone
    // of amplitude 1 reads 0 dBFS.
    return {-kVoltToDbm, QStringLiteral("dBFS"), false};
}

}  // namespace cli
