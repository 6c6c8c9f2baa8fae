// A fourth backend, built only for the tests: it joins the library's table through the same row and
// registration as the three the library ships with, and needs no VISA session.
#include "ToneBackend.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "backends/BackendRow.h"
#include "backends/ErrorTexts.h"

namespace {

double nearestRate(double rate) {
    double best = tone::kRates[0];
    for (double r : tone::kRates)
        if (std::abs(r - rate) < std::abs(best - rate)) best = r;
    return best;
}

class ToneGenerator final : public analyzerInterface {
public:
    explicit ToneGenerator(Init init) : m_init(init) {
        m_init.params->sampleRate = nearestRate(m_init.params->sampleRate);
        *m_init.status = 0;
    }
    // The nearest rate it has; a request it cannot meet is reported as changed.
    void setParams(Params& p) override {
        const double rate = nearestRate(p.sampleRate);
        if (rate != p.sampleRate) *m_init.error = {trv::errors::kParamsModifiedCode, trv::errors::paramsModifiedText()};
        p.sampleRate = rate;
        *m_init.params = p;
    }
    void setNumPoints(int points) override {
        m_points = std::clamp(points, 1, tone::kMaxPoints);
        if (m_points != points) *m_init.error = {trv::errors::kPointsCode, trv::errors::pointsText()};
    }
    Params getParams(suffix which) override {
        if (which == MIN) return {9e3, tone::kRates[0], -50};
        if (which == MAX) return {6e9, tone::kRates[2], 20};
        return *m_init.params;
    }
    QVector<Error> getErr() override { return {}; }
    int getNPts(suffix which) override { return which == MIN ? 1 : which == MAX ? tone::kMaxPoints : m_points; }
    void getData(QVector<IQ_Elem>* samples) override {
        if (m_released) return;
        const double amplitude = trv::backends::toneAmplitudeVolts(tone::kToneDbm);
        const double step = 2 * M_PI * (tone::kToneHz - m_init.params->frequency) / m_init.params->sampleRate;
        samples->resize(m_points);
        for (int k = 0; k < m_points; ++k)
            (*samples)[k] = {amplitude * std::cos(step * k), amplitude * std::sin(step * k)};
    }
    double getCurSampleRate() override { return m_released ? 0.0 : m_init.params->sampleRate; }
    void release() {
        m_released = true;
        *m_init.status = 1;
    }

private:
    Init m_init;
    int m_points = 1024;
    bool m_released = false;
};

void enumerate(QVector<DeviceData>* found) {
    DeviceData d;
    std::strncpy(d.address, tone::kAddress, sizeof d.address - 1);
    d.model = tone::kModel;
    d.serial = tone::kSerial;
    found->append(d);
}

bool recognisesAddress(const QString& address) {
    return address.startsWith(QStringLiteral("TONE::"));
}

analyzerInterface* make(Init init) {
    return new ToneGenerator(init);
}

void disconnect(analyzerInterface* backend) {
    static_cast<ToneGenerator*>(backend)->release();
}

double fullScale(int refLevelDbm) {
    return trv::backends::toneAmplitudeVolts(refLevelDbm + 3.0);
}

std::vector<RateChoice> sampleRates(analyzerInterface*, const Params&, const Params&) {
    std::vector<RateChoice> rates;
    for (double r : tone::kRates) rates.push_back({r, r});
    return rates;
}

const BackendRow kToneRow = {
    .name = tone::kBackend,
    .order = 40,
    .recognisesModel = nullptr,
    .recognisesAddress = &recognisesAddress,
    .takesTheRest = false,
    .needsVisaSession = false,
    .resourcePrefix = "",
    .port = 0,
    .makers = nullptr,
    .takesUnknownResources = false,
    .speaksFacadeScpi = false,
    .enumerate = &enumerate,
    .make = &make,
    .errorList = nullptr,
    .disconnect = &disconnect,
    .sampleUnit = "volts",
    .voltsPerUnit = 1.0,
    .fullScale = &fullScale,
    .continuousRates = false,
    .sampleRates = &sampleRates,
    .pointsMeaning = "samples per block, 1 to 65536",
    .overloadCode = 0,
};

}  // namespace

TRELVAN_REGISTER_BACKEND(kToneRow);
