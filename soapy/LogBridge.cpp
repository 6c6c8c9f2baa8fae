// The library's Qt log lines into SoapySDR's logger, so applications show them at SoapySDR's log level
// (debug lines hidden by default) instead of on stderr.
//
// A library of its own: the library greets as it loads, before the module's own initialisers run.
// The module names this library after libTrelvan, and the loader initialises unrelated dependencies
// last-named first, so the handler is in place before libTrelvan's first line.
#include <QString>
#include <QtGlobal>
#include <SoapySDR/Logger.hpp>
#include <cstring>

namespace {

QtMessageHandler previous = nullptr;

bool ours(const char* category) {
    if (category == nullptr) return false;
    for (const char* name :
         {"trelvan.facade", "trelvan.visa", "trelvan.pxa", "trelvan.sk", "trelvan.harogic"})
        if (std::strcmp(category, name) == 0) return true;
    return false;
}

SoapySDRLogLevel levelOf(QtMsgType type) {
    switch (type) {
        case QtDebugMsg:
            return SOAPY_SDR_DEBUG;
        case QtInfoMsg:
            return SOAPY_SDR_INFO;
        case QtWarningMsg:
            return SOAPY_SDR_WARNING;
        case QtCriticalMsg:
            return SOAPY_SDR_CRITICAL;
        case QtFatalMsg:
            return SOAPY_SDR_FATAL;
    }
    return SOAPY_SDR_DEBUG;
}

void toSoapy(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (!ours(context.category) || type == QtFatalMsg) {
        if (previous != nullptr) previous(type, context, message);
        return;
    }
    SoapySDR::logf(levelOf(type), "%s: %s", context.category, message.toLocal8Bit().constData());
}

struct Install {
    Install() { previous = qInstallMessageHandler(toSoapy); }
};
const Install install;

}  // namespace
