// A fourth backend, built only for the tests: it joins the library's table through the same row and
// registration as the three the library ships with, and needs no VISA session.
#include "ToneBackend.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "backends/BackendRow.h"
#include "backends/ErrorTexts.h"

namespace {

class ToneGenerator final : public analyzerInterface {
public:
    explicit ToneGenerator(Init init) : m_init(init) {
        m_init.params->sampleRate = nearest(m_init.params->sampleRate);
        *m_init.status = 0;
    }
    // The nearest rate it has; a request it cannot meet is reported as changed.
    void setParams(Params& p) override {
        if (nearest(p.sampleRate) != p.sampleRate) *m_init.error = {101, trv::errors::paramsModifiedText()};
        p.sampleRate = nearest(p.sampleRate);
        *m_init.params = p;
    }
    void setNumPoints(int points) override { m_points = std::clamp(points, 1, tone::kMaxPoints); }
    Params getParams(suffix which) override {
        return which == MIN ? Params{9e3, tone::kRates[0], -50}
                            : which == MAX ? Params{6e9, tone::kRates[2], 20} : *m_init.params;
    }
    QVector<Error> getErr() override { return {}; }
    int getNPts(suffix which) override { return which == MIN ? 1 : which == MAX ? tone::kMaxPoints : m_points; }
    void getData(QVector<IQ_Elem>* samples) override {
        const double a = trv::backends::toneAmplitudeVolts(tone::kToneDbm);
        const double step = 2 * M_PI * (tone::kToneHz - m_init.params->frequency) / m_init.params->sampleRate;
        samples->resize(m_released ? 0 : m_points);
        for (int k = 0; k < samples->size(); ++k) (*samples)[k] = {a * std::cos(step * k), a * std::sin(step * k)};
    }
    double getCurSampleRate() override { return m_released ? 0.0 : m_init.params->sampleRate; }
    void release() { m_released = true, *m_init.status = 1; }

private:
    static double nearest(double rate) {
        return *std::min_element(std::begin(tone::kRates), std::end(tone::kRates),
                                 [rate](double a, double b) { return std::abs(a - rate) < std::abs(b - rate); });
    }
    Init m_init;
    int m_points = 1024;
    bool m_released = false;
};

// What it leaves out (model recognition, VISA, an error list of its own, an overload code) is zero.
BackendRow toneRow() {
    BackendRow row{};
    row.name = tone::kBackend;
    row.order = 40;
    row.recognisesAddress = [](const QString& address) { return address.startsWith(QStringLiteral("TONE::")); };
    row.enumerate = [](QVector<DeviceData>* found) {
        found->append(DeviceData{});
        std::strncpy(found->back().address, tone::kAddress, sizeof found->back().address - 1);
        found->back().model = tone::kModel;
    };
    row.make = [](Init init) -> analyzerInterface* { return new ToneGenerator(init); };
    row.disconnect = [](analyzerInterface* backend) { static_cast<ToneGenerator*>(backend)->release(); };
    row.sampleUnit = "volts";
    row.voltsPerUnit = 1.0;
    row.fullScale = [](int refLevelDbm) { return trv::backends::toneAmplitudeVolts(refLevelDbm + 3.0); };
    row.sampleRates = [](analyzerInterface*, const Params&, const Params&) {
        std::vector<RateChoice> rates;
        for (double r : tone::kRates) rates.push_back({r, r});
        return rates;
    };
    row.pointsMeaning = "samples per block, 1 to 65536";
    return row;
}

const BackendRow kToneRow = toneRow();

}  // namespace

TRELVAN_REGISTER_BACKEND(kToneRow);
