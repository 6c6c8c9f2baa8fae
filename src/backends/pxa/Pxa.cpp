#include "backends/pxa/Pxa.h"

#include <QLocale>
#include <QMutex>
#include <climits>
#include <cmath>
#include <cstdlib>

#include <trelvan/DynamicVisa.h>
#include "backends/ErrorTexts.h"
#include "backends/pxa/PxaTexts.h"
#include "util/Log.h"
#include "base/VisaConstants.h"

namespace {

// The module's lock. The facade serialises every call into a backend, so nothing here takes it.
QMutex pxaMutex;

constexpr double kSpanToSampleRate = 1.28;
// Resolution bandwidth x points = kRbwPoints x sample rate, for the instrument's vector captures.
constexpr double kRbwPoints = 3.8194;

const Params kDefaultParams{1e9, 1e7, 0};

QString fixed(double value) {
    return QString::number(value, 'f', 6);
}

bool toDouble(const QString& text, double& value) {
    bool ok = false;
    const double v = QLocale::c().toDouble(text.trimmed(), &ok);
    if (ok) value = v;
    return ok;
}

bool toInt(const QString& text, int& value) {
    bool ok = false;
    const int v = QLocale::c().toInt(text.trimmed(), &ok);
    if (ok) value = v;
    return ok;
}

int truncToInt(double value) {
    if (!(value > INT_MIN && value < INT_MAX)) return value > 0 ? INT_MAX : (value < 0 ? INT_MIN : 0);
    return static_cast<int>(value);
}

}  // namespace

PXA::PXA()
    : visa(nullptr),
      status(nullptr),
      session(nullptr),
      resourceManager(nullptr),
      params(nullptr),
      error(nullptr),
      device(nullptr) {}

PXA::PXA(Init init)
    : visa(init.visa),
      status(init.status),
      session(init.session),
      resourceManager(init.resourceManager),
      params(init.params),
      error(init.error),
      device(init.device) {
    if (!linked() || *status != VI_SUCCESS) return;
    // Defaults first, so no setting left by an earlier user survives; then the vector-capture mode.
    command(":INSTrument:COUPle:DEFault  \n");
    command(":SYSTem:DEFault ALL\n");
    command(":INSTrument:DEFault \n");
    command(":INSTrument:NSELect 100 \n");
}

PXA::~PXA() = default;

trv::pxa::ScpiLink PXA::link() const {
    return trv::pxa::ScpiLink(*visa, *status, *session, *resourceManager, *device);
}

void PXA::command(const char* text) {
    link().command(text);
}

void PXA::command(const char* format, const QString& number) {
    link().command(format, number.toLatin1().constData());
}

QString PXA::framedQuery(const char* text) {
    return QString::fromLatin1(link().opcFramedQuery(text).c_str());
}

int PXA::OPCquery() {
    return linked() ? link().opcQuery() : VI_ERROR_TMO;
}

void PXA::OPC() {
    if (linked()) link().opc();
}

void PXA::setParams(Params& requested) {
    if (!linked() || *status != VI_SUCCESS) return;
    const Params wanted = requested;
    OPC();
    command(":SENSe:FREQuency:SPAN %s HZ\n", fixed(wanted.sampleRate / kSpanToSampleRate));
    OPC();
    command(":SENSe:FREQuency:RF:CENTer %s GHZ\n", fixed(wanted.frequency / 1e9));
    OPC();
    command(":SENSe:POWer:RF:RANGe %s\n", QString::number(wanted.refLevel));
    OPC();
    *params = getParams(CUR);
    if (params->frequency == wanted.frequency && params->sampleRate == wanted.sampleRate &&
        params->refLevel == wanted.refLevel)
        return;
    error->code = trv::errors::kParamsModifiedCode;
    error->text = trv::errors::paramsModifiedText();
    TRELVAN_LOG(pxa) << trv::pxa_text::kParamsModified;
    // The host keeps the rate it asked for; the instrument's own rate is only approximately that.
    params->sampleRate = wanted.sampleRate;
}

Params PXA::getParams(suffix which) {
    Params result = kDefaultParams;
    if (!linked() || *status != VI_SUCCESS) return result;
    link().setTimeout(trv::pxa::kExchangeTimeoutMs);
    OPC();
    command(":FORMat:TRACe:DATA ASCii\n");
    command(":FORMat:BORDer NORMal\n");
    OPC();
    const char* centre = nullptr;
    const char* range = nullptr;
    const char* span = nullptr;
    switch (which) {
        case MIN:
            centre = ":SENSe:FREQuency:RF:CENTer? MIN\n";
            range = ":SENSe:POWer:RF:RANGe? MIN\n";
            span = ":SENSe:FREQuency:SPAN? MIN\n";
            break;
        case MAX:
            centre = ":SENSe:FREQuency:RF:CENTer? MAX\n";
            range = ":SENSe:POWer:RF:RANGe? MAX\n";
            span = ":SENSe:FREQuency:SPAN? MAX\n";
            break;
        case CUR:
            centre = ":SENSe:FREQuency:RF:CENTer?\n";
            range = ":SENSe:POWer:RF:RANGe?\n";
            break;
    }
    if (centre != nullptr) {
        toDouble(framedQuery(centre), result.frequency);
        double level = 0;
        if (toDouble(framedQuery(range), level)) result.refLevel = truncToInt(level);
        if (span != nullptr) {
            double value = 0;
            if (toDouble(framedQuery(span), value)) result.sampleRate = value * kSpanToSampleRate;
        } else {
            double xDelta = 0;
            if (toDouble(framedQuery(":CALCulate:VECTor:DATA2:HEADer? 'XDelta'\n"), xDelta) && xDelta > 0) {
                result.sampleRate = 1.0 / xDelta;
            } else {
                TRELVAN_LOG(pxa) << trv::pxa_text::kSampleRateConvertError;
                result.sampleRate = params->sampleRate;
            }
        }
    }
    link().setTimeout(TRELVAN_TMO_RELAXED);
    return result;
}

void PXA::setNumPoints(int points) {
    if (!linked() || *status != VI_SUCCESS) return;
    if (points <= 0) {
        // No bandwidth gives that; tell the host rather than send the instrument a nonsense value.
        error->code = trv::errors::kPointsCode;
        error->text = trv::errors::pointsText();
        return;
    }
    // Two decimals are all the instrument takes.
    const double rbw = std::trunc(kRbwPoints * params->sampleRate / points * 100) / 100;
    OPC();
    command(":SENSe:VECTOR:BWIDth:RESolution %s HZ\n", fixed(rbw));
    double readBack = 0;
    toDouble(framedQuery(":SENSe:VECTOR:BWIDth:RESolution?\n"), readBack);
    if (readBack != rbw) {
        error->code = trv::errors::kPointsCode;
        error->text = trv::errors::pointsText();
    }
}

int PXA::getNPts(suffix which) {
    if (!linked() || *status != VI_SUCCESS) return 0;
    link().setTimeout(trv::pxa::kExchangeTimeoutMs);
    int result = 0;
    if (which == MIN || which == MAX) {
        int rbw = 0;
        if (toInt(framedQuery(which == MIN ? ":SENSe:VECTOR:BWIDth:RESolution? MIN\n"
                                           : ":SENSe:VECTOR:BWIDth:RESolution? MAX\n"),
                  rbw) &&
            rbw > 0)
            result = truncToInt(kRbwPoints * params->sampleRate / rbw);
    } else if (which == CUR) {
        toInt(framedQuery(":CALCulate:VECTor:DATA2:RAW:POINTs?\n"), result);
    }
    link().setTimeout(TRELVAN_TMO_RELAXED);
    return result;
}

double PXA::getCurSampleRate() {
    return params != nullptr ? params->sampleRate : 0.0;
}

// Published members of their own; the contract's defaults (no external synchronisation) serve.
void PXA::setExtSyncState(bool on) {
    analyzerInterface::setExtSyncState(on);
}

void PXA::setExtSyncFreq(double frequency) {
    analyzerInterface::setExtSyncFreq(frequency);
}
