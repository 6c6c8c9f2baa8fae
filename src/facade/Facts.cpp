// The facts programs ask about a listed or connected instrument, each read from the row of the backend
// that drives it.
#include <trelvan/Backend.h>

#include <algorithm>
#include <cmath>

#include "backends/BackendTable.h"
#include "facade/Facade.h"
#include "facade/FacadeState.h"

namespace {

InstrumentFacts fromRow(const BackendRow* row, int refLevelDbm) {
    InstrumentFacts facts;
    if (row == nullptr) return facts;
    facts.backend = row->name;
    facts.driver = QString::fromUtf8(row->name).toLower().toStdString();
    facts.sampleUnit = row->sampleUnit != nullptr ? row->sampleUnit : "";
    facts.voltsPerUnit = row->voltsPerUnit;
    facts.refLevel = refLevelDbm;
    facts.fullScale = row->fullScale != nullptr ? row->fullScale(refLevelDbm) : 0.0;
    facts.continuousRates = row->continuousRates;
    facts.pointsMeaning = row->pointsMeaning != nullptr ? row->pointsMeaning : "";
    facts.overloadCode = row->overloadCode;
    return facts;
}

}  // namespace

InstrumentFacts instrumentFacts(const DeviceData& device, int refLevelDbm) {
    return fromRow(trv::backends::forDevice(device), refLevelDbm);
}

InstrumentFacts connectedFacts(Trelvan& facade) {
    const BackendRow* row = trv::facade::stateOf(facade).row;
    if (row == nullptr || facade.backend == nullptr) return InstrumentFacts{};
    InstrumentFacts facts = fromRow(row, facade.getParameters(CUR).refLevel);
    const Params min = facade.getParameters(MIN);
    const Params max = facade.getParameters(MAX);
    if (row->sampleRates != nullptr) {
        facts.rates = row->sampleRates(facade.backend, min, max);
        std::sort(facts.rates.begin(), facts.rates.end(),
                  [](const RateChoice& a, const RateChoice& b) { return a.delivered < b.delivered; });
    }
    if (row->pointsLimits != nullptr) {
        row->pointsLimits(facade.backend, facts.minPoints, facts.maxPoints);
    } else {
        facts.minPoints = facade.getNumPTS(MIN);
        facts.maxPoints = facade.getNumPTS(MAX);
    }
    return facts;
}

RateChoice nearestRate(const InstrumentFacts& facts, double rate) {
    if (facts.rates.empty()) return {rate, rate};
    if (facts.continuousRates) {
        const double r = std::clamp(rate, facts.rates.front().delivered, facts.rates.back().delivered);
        return {r, r};
    }
    RateChoice best = facts.rates.front();
    for (const RateChoice& c : facts.rates)
        if (std::abs(c.delivered - rate) < std::abs(best.delivered - rate)) best = c;
    return best;
}

std::vector<std::string> backendNames() {
    std::vector<std::string> names;
    for (const BackendRow* row : trv::backends::rows()) names.emplace_back(row->name);
    return names;
}
