// Formatted I/O: printf-style writes and line-based scanf-style reads.
#include <cstring>

#include "Api.h"
#include "Format.h"
#include "Guard.h"
#include "Scan.h"
#include "Session.h"

using namespace mivisa;

namespace {

// Scoped copy of a caller's va_list.
struct ArgsCopy : Args {
    explicit ArgsCopy(va_list from) { va_copy(ap, from); }
    ~ArgsCopy() { va_end(ap); }
};

ViStatus sendFormatted(Session& session, const char* format, Args& args) {
    std::string text;
    const ViStatus status = formatText(format, args, text);
    if (status != VI_SUCCESS) return status;
    return session.write(reinterpret_cast<const ViByte*>(text.data()), text.size(), nullptr);
}

ViStatus receiveFormatted(Session& session, const char* format, Args& args) {
    std::string line;
    const ViStatus status = session.readLine(line, kMaxLine);
    // A partial line is still handed over, so the caller sees what did arrive.
    if (line.empty() && status != VI_SUCCESS) return status;
    const ViStatus scanned = scanLine(format, line, args);
    return status != VI_SUCCESS ? status : scanned;
}

std::shared_ptr<Session> usableSession(ViSession vi, ViStatus& status) {
    auto session = Registry::instance().find<Session>(vi);
    status = session ? session->checkAccess() : VI_ERROR_INV_OBJECT;
    return status == VI_SUCCESS ? session : nullptr;
}

}  // namespace

ViStatus viVPrintf(ViSession vi, ViString writeFmt, ViVAList params) {
    ViStatus status;
    auto session = usableSession(vi, status);
    if (!session) return status;
    ArgsCopy args(params);
    return guarded([&] { return sendFormatted(*session, writeFmt, args); });
}

ViStatus viPrintf(ViSession vi, ViString writeFmt, ...) {
    va_list ap;
    va_start(ap, writeFmt);
    const ViStatus status = viVPrintf(vi, writeFmt, ap);
    va_end(ap);
    return status;
}

ViStatus viVSPrintf(ViSession vi, ViPBuf buf, ViString writeFmt, ViVAList params) {
    if (!Registry::instance().find<Session>(vi)) return VI_ERROR_INV_OBJECT;
    ArgsCopy args(params);
    return guarded([&] {
        std::string text;
        const ViStatus status = formatText(writeFmt, args, text);
        if (status != VI_SUCCESS || buf == nullptr) return status;
        std::memcpy(buf, text.c_str(), text.size() + 1);
        return VI_SUCCESS;
    });
}

ViStatus viSPrintf(ViSession vi, ViPBuf buf, ViString writeFmt, ...) {
    va_list ap;
    va_start(ap, writeFmt);
    const ViStatus status = viVSPrintf(vi, buf, writeFmt, ap);
    va_end(ap);
    return status;
}

ViStatus viVScanf(ViSession vi, ViString readFmt, ViVAList params) {
    ViStatus status;
    auto session = usableSession(vi, status);
    if (!session) return status;
    status = checkScanFormat(readFmt);
    if (status != VI_SUCCESS) return status;
    ArgsCopy args(params);
    return guarded([&] { return receiveFormatted(*session, readFmt, args); });
}

ViStatus viScanf(ViSession vi, ViString readFmt, ...) {
    va_list ap;
    va_start(ap, readFmt);
    const ViStatus status = viVScanf(vi, readFmt, ap);
    va_end(ap);
    return status;
}

ViStatus viVQueryf(ViSession vi, ViString writeFmt, ViString readFmt, ViVAList params) {
    ViStatus status;
    auto session = usableSession(vi, status);
    if (!session) return status;
    // Nothing goes out unless the reply can be taken apart.
    status = checkScanFormat(readFmt);
    if (status != VI_SUCCESS) return status;
    ArgsCopy args(params);
    return guarded([&] {
        const ViStatus sent = sendFormatted(*session, writeFmt, args);
        return sent != VI_SUCCESS ? sent : receiveFormatted(*session, readFmt, args);
    });
}

ViStatus viQueryf(ViSession vi, ViString writeFmt, ViString readFmt, ...) {
    va_list ap;
    va_start(ap, readFmt);
    const ViStatus status = viVQueryf(vi, writeFmt, readFmt, ap);
    va_end(ap);
    return status;
}
