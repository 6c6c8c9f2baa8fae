// A fourth backend, built only for the tests: it joins the library's table through the same row and
// registration as the three the library ships with, and needs no VISA session. Its one device, TONE::0,
// delivers a complex tone of -20 dBm at 1000.25 MHz, in volts across 50 Ohm, at any rate from 1 to 4 MHz.
#include <algorithm>
#include <cmath>
#include <cstring>

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
    void getData(QVector<IQ_Elem>* samples) override {
        const double a = trv::backends::toneAmplitudeVolts(-20);
        const double step = 2 * M_PI * (1000.25e6 - init.params->frequency) / init.params->sampleRate;
        samples->resize(released ? 0 : points);
        for (int k = 0; k < samples->size(); ++k) (*samples)[k] = {a * std::cos(step * k), a * std::sin(step * k)};
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
    row.recognisesAddress = [](const QString& address) { return address.startsWith(QStringLiteral("TONE::")); };
    row.enumerate = [](QVector<DeviceData>* found) {
        found->append(DeviceData{});
        std::strcpy(found->back().address, "TONE::0");
        found->back().model = "ToneGen-4";
    };
    row.make = [](Init init) -> analyzerInterface* { return new ToneGenerator(init); };
    row.disconnect = [](analyzerInterface* backend) { static_cast<ToneGenerator*>(backend)->released = true; };
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
