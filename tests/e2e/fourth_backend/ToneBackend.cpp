// A fourth backend, built only for the tests: it joins the library's table through the same row and
// registration as the three the library ships with, and needs no VISA session. Its one device, TONE::0,
// delivers a complex tone of -20 dBm at 1000.25 MHz, in volts across 50 Ohm, at any rate from 1 to 4 MHz.
#include <algorithm>
#include <cmath>

#include "backends/BackendRow.h"
#include "backends/ErrorTexts.h"

namespace {

struct ToneGenerator final : analyzerInterface {
    explicit ToneGenerator(Init in) : init(in) { *init.status = 0; }
    // A rate beyond its limits gets the nearest limit, reported as a change.
    void setParams(Params& p) override {
        const double rate = std::clamp(p.sampleRate, 1e6, 4e6);
        if (rate != p.sampleRate) *init.error = {101, trv::errors::paramsModifiedText()};
        p.sampleRate = rate;
        *init.params = p;
    }
    void setNumPoints(int n) override { points = std::clamp(n, 1, 65536); }
    Params getParams(suffix which) override {
        return which == MIN ? Params{9e3, 1e6, -50} : which == MAX ? Params{6e9, 4e6, 20} : *init.params;
    }
    QVector<Error> getErr() override { return {}; }
    int getNPts(suffix) override { return points; }
    // The facade hands it an empty vector.
    void getData(QVector<IQ_Elem>* out) override {
        const double a = trv::backends::toneAmplitudeVolts(-20);
        const double w = 2 * M_PI * (1000.25e6 - init.params->frequency) / init.params->sampleRate;
        for (int k = 0; k < points && !released; ++k) out->append({a * std::cos(w * k), a * std::sin(w * k)});
    }
    double getCurSampleRate() override { return released ? 0.0 : init.params->sampleRate; }

    Init init;
    int points = 1024;
    bool released = false;  // by the row's disconnect
};

// What it leaves out (model recognition, VISA, an error list of its own, an overload code) is zero.
BackendRow toneRow() {
    BackendRow row{};
    row.name = "Tone";
    row.order = 40;
    row.recognisesAddress = [](const QString& a) { return a.startsWith(QStringLiteral("TONE::")); };
    row.enumerate = [](QVector<DeviceData>* f) { f->append(DeviceData{"TONE::0", "ToneGen-4", "", false}); };
    row.make = [](Init init) -> analyzerInterface* { return new ToneGenerator(init); };
    row.disconnect = [](analyzerInterface* b) { static_cast<ToneGenerator*>(b)->released = true; };
    row.sampleUnit = "volts";
    row.voltsPerUnit = 1.0;
    row.fullScale = [](int refLevelDbm) { return trv::backends::toneAmplitudeVolts(refLevelDbm + 3.0); };
    row.continuousRates = true;
    row.sampleRates = [](analyzerInterface*, const Params& min, const Params& max) {
        return std::vector<RateChoice>{{min.sampleRate, min.sampleRate}, {max.sampleRate, max.sampleRate}};
    };
    row.pointsMeaning = "samples per block, 1 to 65536; MIN and MAX repeat the current count";
    return row;
}

const BackendRow kToneRow = toneRow();

}  // namespace

TRELVAN_REGISTER_BACKEND(kToneRow);
